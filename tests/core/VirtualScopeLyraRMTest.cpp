#include "VirtualScopeLyraRM.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "NotificationCodes.h"
#include "ports/ValueSink.h"

using namespace rollmode::core;

namespace {

struct Call {
    int id;
    int32_t code;
    int32_t group;
    bool operator==(const Call&) const = default;
};

// A listener that logs what it sees and runs an optional action on each call.
class RecordingListener : public TNotificationHandler {
public:
    RecordingListener(TVirtualScopeLyraRM& scope, int id, std::vector<Call>& log)
        : scope_(scope), id_(id), log_(log) {}

    void Attach(int32_t group) { scope_.RegisterListener(group, this, this); }
    void Detach() { scope_.UnregisterListener(this, this); }

    void HandleNotification(int32_t code, int32_t& group) override {
        log_.push_back({id_, code, group});
        if (code == kNotifyShutdown && leaveOnShutdown) Detach();
        if (onCall) onCall(code, group);
    }

    bool leaveOnShutdown = true;
    std::function<void(int32_t, int32_t&)> onCall;

private:
    TVirtualScopeLyraRM& scope_;
    int id_;
    std::vector<Call>& log_;
};

class FakeLabel : public ValueSink {
public:
    double MainValue() const override { return value; }
    void SetMainValue(double v) override {
        value = v;
        ++writes;
    }
    double value = 0;
    int writes = 0;
};

class ScopeTest : public ::testing::Test {
protected:
    TVirtualScopeLyraRM scope;
    std::vector<Call> log;
};

}  // namespace

// --- Notification delivery -----------------------------------------------------------

TEST_F(ScopeTest, FirstNotificationBeforeStartupIsDroppedAndTheNextDelivered) {
    RecordingListener l(scope, 1, log);
    l.Attach(kGroupTriggerControls);
    scope.NotifyListeners(kNotifySettingsChanged, kGroupTriggerControls);
    EXPECT_TRUE(log.empty());
    scope.NotifyListeners(kNotifyLayoutChanged, kGroupMainWindow);
    EXPECT_EQ(log, (std::vector<Call>{{1, kNotifyLayoutChanged, kGroupMainWindow}}));
}

TEST_F(ScopeTest, InitializeApplicationSendsLoadThenStartupBeforeMarkingInitialized) {
    RecordingListener l(scope, 1, log);
    std::vector<bool> initializedDuring;
    l.onCall = [&](int32_t, int32_t&) { initializedDuring.push_back(scope.ApplicationInitialized()); };
    l.Attach(kGroupSettings);
    scope.InitializeApplication();
    EXPECT_EQ(log, (std::vector<Call>{{1, kNotifyLoadStartupSettings, kGroupScope}, {1, kNotifyStartup, kGroupScope}}));
    EXPECT_EQ(initializedDuring, (std::vector<bool>{false, false}));
    EXPECT_TRUE(scope.ApplicationInitialized());
}

TEST_F(ScopeTest, OneNestedNotificationIsDroppedAndTheSecondDelivered) {
    scope.InitializeApplication();
    RecordingListener sender(scope, 1, log);
    RecordingListener other(scope, 2, log);
    sender.onCall = [&](int32_t code, int32_t&) {
        if (code != kNotifySettingsChanged) return;
        scope.NotifyListeners(kNotifySetBackLevels, 5);  // dropped, re-arms
        scope.NotifyListeners(kNotifyLayoutChanged, 5);  // delivered
    };
    sender.Attach(kGroupFlowManager);
    other.Attach(kGroupVerticalShifts);
    scope.NotifyListeners(kNotifySettingsChanged, kGroupTriggerControls);
    EXPECT_EQ(log, (std::vector<Call>{{1, kNotifySettingsChanged, kGroupTriggerControls},
                                      {1, kNotifyLayoutChanged, 5},
                                      {2, kNotifyLayoutChanged, 5},
                                      {2, kNotifySettingsChanged, kGroupTriggerControls}}));
    // The flag is armed again afterwards.
    log.clear();
    scope.NotifyListeners(kNotifySettingsChanged, 7);
    EXPECT_EQ(log.size(), 4u);
}

