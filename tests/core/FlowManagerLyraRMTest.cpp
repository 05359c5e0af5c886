#include "FlowManagerLyraRM.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <ctime>
#include <vector>

#include "AcquisitionThreadRM.h"
#include "DataSourceModuleLyraRM.h"
#include "NotificationCodes.h"
#include "ProcessingThreadRM.h"
#include "UiCallQueue.h"
#include "VirtualDriverLyraRM.h"
#include "VirtualScopeLyraRM.h"
#include "platform/DynamicLibrary.h"
#include "ports/MessageBoxService.h"
#include "ports/RollScreenView.h"
#include "ports/ValueSink.h"
#include "../support/fakedriver/FakeDriverControl.h"

using namespace rollmode::core;

namespace {

class RecordingScreen final : public RollScreenView {
public:
    void ProcessBlock(const uint16_t* words, uint32_t count) override {
        std::lock_guard g(mutex);
        for (uint32_t i = 0; i < count; ++i) received.push_back(words[i]);
        lastWords.push_back(words[count - 1]);
        blocks.fetch_add(1);
    }
    void PrepareDisplay() override { prepared.fetch_add(1); }
    void ClearDisplay() override { cleared.fetch_add(1); }
    void SetShown(bool s) override { shown = s; }

    size_t WordCount() {
        std::lock_guard g(mutex);
        return received.size();
    }
    std::vector<uint16_t> Words() {
        std::lock_guard g(mutex);
        return received;
    }

    std::vector<uint16_t> LastWords() {
        std::lock_guard g(mutex);
        return lastWords;
    }

    std::mutex mutex;
    std::vector<uint16_t> received;
    std::vector<uint16_t> lastWords;  // of each block
    std::atomic<int> blocks{0}, prepared{0}, cleared{0};
    std::atomic<bool> shown{false};
};

class AnswerYes final : public MessageBoxService {
public:
    MsgResult Show(const std::string& text, MsgButtons, MsgIcon) override {
        shown.push_back(text);
        return MsgResult::Yes;
    }
    std::vector<std::string> shown;
};

class Listener final : public TNotificationHandler {
public:
    void HandleNotification(int32_t code, int32_t& group) override {
        codes.push_back(code);
        groups.push_back(group);
        if (code == kNotifyShutdown && scope) scope->UnregisterListener(this, this);
    }
    TVirtualScopeLyraRM* scope = nullptr;
    std::vector<int32_t> codes, groups;
};

// Splits a stream into settings-record codes and sample words.
struct Stream {
    std::vector<uint16_t> recordCodes;
    std::vector<size_t> recordAtSample;  // samples seen before each record
    std::vector<uint16_t> samples;
};
Stream Split(const std::vector<uint16_t>& words) {
    Stream s;
    for (size_t i = 0; i < words.size();) {
        if (words[i] == 0) {
            const uint16_t length = i + 1 < words.size() ? words[i + 1] : 0;
            EXPECT_TRUE(length >= 4 && length <= 6) << "record length " << length << " at word " << i;
            if (length < 4 || length > 6 || i + length > words.size()) break;
            s.recordCodes.push_back(words[i + 2]);
            s.recordAtSample.push_back(s.samples.size());
            i += length;
        } else {
            if (words[i] > 2) s.samples.push_back(words[i]);
            ++i;
        }
    }
    return s;
}

// The core as the main window wires it, in demo mode (no driver library).
struct Rig {
    Rig() {
        driver.SetMessageBoxService(&messages);
        driver.SetLibraryName("NoSuchDriverLibrary.dll");
        scope.SetVirtualDriver(&driver);
        flow.SetDataSourceInstance(ring.get());
        flow.SetRollScreen(&roll);
        flow.SetEKGScreen(&ekg);
        flow.SetUiThread(&ui);
        flow.SetVirtualScope(&scope);
        listener.scope = &scope;
        scope.RegisterListener(13, &listener, &listener);
    }
    ~Rig() {
        if (flow.VirtualScope()) {
            int32_t g = kGroupScope;
            flow.HandleNotification(kNotifyShutdown, g);
        }
    }

    // Serves the workers' calls while waiting for cond.
    bool WaitFor(const std::function<bool()>& cond, int ms = 5000) { return ui.ServeUntil(cond, ms); }

    AnswerYes messages;
    TVirtualDriverLyraRM driver;
    TVirtualScopeLyraRM scope;
    std::unique_ptr<TDataSourceModuleLyraRM> ring = std::make_unique<TDataSourceModuleLyraRM>();
    RecordingScreen roll, ekg;
    TUiCallQueue ui;
    TFlowManagerLyraRM flow;
    Listener listener;
};

}  // namespace

TEST(FlowManager, StartupRunsDemoDataOntoTheCardiogramScreenAndShutdownEndsBothThreads) {
    Rig rig;
    rig.scope.SetSMPSetting(4);  // 1000 samples/s
    rig.scope.InitializeApplication();
    ASSERT_TRUE(rig.flow.ThreadsRunning());
    EXPECT_TRUE(rig.driver.DemoMode()) << "the missing library leads into demo mode after Yes";
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0], "Driver PeltaRMDrv.Dll not present. Continue?");
    EXPECT_TRUE(rig.ekg.shown);
    EXPECT_FALSE(rig.roll.shown);
    EXPECT_EQ(rig.roll.prepared.load(), 1);
    EXPECT_EQ(rig.ekg.prepared.load(), 1);

    rig.scope.SetMeasurementStarted(true);
    rig.scope.NotifyListeners(kNotifySettingsChanged, kGroupMeasurementRecordControls);
    ASSERT_TRUE(rig.WaitFor([&] { return rig.ekg.WordCount() > 200; }));
    EXPECT_EQ(rig.roll.WordCount(), 0u) << "only the shown screen is fed";

    // Before the first sample: the records of the forced transfers, then record 1
    // and the snapshot of codes 2..12 in order.
    const Stream stream = Split(rig.ekg.Words());
    const auto start = std::find(stream.recordCodes.begin(), stream.recordCodes.end(), 1);
    ASSERT_NE(start, stream.recordCodes.end());
    const size_t at = static_cast<size_t>(start - stream.recordCodes.begin());
    ASSERT_GE(stream.recordCodes.size(), at + 12);
    for (uint16_t code = 2; code <= 12; ++code) EXPECT_EQ(stream.recordCodes[at + code - 1], code);
    EXPECT_EQ(stream.recordAtSample[at + 11], 0u) << "no sample before the snapshot";
    EXPECT_GT(stream.samples.size(), 100u);

    rig.scope.ShutdownApplication();
    EXPECT_FALSE(rig.flow.ThreadsRunning());
    EXPECT_EQ(rig.scope.ListenerCount(), 0u);
}

// A measurement the threads find running (a restart of the threads, or the program's
// --measure meeting the acquisition thread's first transfer) reaches the driver without a
// settings pass: its start record must still come before its first sample, and once.
TEST(FlowManager, AMeasurementRunningWhenTheThreadsStartHasItsStartRecordBeforeItsFirstSample) {
    const auto fake = rollmode::platform::DynamicLibrary::Load("FakePeltaRMDrv.dll");
    ASSERT_TRUE(fake.IsLoaded());
    fake.Bind<fakedriver::ResetFn>("FakeDriver_Reset")();
    fake.Bind<fakedriver::SetReturnFn>("FakeDriver_SetReturn")(14, 0x22);  // acquiring
    const uint16_t block[4] = {0x1234, 0x2345, 0x3456, 0x4567};
    fake.Bind<fakedriver::SetReadDataFn>("FakeDriver_SetReadData")(block, 4);  // from the first read
    Rig rig;
    rig.driver.SetLibraryName("FakePeltaRMDrv.dll");
    rig.scope.SetMeasurementStarted(true);
    rig.scope.InitializeApplication();
    ASSERT_TRUE(rig.driver.DeviceInitialized());
    ASSERT_TRUE(rig.WaitFor([&] { return Split(rig.ekg.Words()).samples.size() > 10; }));
    const Stream stream = Split(rig.ekg.Words());
    ASSERT_EQ(std::count(stream.recordCodes.begin(), stream.recordCodes.end(), 1), 1);
    const auto start = std::find(stream.recordCodes.begin(), stream.recordCodes.end(), 1);
    const size_t at = static_cast<size_t>(start - stream.recordCodes.begin());
    ASSERT_GE(stream.recordCodes.size(), at + 12);
    EXPECT_EQ(stream.recordAtSample[at + 11], 0u) << "no sample before the snapshot";
    rig.scope.ShutdownApplication();
}