TEST_F(ScopeTest, EveryListenerSeesEveryCodeAndTheGroupTravelsByReference) {
    scope.InitializeApplication();
    RecordingListener a(scope, 1, log), b(scope, 2, log);
    a.onCall = [](int32_t, int32_t& group) { group = 99; };
    a.Attach(kGroupDensityControls);
    b.Attach(kGroupSourceControls);
    scope.NotifyListeners(kNotifyGridBrightness, kGroupDensityControls);
    EXPECT_EQ(log, (std::vector<Call>{{1, kNotifyGridBrightness, kGroupDensityControls}, {2, kNotifyGridBrightness, 99}}));
}

TEST_F(ScopeTest, ShutdownTellsListenersLastFirstAndEmptiesTheList) {
    scope.InitializeApplication();
    RecordingListener a(scope, 1, log), b(scope, 2, log), c(scope, 3, log);
    a.Attach(1);
    b.Attach(2);
    c.Attach(3);
    log.clear();
    scope.NotifyListeners(kNotifyShutdown, kGroupScope);
    EXPECT_EQ(log, (std::vector<Call>{{3, 3, kGroupScope}, {2, 3, kGroupScope}, {1, 3, kGroupScope}}));
    EXPECT_EQ(scope.ListenerCount(), 0u);
}

TEST_F(ScopeTest, ShutdownEndsEvenWhenAListenerDoesNotLeave) {
    scope.InitializeApplication();
    RecordingListener a(scope, 1, log), stubborn(scope, 2, log);
    stubborn.leaveOnShutdown = false;
    a.Attach(1);
    stubborn.Attach(2);
    log.clear();
    scope.NotifyListeners(kNotifyShutdown, kGroupScope);
    EXPECT_EQ(log, (std::vector<Call>{{2, 3, kGroupScope}, {1, 3, kGroupScope}}));
    EXPECT_EQ(scope.ListenerCount(), 0u);
}

TEST_F(ScopeTest, UnregisterRemovesTheFirstMatchAndIgnoresUnknownCallbacks) {
    RecordingListener a(scope, 1, log), b(scope, 2, log), c(scope, 3, log), stranger(scope, 4, log);
    a.Attach(10);
    b.Attach(20);
    c.Attach(30);
    stranger.Detach();
    ASSERT_EQ(scope.ListenerCount(), 3u);
    b.Detach();
    ASSERT_EQ(scope.ListenerCount(), 2u);
    EXPECT_EQ(scope.ListenerCallback(0), &a);
    EXPECT_EQ(scope.ListenerGroup(0), 10);
    EXPECT_EQ(scope.ListenerCallback(1), &c);
    EXPECT_EQ(scope.ListenerGroup(1), 30);
}

TEST_F(ScopeTest, ListenersLeavingDuringDeliveryAreNeitherSkippedNorOverrun) {
    scope.InitializeApplication();
    RecordingListener a(scope, 1, log), b(scope, 2, log), c(scope, 3, log), d(scope, 4, log);
    // a leaves itself; b removes the later c and registers a newcomer.
    RecordingListener newcomer(scope, 5, log);
    a.onCall = [&](int32_t, int32_t&) { a.Detach(); };
    b.onCall = [&](int32_t, int32_t&) {
        c.Detach();
        newcomer.Attach(9);
    };
    a.Attach(1);
    b.Attach(2);
    c.Attach(3);
    d.Attach(4);
    scope.NotifyListeners(kNotifySettingsChanged, 8);
    EXPECT_EQ(log, (std::vector<Call>{{1, 2, 8}, {2, 2, 8}, {4, 2, 8}}));
    EXPECT_EQ(scope.ListenerCount(), 3u);  // b, d, newcomer

    // Everybody after the first leaves in the first call: the loop must not index
    // past the shrunken list.
    log.clear();
    b.onCall = [&](int32_t, int32_t&) {
        b.Detach();
        d.Detach();
        newcomer.Detach();
    };
    scope.NotifyListeners(kNotifySettingsChanged, 8);
    EXPECT_EQ(log, (std::vector<Call>{{2, 2, 8}}));
    EXPECT_EQ(scope.ListenerCount(), 0u);
}

// --- Setters: clamps, couplings, side effects --------------------------------------------