TEST(FlowManager, ScreenSwitchFeedsTheOtherScreen) {
    Rig rig;
    rig.scope.SetSMPSetting(4);
    rig.scope.SetModeEKG(false);
    rig.scope.InitializeApplication();
    EXPECT_TRUE(rig.roll.shown);
    rig.scope.SetMeasurementStarted(true);
    rig.scope.NotifyListeners(kNotifySettingsChanged, 9);
    ASSERT_TRUE(rig.WaitFor([&] { return rig.roll.WordCount() > 0; }));

    rig.scope.NotifyListeners(kNotifyCardiogramDisplay, 11);
    EXPECT_FALSE(rig.roll.shown);
    EXPECT_TRUE(rig.ekg.shown);
    ASSERT_TRUE(rig.WaitFor([&] { return rig.ekg.WordCount() > 0; }));
    const size_t rollWords = rig.roll.WordCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(rig.roll.WordCount(), rollWords) << "the hidden screen receives nothing";
    rig.scope.ShutdownApplication();
}

TEST(FlowManager, DefinedLengthMeasurementEndsAndNotifies) {
    Rig rig;
    rig.scope.SetSMPSetting(4);  // 1000/s
    rig.scope.SetMeasurementDefined(true);
    rig.scope.SetMeasurementLength(1000);  // one second: 1000 samples
    rig.scope.InitializeApplication();
    rig.listener.codes.clear();
    rig.scope.SetMeasurementStarted(true);
    rig.scope.NotifyListeners(kNotifySettingsChanged, 9);
    ASSERT_TRUE(rig.WaitFor([&] { return !rig.scope.MeasurementStarted(); }, 4000));
    ASSERT_TRUE(rig.WaitFor([&] {
        return std::count(rig.listener.codes.begin(), rig.listener.codes.end(), kNotifySettingsChanged) >= 2;
    }));
    // Nothing is read after the end: the last read is the block that reached 1000 samples.
    const int32_t lastBlock = rig.flow.AcquisitionThread()->LastBlockCount();
    rig.scope.ShutdownApplication();
    // That block ends the measurement, however long a busy machine made it: without it the
    // count was still short of the second.
    const size_t samples = Split(rig.ekg.Words()).samples.size();
    EXPECT_GE(samples, 1000u);
    ASSERT_GT(lastBlock, 0);
    EXPECT_LT(samples - static_cast<size_t>(lastBlock), 1000u);
}

// A range change during a measurement re-centres the trace: the library answers the device
// level that keeps the zero code in place, and the acquisition thread sets the model's level
// to 4095 minus it and tells the listeners (code 4 from group 5), so the vertical shifts follow.
TEST(FlowManager, RangeChangeDuringAMeasurementSetsTheModelsLevelBack) {
    const auto fake = rollmode::platform::DynamicLibrary::Load("FakePeltaRMDrv.dll");
    ASSERT_TRUE(fake.IsLoaded());
    fake.Bind<fakedriver::ResetFn>("FakeDriver_Reset")();
    fake.Bind<fakedriver::SetReturnFn>("FakeDriver_SetReturn")(14, 0x22);  // acquiring
    Rig rig;
    rig.driver.SetLibraryName("FakePeltaRMDrv.dll");
    rig.scope.SetDensityChannelA(4);
    rig.scope.InitializeApplication();
    ASSERT_TRUE(rig.driver.DeviceInitialized());
    rig.scope.SetMeasurementStarted(true);
    rig.scope.NotifyListeners(kNotifySettingsChanged, kGroupMeasurementRecordControls);
    ASSERT_TRUE(rig.WaitFor([&] { return rig.driver.MeasurementStarted(); }));

    fake.Bind<fakedriver::SetResultFn>("FakeDriver_SetResult")(10, 1500);
    rig.listener.codes.clear();
    rig.listener.groups.clear();
    rig.scope.SetDensityChannelA(6);
    rig.scope.NotifyListeners(kNotifySettingsChanged, kGroupChannelControls);
    const auto setBack = [&] {
        return std::find(rig.listener.codes.begin(), rig.listener.codes.end(), kNotifySetBackLevels) !=
               rig.listener.codes.end();
    };
    ASSERT_TRUE(rig.WaitFor(setBack));
    const auto at = std::find(rig.listener.codes.begin(), rig.listener.codes.end(), kNotifySetBackLevels);
    EXPECT_EQ(rig.listener.groups[static_cast<size_t>(at - rig.listener.codes.begin())], kGroupAcquisitionThread);
    EXPECT_EQ(rig.scope.VerticalLevelChannelA(), 4095 - 1500);
    EXPECT_TRUE(rig.scope.MeasurementStarted());
    EXPECT_FALSE(rig.driver.SetBackRequested());
    rig.scope.ShutdownApplication();
}