TEST_F(ScopeTest, InitialValuesAreTheMainWindowDefaults) {
    EXPECT_EQ(scope.DensityChannelA(), 7);
    EXPECT_EQ(scope.VerticalLevelChannelA(), 1392);
    EXPECT_EQ(scope.VerticalLevelChannelB(), 1474);
    EXPECT_EQ(scope.ColorChannelA(), 0x0040FF00u);
    EXPECT_EQ(scope.RealGridColor(), 0x00B8B8B8u);  // white at 72 %: 183.6 -> 184
    EXPECT_DOUBLE_EQ(scope.TriggerLevelB(), 2000.0);
    EXPECT_EQ(scope.MeasurementLength(), 5000u);
    EXPECT_EQ(scope.SMPSetting(), 10);
    EXPECT_EQ(scope.DSPSetting(), 3);
    EXPECT_EQ(scope.PeriodB(), 2000);
    EXPECT_TRUE(scope.RecordFree());
    EXPECT_TRUE(scope.SettingsToFile());
    EXPECT_FALSE(scope.ApplicationInitialized());
    EXPECT_EQ(scope.VirtualDriver(), nullptr);
}

TEST_F(ScopeTest, DensityIsClampedAndLevelsOutsideTheRangeAreIgnored) {
    scope.SetDensityChannelB(12);
    EXPECT_EQ(scope.DensityChannelB(), 9);
    scope.SetDensityChannelB(0);
    EXPECT_EQ(scope.DensityChannelB(), 1);
    scope.SetDensityChannelA(4);
    EXPECT_EQ(scope.DensityChannelA(), 4);

    scope.SetVerticalLevelChannelA(0);
    EXPECT_EQ(scope.VerticalLevelChannelA(), 1392);
    scope.SetVerticalLevelChannelA(4096);
    EXPECT_EQ(scope.VerticalLevelChannelA(), 1392);
    scope.SetVerticalLevelChannelA(4095);
    EXPECT_EQ(scope.VerticalLevelChannelA(), 4095);
    scope.SetVerticalLevelChannelB(1);
    EXPECT_EQ(scope.VerticalLevelChannelB(), 1);
}

TEST_F(ScopeTest, ScaledLevelReadsBy4096AndWritesBy4095) {
    EXPECT_EQ(scope.ScaledLevelChannelA(), 33);  // 1392 * 100 / 4096
    scope.SetScaledLevelChannelA(33);
    EXPECT_EQ(scope.VerticalLevelChannelA(), 1351);  // 33 * 4095 / 100
    scope.SetScaledLevelChannelA(0);
    EXPECT_EQ(scope.VerticalLevelChannelA(), 0);  // stored without the 1..4095 check
    scope.SetScaledLevelChannelA(101);
    scope.SetScaledLevelChannelA(-1);
    EXPECT_EQ(scope.VerticalLevelChannelA(), 0);

    scope.SetMaxChannelB(0);
    scope.SetScaledLevelChannelB(0);
    EXPECT_EQ(scope.VerticalLevelChannelB(), 1474);
    EXPECT_EQ(scope.ScaledLevelChannelB(), 0);
    scope.SetMaxChannelB(1000000);  // wider than 32 bits allow for level * max
    scope.SetScaledLevelChannelB(1000000);
    EXPECT_EQ(scope.VerticalLevelChannelB(), 4095);
    EXPECT_EQ(scope.ScaledLevelChannelB(), 999755);
}

TEST_F(ScopeTest, DeflectionAndProbeTextFollowTheSelectedChannel) {
    scope.SetSourceProbeB(3);
    scope.SetDensityChannelB(4);
    EXPECT_EQ(scope.DeflectionFactor(TVirtualScopeLyraRM::kChannelB), 10000);
    EXPECT_EQ(scope.DeflectionFactor(TVirtualScopeLyraRM::kChannelA), 1000);  // probe 1, density 7
    EXPECT_EQ(scope.DeflectionFactor(300), 1000);                              // any other selects A
    scope.SetSourceProbeB(5);
    EXPECT_EQ(scope.DeflectionFactor(TVirtualScopeLyraRM::kChannelB), 1);

    const char* texts[] = {"    1:1", "  1:10", "1:100", "1:1000"};
    for (int probe = 1; probe <= 4; ++probe) {
        scope.SetSourceProbeA(probe);
        EXPECT_EQ(scope.ProbeText(TVirtualScopeLyraRM::kChannelA), texts[probe - 1]);
        EXPECT_EQ(scope.ProbeText(0), texts[probe - 1]);
    }
    EXPECT_EQ(scope.ProbeText(TVirtualScopeLyraRM::kChannelB), "");
    scope.SetSourceProbeA(0);
    EXPECT_EQ(scope.ProbeText(TVirtualScopeLyraRM::kChannelA), "");
}

TEST_F(ScopeTest, RateCouplingKeepsTheSlowestCombinationsApart) {
    scope.SetDSPSetting(1);
    scope.SetSMPSetting(0);
    EXPECT_EQ(scope.DSPSetting(), 3);
    scope.SetSMPSetting(5);
    scope.SetDSPSetting(0);
    EXPECT_EQ(scope.SMPSetting(), 5);  // already far enough
    scope.SetSMPSetting(1);
    EXPECT_EQ(scope.DSPSetting(), 2);
    scope.SetSMPSetting(2);
    scope.SetDSPSetting(0);
    EXPECT_EQ(scope.SMPSetting(), 3);
    scope.SetSMPSetting(0);
    EXPECT_EQ(scope.DSPSetting(), 3);
    scope.SetDSPSetting(2);
    EXPECT_EQ(scope.SMPSetting(), 1);
    scope.SetDSPSetting(1);
    EXPECT_EQ(scope.SMPSetting(), 2);
    scope.SetSMPSetting(15);
    scope.SetDSPSetting(16);
    EXPECT_EQ(scope.SMPSetting(), 15);
}

TEST_F(ScopeTest, AcquisitionStatusDrivesIndicatorsOnlyWhileMeasuring) {
    scope.SetDataAcquisitionStatus(0x21);
    EXPECT_EQ(scope.DataAcquisitionStatus(), 0);
    EXPECT_EQ(scope.TriggerLEDStatus(), 0);

    scope.SetMeasurementStarted(true);
    EXPECT_EQ(scope.CachedDataStatus(), 17);
    scope.SetDataAcquisitionStatus(0x21);
    EXPECT_EQ(scope.DataAcquisitionStatus(), 0x21);
    EXPECT_EQ(scope.TriggerLEDStatus(), 1);
    EXPECT_EQ(scope.ARMLEDStatus(), 2);

    scope.SetDataAcquisitionStatus(0);
    EXPECT_FALSE(scope.MeasurementStarted());
    EXPECT_EQ(scope.DataAcquisitionStatus(), 0);
    EXPECT_EQ(scope.TriggerLEDStatus(), 0);
    EXPECT_EQ(scope.ARMLEDStatus(), 0);
    scope.SetDataAcquisitionStatus(0x22);
    EXPECT_EQ(scope.DataAcquisitionStatus(), 0);

    scope.SetMeasurementStarted(true);
    scope.SetDataAcquisitionStatus(0x12);
    scope.SetMeasurementStarted(false);
    EXPECT_EQ(scope.DataAcquisitionStatus(), 0);
    EXPECT_EQ(scope.TriggerLEDStatus(), 0);
    EXPECT_EQ(scope.ARMLEDStatus(), 0);
}

TEST_F(ScopeTest, LiveVoltagesRoundHalfToEvenAndNonSamplesOnlyRepaint) {
    FakeLabel a, b;
    scope.SetActualVoltage(0x0101);  // no labels yet: must not crash
    scope.SetActualVoltageA(&a);
    scope.SetActualVoltageB(&b);
    scope.SetDensityChannelA(2);  // 20 mV per division
    scope.SetDensityChannelB(2);
    scope.SetZeroChannelA(100);
    scope.SetZeroChannelB(100);

    // B: (112 - 100) * 20 / 32 = 7.5 -> 8; A: (104 - 100) * 20 / 32 = 2.5 -> 2.
    scope.SetActualVoltage(static_cast<uint16_t>((112 << 8) | 104));
    EXPECT_EQ(scope.ActualVoltage(), (112 << 8) | 104);
    EXPECT_DOUBLE_EQ(b.value, 8.0);
    EXPECT_DOUBLE_EQ(a.value, 2.0);

    scope.SetActualVoltage(static_cast<uint16_t>((80 << 8) | 1));  // negative: -12.5 -> -12, -61.875 -> -62
    EXPECT_DOUBLE_EQ(b.value, -12.0);
    EXPECT_DOUBLE_EQ(a.value, -62.0);

    const int writesA = a.writes, writesB = b.writes;
    scope.SetActualVoltage(0x00FF);
    EXPECT_EQ(scope.ActualVoltage(), (80 << 8) | 1);
    EXPECT_DOUBLE_EQ(a.value, -62.0);
    EXPECT_DOUBLE_EQ(b.value, -12.0);
    EXPECT_EQ(a.writes, writesA + 1);
    EXPECT_EQ(b.writes, writesB + 1);
}