TEST(FlowManager, TriggeredRecordingWithoutATriggerSourceReadsNothing) {
    Rig rig;
    rig.scope.SetRecordFree(false);
    rig.scope.SetRecordTriggered(true);
    rig.scope.InitializeApplication();
    rig.scope.SetMeasurementStarted(true);
    rig.scope.NotifyListeners(kNotifySettingsChanged, 9);
    // Wait until the settings records of the start have reached the screen, then a
    // little longer for any sample that would wrongly follow.
    ASSERT_TRUE(rig.WaitFor([&] { return !Split(rig.ekg.Words()).recordCodes.empty(); }));
    rig.WaitFor([] { return false; }, 100);
    EXPECT_EQ(rig.driver.SampleCounter(), 0);
    const Stream stream = Split(rig.ekg.Words());
    EXPECT_FALSE(stream.recordCodes.empty()) << "the start still reaches the stream";
    EXPECT_TRUE(stream.samples.empty());
    rig.scope.ShutdownApplication();
}

TEST(FlowManager, BoostFollowsTheOptionAtTheNextSettingsNotification) {
    Rig rig;
    rig.scope.SetBoostThread(true);
    rig.scope.InitializeApplication();
    EXPECT_EQ(rig.flow.AcquisitionThread()->Priority(), rollmode::platform::ThreadPriority::TimeCritical);
    rig.scope.SetBoostThread(false);
    rig.scope.NotifyListeners(kNotifySettingsChanged, 13);
    EXPECT_EQ(rig.flow.AcquisitionThread()->Priority(), rollmode::platform::ThreadPriority::Normal);
    EXPECT_EQ(rig.flow.ProcessingThread()->Priority(), rollmode::platform::ThreadPriority::Normal);
    rig.scope.ShutdownApplication();
}

TEST(FlowManager, ClosingWhileTheWriterIsBlockedStillEndsBothThreads) {
    // A screen that never returns quickly keeps the reader from draining, so the
    // writer fills the ring and blocks; shutdown must still end both threads.
    struct SlowScreen final : RollScreenView {
        void ProcessBlock(const uint16_t*, uint32_t) override {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
        }
        void PrepareDisplay() override {}
        void ClearDisplay() override {}
        void SetShown(bool) override {}
    } slow;
    Rig rig;
    rig.flow.SetEKGScreen(&slow);
    rig.scope.SetSMPSetting(15);  // 5 MS/s fills the ring within a second
    rig.scope.InitializeApplication();
    rig.scope.SetMeasurementStarted(true);
    rig.scope.NotifyListeners(kNotifySettingsChanged, 9);
    rig.WaitFor([] { return false; }, 600);
    const auto t0 = std::chrono::steady_clock::now();
    rig.scope.ShutdownApplication();
    EXPECT_FALSE(rig.flow.ThreadsRunning());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
}