TEST_F(ScopeTest, GridColourScalesEachByteHalfToEven) {
    scope.SetGridBrightness(50);
    EXPECT_EQ(scope.RealGridColor(), 0x00808080u);  // 127.5 -> 128
    scope.SetColorGrid(0x00030105u);                // B 1.5 -> 2, G 0.5 -> 0, R 2.5 -> 2
    EXPECT_EQ(scope.RealGridColor(), 0x00020002u);
    scope.SetGridBrightness(100);
    EXPECT_EQ(scope.RealGridColor(), 0x00030105u);
    scope.SetGridBrightness(0);
    EXPECT_EQ(scope.RealGridColor(), 0u);
    // Too bright saturates each byte instead of carrying into the next one.
    EXPECT_EQ(TVirtualScopeLyraRM::ScaleColor(0x00FF80FFu, 1.5), 0x00FFC0FFu);
    EXPECT_EQ(TVirtualScopeLyraRM::ScaleColor(0x00FFFFFFu, -1.0), 0u);
}

TEST_F(ScopeTest, SwitchingTheDisplayOffRequestsAClearScreen) {
    scope.SetDisplayActive(true);
    EXPECT_FALSE(scope.ClearScreenRequested());
    scope.SetDisplayActive(false);
    EXPECT_TRUE(scope.ClearScreenRequested());
    scope.SetClearScreenRequested(false);
    scope.SetDisplayActive(true);
    EXPECT_FALSE(scope.ClearScreenRequested());
}

TEST_F(ScopeTest, LinksIgnoreNullDriverAndFileSizeShowsInItsLabel) {
    auto* driver = reinterpret_cast<TVirtualDriverLyraRM*>(&log);  // identity only, never used
    scope.SetVirtualDriver(driver);
    scope.SetVirtualDriver(nullptr);
    EXPECT_EQ(scope.VirtualDriver(), driver);

    FakeLabel size;
    scope.SetFileSizeLabel(&size);
    scope.SetFileSize(1000);
    scope.AddToFileSize(1024);
    EXPECT_DOUBLE_EQ(scope.FileSize(), 2024.0);
    EXPECT_DOUBLE_EQ(size.value, 2024.0);
    EXPECT_EQ(size.writes, 2);
}

TEST_F(ScopeTest, SavingSwitchReopensWithTheCurrentName) {
    struct Spy : TVirtualScopeLyraRM {
        std::vector<std::string> opened;
        void OpenRecordFile(const std::string& name) override {
            opened.push_back(name);
            TVirtualScopeLyraRM::OpenRecordFile(name);
        }
    } spy;
    FakeLabel size;
    spy.SetFileSizeLabel(&size);
    spy.OpenRecordFile("sdata.rmd");
    spy.SetFileSize(10);
    spy.SetSavingActivated(true);
    EXPECT_TRUE(spy.SavingActivated());
    EXPECT_EQ(spy.opened, (std::vector<std::string>{"sdata.rmd", "sdata.rmd"}));
    EXPECT_EQ(spy.RecordFileName(), "sdata.rmd");
    EXPECT_DOUBLE_EQ(spy.FileSize(), 0.0);
    EXPECT_DOUBLE_EQ(size.value, 10.0);  // the value only: the label waits for the next run
}