TEST(FlowManager, DemoAcquisitionAtTheSlowestRateDoesNotSpinACore) {
    Rig rig;
    rig.scope.SetSMPSetting(0);  // 50 samples/s: the generator mostly has nothing to give
    rig.scope.SetDSPSetting(3);
    rig.scope.InitializeApplication();
    rig.scope.SetMeasurementStarted(true);
    rig.scope.NotifyListeners(kNotifySettingsChanged, 9);
    rig.WaitFor([] { return false; }, 100);
    timespec cpu0{}, cpu1{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0);
    const auto t0 = std::chrono::steady_clock::now();
    rig.WaitFor([] { return false; }, 600);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu1);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = (cpu1.tv_sec - cpu0.tv_sec) + (cpu1.tv_nsec - cpu0.tv_nsec) * 1e-9;
    EXPECT_LT(cpu / wall, 0.25) << "the whole process used " << cpu << " s of CPU in " << wall << " s";
    EXPECT_GT(Split(rig.ekg.Words()).samples.size(), 10u);
    rig.scope.ShutdownApplication();
}

namespace {
class CountingSink final : public ValueSink {
public:
    double MainValue() const override { return value.load(); }
    void SetMainValue(double v) override {
        value.store(v);
        sets.fetch_add(1);
    }
    std::atomic<double> value{0};
    std::atomic<int> sets{0};
};
}  // namespace

// Demo data at 5 MS/s comes in a block about every millisecond and is taken in a run every
// turn: the live voltages follow at most every 50 ms.
TEST(FlowManager, LiveVoltagesFollowTheStreamAtMostEveryInterval) {
    Rig rig;
    CountingSink a, b;
    rig.scope.SetActualVoltageA(&a);
    rig.scope.SetActualVoltageB(&b);
    rig.scope.SetSMPSetting(15);
    rig.scope.InitializeApplication();
    rig.scope.SetMeasurementStarted(true);
    rig.scope.NotifyListeners(kNotifySettingsChanged, kGroupMeasurementRecordControls);
    ASSERT_TRUE(rig.WaitFor([&] { return rig.ekg.blocks.load() > 0; }));
    const auto started = std::chrono::steady_clock::now();
    const int setsBefore = a.sets.load(), blocksBefore = rig.ekg.blocks.load();
    rig.WaitFor([] { return false; }, 400);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    const int sets = a.sets.load() - setsBefore, blocks = rig.ekg.blocks.load() - blocksBefore;
    // The processing thread's turns (every kMinTurnMs) come more often than the voltages may.
    ASSERT_GT(blocks, static_cast<int>(ms / TProcessingThreadRM::kVoltageIntervalMs) + 2)
        << "the demo stream should deliver many runs";
    EXPECT_LE(sets, static_cast<int>(ms / TProcessingThreadRM::kVoltageIntervalMs) + 2);
    EXPECT_GE(sets, 1);
    rig.scope.ShutdownApplication();
}

// A burst, then the stream pauses while the measurement runs on (a trigger waits, say): the
// burst's last word is shown once its interval is out, not when the ring's read wait of a
// second ends.
TEST(FlowManager, TheLastWordOfABurstIsShownWithinAnInterval) {
    TVirtualScopeLyraRM scope;
    CountingSink a, b;
    scope.SetActualVoltageA(&a);
    scope.SetActualVoltageB(&b);
    auto ring = std::make_unique<TDataSourceModuleLyraRM>();
    TFlowManagerLyraRM flow;
    flow.SetDataSourceInstance(ring.get());
    flow.SetVirtualScope(&scope);
    ring->ResetBuffer();
    TProcessingThreadRM processing(flow, nullptr);
    processing.Start();
    uint16_t last = 0;
    for (uint16_t i = 1; i <= 6; ++i) {
        uint16_t* p = ring->GetWriteBuffer();
        ASSERT_NE(p, nullptr);
        last = p[0] = static_cast<uint16_t>(i << 8 | (100 + i));
        ring->CommitWrite(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const auto paused = std::chrono::steady_clock::now();
    while (scope.ActualVoltage() != last && std::chrono::steady_clock::now() - paused < std::chrono::seconds(3))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto shownAfter = std::chrono::steady_clock::now() - paused;
    EXPECT_EQ(scope.ActualVoltage(), last);
    // Due 50 ms after the burst's first word at the latest; the bound leaves a busy machine room.
    EXPECT_LT(shownAfter, std::chrono::milliseconds(400));
    processing.Terminate();
    ring->WakeReader();
    processing.Join(nullptr);
    int32_t group = kGroupScope;
    flow.HandleNotification(kNotifyShutdown, group);
}

namespace {
// The processing thread alone on a ring, drawing onto a recording screen.
struct ProcessingRig {
    ProcessingRig() {
        flow.SetDataSourceInstance(ring.get());
        flow.SetVirtualScope(&scope);
        ring->ResetBuffer();
    }
    ~ProcessingRig() {
        int32_t group = kGroupScope;
        flow.HandleNotification(kNotifyShutdown, group);
    }
    // Commits `n` words counting on from `next`.
    void Write(int32_t n) {
        uint16_t* p = ring->GetWriteBuffer();
        ASSERT_NE(p, nullptr);
        for (int32_t i = 0; i < n; ++i) p[i] = next++;
        ring->CommitWrite(n);
    }
    void Stop(TProcessingThreadRM& processing) {
        processing.Terminate();
        ring->WakeReader();
        processing.Join(nullptr);
    }
    TVirtualScopeLyraRM scope;
    std::unique_ptr<TDataSourceModuleLyraRM> ring = std::make_unique<TDataSourceModuleLyraRM>();
    TFlowManagerLyraRM flow;
    RecordingScreen screen;
    uint16_t next = 0x0202;
};

std::vector<uint16_t> Counting(uint16_t first, size_t n) {
    std::vector<uint16_t> words(n);
    for (size_t i = 0; i < n; ++i) words[i] = static_cast<uint16_t>(first + i);
    return words;
}
}  // namespace

// Blocks that come every millisecond are taken a turn's worth at a time, not one wake each.
TEST(ProcessingThread, BlocksComingFasterThanATurnAreTakenTogether) {
    ProcessingRig rig;
    TProcessingThreadRM processing(rig.flow, &rig.screen);
    processing.Start();
    rig.Write(10);
    const auto t0 = std::chrono::steady_clock::now();
    while (rig.screen.blocks.load() == 0 && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(3))
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    ASSERT_EQ(rig.screen.blocks.load(), 1);
    constexpr int kBlocks = 100;
    const auto burst = std::chrono::steady_clock::now();
    for (int i = 0; i < kBlocks; ++i) {
        rig.Write(10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - burst).count();
    rig.Stop(processing);
    const int turns = rig.screen.blocks.load() - 1;
    EXPECT_LE(turns, static_cast<int>(ms / TProcessingThreadRM::kMinTurnMs) + 2) << "in " << ms << " ms";
    EXPECT_EQ(rig.screen.Words(), Counting(0x0202, 10 * (kBlocks + 1)));
}

// Termination may come while the thread sleeps out a turn or draws: every word the writer
// committed before still reaches the screen, also a run that wrapped around the ring's end.
TEST(ProcessingThread, EndingTakesEveryWordCommittedBeforeIncludingAWrappedRun) {
    ProcessingRig rig;
    // Read and write indices just short of the wrap point, then a run across it.
    constexpr int32_t kLead = TDataSourceModuleLyraRM::kWrapPoint - 1000;
    for (int32_t done = 0; done < kLead;) {
        const int32_t n = std::min(kLead - done, TDataSourceModuleLyraRM::kMaxBlockWords);
        ASSERT_NE(rig.ring->GetWriteBuffer(), nullptr);
        rig.ring->CommitWrite(n);
        int32_t pending = 0;
        ASSERT_NE(rig.ring->GetReadBuffer(pending, 0), nullptr);
        rig.ring->CommitRead(pending);
        done += n;
    }
    rig.Write(1500);  // ends 500 words past the wrap point
    rig.Write(700);   // lands at the ring's start, behind the wrap
    ASSERT_TRUE(rig.ring->WriterWrapped());
    TProcessingThreadRM processing(rig.flow, &rig.screen);
    processing.Terminate();
    processing.Start();
    processing.Join(nullptr);
    EXPECT_EQ(rig.screen.Words(), Counting(0x0202, 2200));
    EXPECT_EQ(rig.ring->PendingCount() + rig.ring->WrappedCount(), 0);
}