TEST_F(ScopeTest, ShutdownStopsTheMeasurementNotifiesAndClosesTheStream) {
    scope.InitializeApplication();
    RecordingListener l(scope, 1, log);
    std::vector<bool> startedDuring;
    l.onCall = [&](int32_t, int32_t&) { startedDuring.push_back(scope.MeasurementStarted()); };
    l.Attach(kGroupFlowManager);
    scope.SetMeasurementStarted(true);
    scope.SetDataAcquisitionStatus(0x22);
    const std::string file = ::testing::TempDir() + "scope_shutdown.rmd";
    std::remove(file.c_str());
    scope.OpenRecordFile(file);
    scope.SetSavingActivated(true);
    ASSERT_NE(scope.ActualOutputStream(), nullptr);

    scope.ShutdownApplication();
    EXPECT_EQ(log, (std::vector<Call>{{1, kNotifySettingsChanged, kGroupScope}, {1, kNotifyShutdown, kGroupScope}}));
    EXPECT_EQ(startedDuring, (std::vector<bool>{false, false}));
    EXPECT_EQ(scope.TriggerLEDStatus(), 0);
    EXPECT_EQ(scope.ListenerCount(), 0u);
    EXPECT_EQ(scope.ActualOutputStream(), nullptr);
}

TEST_F(ScopeTest, RangeTableIsA240ByteAreaWithTheModelIndexAtItsEnd) {
    uint8_t* table = scope.RangeTable();
    EXPECT_EQ(reinterpret_cast<uintptr_t>(table) % 4, 0u);
    std::memset(table, 0xAB, TVirtualScopeLyraRM::kRangeTableBytes);  // the whole area is writable
    const int32_t model = 0x01020304;
    std::memcpy(table + 236, &model, sizeof model);
    EXPECT_EQ(scope.DeviceModelIndex(), 0x01020304);
}

// --- Threads -----------------------------------------------------------------------

// The acquisition thread holds the settings lock for a whole transfer: no locked
// setter may change a value in between. Status values from the workers go on
// meanwhile without the lock (run under the thread sanitizer).
TEST(ScopeThreads, LockedSettersWaitWhileATransferHoldsTheLock) {
    TVirtualScopeLyraRM scope;
    scope.SetMeasurementStarted(true);
    std::atomic<bool> stop{false};
    std::atomic<int> writes{0};

    // One thread per setter, so each is always about to write its own value.
    std::vector<std::function<void(int)>> setters = {
        [&](int i) { scope.SetTriggerLevelA(i); },
        [&](int i) { scope.SetDensityChannelA(static_cast<uint16_t>(1 + i % 9)); },
        [&](int i) { scope.SetSMPSetting(i % 3); },
        [&](int i) { scope.SetDSPSetting(i % 17); },  // couples into SMP when 0..2
        [&](int i) { scope.SetPeriodA(i); },
    };
    std::vector<std::thread> threads;
    for (auto& set : setters)
        threads.emplace_back([&] {
            for (int i = 0; !stop.load(); ++i) {
                set(i);
                writes.fetch_add(1);
            }
        });
    threads.emplace_back([&] {  // the processing thread
        for (int i = 0; !stop.load(); ++i) {
            scope.SetActualVoltage(static_cast<uint16_t>(0x0101 + (i & 0x7F7F)));
            scope.AddToFileSize(2);
            scope.SetGridBrightness(i % 101);
        }
    });

    int torn = 0;
    for (int pass = 0; pass < 200; ++pass) {
        while (writes.load() < pass * 5) std::this_thread::yield();
        std::lock_guard<std::mutex> transfer(scope.SettingsLock());
        const double levelA = scope.TriggerLevelA();
        const int32_t smp = scope.SMPSetting();
        const uint16_t density = scope.DensityChannelA();
        const int32_t period = scope.PeriodA();
        scope.SetDataAcquisitionStatus(static_cast<uint8_t>(0x11 + (pass & 1)));
        std::this_thread::sleep_for(std::chrono::microseconds(50));
        if (scope.TriggerLevelA() != levelA || scope.SMPSetting() != smp || scope.DensityChannelA() != density ||
            scope.PeriodA() != period)
            ++torn;
    }
    stop.store(true);
    for (auto& t : threads) t.join();
    EXPECT_EQ(torn, 0);
}
