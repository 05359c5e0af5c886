// The virtual driver against a fake driver library loaded by name from the program folder.
#include "VirtualDriverLyraRM.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>
#include <vector>

#include "../support/fakedriver/FakeDriverControl.h"
#include "../support/fakedriver/ScriptedPorts.h"
#include "ResourceStringsLyraRM.h"
#include "platform/DynamicLibrary.h"

using rollmode::core::MsgButtons;
using rollmode::core::MsgIcon;
using rollmode::core::MsgResult;
using rollmode::core::TVirtualDriverLyraRM;
using Words = std::vector<uint16_t>;
using VD = TVirtualDriverLyraRM;

namespace {

// The test's own handle on a fake keeps its recorded state alive across the
// driver's loads and unloads, and reaches its control functions.
struct FakeLibrary {
    rollmode::platform::DynamicLibrary lib;
    explicit FakeLibrary(const char* name) : lib(rollmode::platform::DynamicLibrary::Load(name)) {
        if (lib.IsLoaded()) Fn<fakedriver::ResetFn>("FakeDriver_Reset")();
    }
    template <class F>
    F Fn(const char* name) const {
        auto f = lib.Bind<F>(name);
        if (!f) ADD_FAILURE() << "fake lacks " << name;
        return f;
    }
    void InitResults(std::vector<int32_t> r) const {
        Fn<fakedriver::SetInitResultsFn>("FakeDriver_SetInitResults")(r.data(), static_cast<uint32_t>(r.size()));
    }
    void Result(uint32_t code, uint32_t v) const { Fn<fakedriver::SetResultFn>("FakeDriver_SetResult")(code, v); }
    uint32_t InitCalls() const { return Fn<fakedriver::InitCallCountFn>("FakeDriver_InitCallCount")(); }
    std::vector<fakedriver::Call> Calls() const {
        std::vector<fakedriver::Call> out(Fn<fakedriver::CallCountFn>("FakeDriver_CallCount")());
        for (uint32_t i = 0; i < out.size(); ++i) Fn<fakedriver::GetCallFn>("FakeDriver_Call")(i, &out[i]);
        return out;
    }
    std::vector<fakedriver::Call> Calls(uint32_t code) const {
        std::vector<fakedriver::Call> out;
        for (const auto& c : Calls())
            if (c.code == code) out.push_back(c);
        return out;
    }
};

Words Batch(VD& d) {
    Words w(VD::kCommandBatchWords);
    uint32_t n = 0;
    d.TakeCommandBatch(w.data(), n);
    w.resize(n);
    return w;
}

class VirtualDriverDevice : public ::testing::Test {
protected:
    FakeLibrary fake{"FakePeltaRMDrv.dll"};
    fakedriver::ScriptedMessages messages;
    fakedriver::CountingApplication app;
    std::array<uint8_t, 240> rangeTable{};
    VD driver{&messages, &app};

    void SetUp() override {
        ASSERT_TRUE(fake.lib.IsLoaded()) << fake.lib.Error();
        driver.SetLibraryName("FakePeltaRMDrv.dll");
        driver.SetRangeTablePointer(rangeTable.data());
    }
    void OpenInitialised() {
        fake.InitResults({0});
        driver.OpenDevice();
        ASSERT_TRUE(driver.DeviceInitialized());
        Fn<fakedriver::ResetFn>("FakeDriver_Reset")();  // forget the opening calls
        Batch(driver);
    }
    void OpenInitialisedKeepingFlag() {
        fake.InitResults({0});
        driver.OpenDevice();
        ASSERT_TRUE(driver.DeviceInitialized());
    }
    template <class F>
    F Fn(const char* name) const { return fake.Fn<F>(name); }
};

TEST_F(VirtualDriverDevice, OpenSuccessBindsFlagReadsVersionsAndSerial) {
    fake.InitResults({0});
    Fn<fakedriver::SetVersionFn>("FakeDriver_SetVersion")(2, 1, 1);
    Fn<fakedriver::SetVersionFn>("FakeDriver_SetVersion")(3, 1, 0);
    fake.Result(35, 12345);
    driver.OpenDevice();

    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(driver.DeviceInitialized());
    EXPECT_FALSE(driver.DemoMode());
    EXPECT_TRUE(driver.DeviceCalibrationOK());
    EXPECT_EQ(driver.DeviceDriverVersion(), "1.1");
    EXPECT_EQ(driver.USBDriverVersion(), "1.00");
    EXPECT_EQ(driver.DeviceSerialNumber(), "00012345");
    EXPECT_EQ(Fn<fakedriver::LastRangeTableFn>("FakeDriver_LastRangeTable")(), rangeTable.data());
    EXPECT_EQ(rangeTable[0], 1);
    EXPECT_EQ(rangeTable[239], 240);

    const auto calls = fake.Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].code, 1u);
    EXPECT_TRUE(calls[0].hadResult);
    EXPECT_EQ(calls[1].code, 2u);
    EXPECT_TRUE(calls[1].hadVersion);
    EXPECT_EQ(calls[2].code, 3u);
    EXPECT_EQ(calls[3].code, 35u);

    // The library sets the flag from a thread of its own; a reopen clears it.
    EXPECT_NE(Fn<fakedriver::FailureFlagFn>("FakeDriver_FailureFlag")(), 0u);
    EXPECT_FALSE(driver.USBFailed());
    Fn<fakedriver::FailUsbFn>("FakeDriver_FailUsb")();
    EXPECT_TRUE(driver.USBFailed());
    driver.ReleaseDriverLibrary();
    driver.OpenDevice();
    EXPECT_FALSE(driver.USBFailed());
}

TEST_F(VirtualDriverDevice, FailureFlagSeenByPollingThread) {
    OpenInitialisedKeepingFlag();
    std::atomic<bool> seen{false};
    std::thread poller([&] {
        while (!driver.USBFailed()) std::this_thread::yield();
        seen = true;
    });
    Fn<fakedriver::FailUsbFn>("FakeDriver_FailUsb")();
    poller.join();
    EXPECT_TRUE(seen);
}

TEST_F(VirtualDriverDevice, TransportFailuresShowOkBoxAndFallBackToDemo) {
    for (int32_t result : {1, 7}) {
        messages.shown.clear();
        fake.InitResults({result});
        driver.OpenDevice();
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, result == 1 ? rollmode::strings::kBraskNotInstalled
                                                      : rollmode::strings::kUsbDriverMissingFunction);
        EXPECT_EQ(messages.shown[0].buttons, MsgButtons::Ok);
        EXPECT_EQ(messages.shown[0].icon, MsgIcon::Error);
        EXPECT_FALSE(driver.DeviceInitialized());
        EXPECT_TRUE(driver.DemoMode());
        EXPECT_FALSE(driver.DeviceCalibrationOK());
        EXPECT_EQ(driver.DeviceSerialNumber(), "N/A");
        EXPECT_EQ(fake.InitCalls(), 1u);
    }
}

TEST_F(VirtualDriverDevice, RetryDialogsFollowTheAnswer) {
    struct Case {
        int32_t result;
        const char* text;
    };
    for (const Case c : {Case{3, rollmode::strings::kDeviceNotPresentRetry},
                         Case{4, rollmode::strings::kDeviceInitFailedRetry}}) {
        // Yes, then an unexpected answer (Ok): both retry; the third attempt succeeds.
        messages.shown.clear();
        messages.answers = {MsgResult::Yes, MsgResult::Ok};
        fake.InitResults({c.result, c.result, 0});
        driver.OpenDevice();
        EXPECT_EQ(fake.InitCalls(), 3u);
        ASSERT_EQ(messages.shown.size(), 2u);
        EXPECT_EQ(messages.shown[0].text, c.text);
        EXPECT_EQ(messages.shown[0].buttons, MsgButtons::YesNoCancel);
        EXPECT_TRUE(driver.DeviceInitialized());

        // No: demo mode, no termination.
        messages.answers = {MsgResult::No};
        fake.InitResults({c.result});
        driver.OpenDevice();
        EXPECT_TRUE(driver.DemoMode());
        EXPECT_FALSE(driver.DeviceInitialized());
        EXPECT_FALSE(driver.TerminateApplication());
        EXPECT_EQ(app.terminateRequests, 0);

        // Cancel: the application is asked to end.
        messages.answers = {MsgResult::Cancel};
        fake.InitResults({c.result});
        driver.OpenDevice();
        EXPECT_TRUE(driver.TerminateApplication());
        EXPECT_EQ(app.terminateRequests, 1);
        app.terminateRequests = 0;
    }
}

TEST_F(VirtualDriverDevice, BrokenCalibrationKeepsDeviceAndReadsSerial) {
    fake.InitResults({5});
    fake.Result(35, 0);
    driver.OpenDevice();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, rollmode::strings::kBrokenCalibration);
    EXPECT_TRUE(driver.DeviceInitialized());
    EXPECT_FALSE(driver.DemoMode());
    EXPECT_FALSE(driver.DeviceCalibrationOK());
    EXPECT_EQ(fake.Calls(35).size(), 1u);
    EXPECT_TRUE(fake.Calls(2).empty());  // versions only after a clean start
    EXPECT_EQ(driver.DeviceSerialNumber(), "N/A");
}

TEST_F(VirtualDriverDevice, UnknownResultRetriesSilently) {
    fake.InitResults({2, 9, 0});
    driver.OpenDevice();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(fake.InitCalls(), 3u);
    EXPECT_TRUE(driver.DeviceInitialized());
}

TEST_F(VirtualDriverDevice, EndlessUnknownResultsAskTheUserInsteadOfHanging) {
    fake.InitResults({2});  // the fake repeats its last scripted result
    messages.answers = {MsgResult::No};
    driver.OpenDevice();
    EXPECT_EQ(fake.InitCalls(), static_cast<uint32_t>(VD::kMaxSilentInitRetries));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, rollmode::strings::kDeviceInitFailedRetry);
    EXPECT_TRUE(driver.DemoMode());
}

TEST(VirtualDriverOpen, MissingLibraryAsksWhetherToContinue) {
    fakedriver::ScriptedMessages messages;
    fakedriver::CountingApplication app;
    VD driver(&messages, &app);
    driver.SetLibraryName("NoSuchDriverLibrary.dll");
    messages.answers = {MsgResult::Yes};
    driver.OpenDevice();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Driver PeltaRMDrv.Dll not present. Continue?");
    EXPECT_EQ(messages.shown[0].buttons, MsgButtons::YesNo);
    EXPECT_TRUE(driver.DemoMode());
    EXPECT_EQ(driver.DeviceSerialNumber(), "N/A");
    EXPECT_EQ(app.terminateRequests, 0);

    messages.answers = {MsgResult::No};
    driver.OpenDevice();
    EXPECT_FALSE(driver.DemoMode());
    EXPECT_EQ(app.terminateRequests, 1);

    VD silent;  // no message service: continue in demo mode
    silent.SetLibraryName("NoSuchDriverLibrary.dll");
    silent.OpenDevice();
    EXPECT_TRUE(silent.DemoMode());
    EXPECT_EQ(TVirtualDriverLyraRM().LibraryName(), "PeltaRMDrv.dll");
}

TEST(VirtualDriverOpen, LibraryWithoutInitializeDeviceRunsOnDemoData) {
    FakeLibrary fake("FakePeltaRMDrvNoInit.dll");
    ASSERT_TRUE(fake.lib.IsLoaded()) << fake.lib.Error();
    fakedriver::ScriptedMessages messages;
    VD driver(&messages);
    driver.SetLibraryName("FakePeltaRMDrvNoInit.dll");
    driver.OpenDevice();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_FALSE(driver.DeviceInitialized());
    ASSERT_FALSE(fake.Calls().empty());
    EXPECT_EQ(fake.Calls()[0].code, 1u);

    uint32_t tick = 500;
    driver.SetTickSource([&tick] { return tick; });
    std::vector<uint16_t> buffer(VD::kReadBufferWords);
    uint32_t n = 0;
    driver.ReadData(buffer.data(), n);
    tick += 100;
    EXPECT_EQ(driver.ReadData(buffer.data(), n), VD::kDemoStatus);
    EXPECT_EQ(n, 5u);  // 100 ms at 50 samples/s
    EXPECT_TRUE(fake.Calls(14).empty());
}

TEST_F(VirtualDriverDevice, ReadDataPassesBufferAndReturnsStatus) {
    OpenInitialised();
    const uint16_t words[3] = {0x1234, 2, 0x8080};
    Fn<fakedriver::SetReadDataFn>("FakeDriver_SetReadData")(words, 3);
    Fn<fakedriver::SetReturnFn>("FakeDriver_SetReturn")(14, 0x121);
    std::vector<uint16_t> buffer(VD::kReadBufferWords);
    uint32_t n = 99;
    EXPECT_EQ(driver.ReadData(buffer.data(), n), 0x21);
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(buffer[0], 0x1234);
    EXPECT_EQ(buffer[2], 0x8080);
    const auto call = fake.Calls(14).at(0);
    EXPECT_TRUE(call.hadData && call.hadResult);
    EXPECT_EQ(call.value, 0u);

    // A library that leaves the count alone delivered nothing.
    Fn<fakedriver::SetReadDataFn>("FakeDriver_SetReadData")(words, 0);
    n = 99;
    driver.ReadData(buffer.data(), n);
    EXPECT_EQ(n, 0u);
}

TEST_F(VirtualDriverDevice, FlagAndLevelSettersSendOnChangeOrWhenForced) {
    OpenInitialised();
    using BoolSetter = void (VD::*)(bool);
    const std::vector<std::pair<BoolSetter, uint32_t>> flags = {
        {&VD::SetARMSourceA, 24},    {&VD::SetARMSourceB, 25},    {&VD::SetARMSourceExternal, 26},
        {&VD::SetARMUnderA, 29},     {&VD::SetARMUnderB, 30},     {&VD::SetARMUnderExternal, 31},
        {&VD::SetTriggerSourceA, 16}, {&VD::SetTriggerSourceB, 17}, {&VD::SetTriggerUnderA, 21},
        {&VD::SetTriggerUnderB, 22}, {&VD::SetTriggerRelation, 34}, {&VD::SetRecordFree, 33}};
    for (const auto& [setter, code] : flags) {
        (driver.*setter)(true);
        (driver.*setter)(true);
        auto calls = fake.Calls(code);
        ASSERT_EQ(calls.size(), 1u) << code;
        EXPECT_EQ(calls[0].value, 1u);
        driver.SetForceSettings(true);
        (driver.*setter)(true);
        driver.SetForceSettings(false);
        EXPECT_EQ(fake.Calls(code).size(), 2u) << code;
    }
    EXPECT_FALSE(driver.RecordTriggered());
    driver.SetRecordFree(false);
    EXPECT_TRUE(driver.RecordTriggered());
    EXPECT_EQ(fake.Calls(33).back().value, 0u);

    // Levels: nearest integer with ties to even, stored back, negative values as 32 bits.
    driver.SetTriggerLevelA(2.5);
    EXPECT_EQ(driver.TriggerLevelA(), 2.0);
    driver.SetTriggerLevelB(3.5);
    driver.SetARMLevelA(-2.5);
    driver.SetARMLevelB(7.49);
    EXPECT_EQ(fake.Calls(19).at(0).value, 2u);
    EXPECT_EQ(fake.Calls(20).at(0).value, 4u);
    EXPECT_EQ(fake.Calls(27).at(0).value, 0xFFFFFFFEu);
    EXPECT_EQ(fake.Calls(28).at(0).value, 7u);
    EXPECT_EQ(driver.ARMLevelA(), -2.0);
    EXPECT_TRUE(Batch(driver).empty());
}

TEST_F(VirtualDriverDevice, VerticalLevelStoredInvertedWithZeroAndRecord) {
    OpenInitialised();
    fake.Result(12, 130);
    driver.SetVerticalLevelChannelA(0);
    EXPECT_EQ(driver.VerticalLevelChannelA(), 4095);
    EXPECT_EQ(driver.ZeroChannelA(), 130);
    EXPECT_EQ(fake.Calls(12).at(0).value, 4095u);
    driver.SetVerticalLevelChannelA(0);
    EXPECT_EQ(fake.Calls(12).size(), 1u);
    EXPECT_TRUE(Batch(driver).empty());

    // While settings go to the file the setter acts even unchanged and logs the level.
    driver.SetSettingsToFile(true);
    driver.SetVerticalLevelChannelA(0);
    EXPECT_EQ(fake.Calls(12).size(), 2u);
    EXPECT_EQ(Batch(driver), (Words{0, 6, 2, 4095, 130, 0}));

    fake.Result(13, 0x12345);
    driver.SetVerticalLevelChannelB(5000);  // beyond the range: device level 0, not a wrapped value
    EXPECT_EQ(driver.VerticalLevelChannelB(), 0);
    EXPECT_EQ(Batch(driver), (Words{0, 6, 3, 0, 0x2345, 0}));
}

TEST_F(VirtualDriverDevice, DensityRecentresThroughLevelWhenCalibrated) {
    OpenInitialised();
    driver.SetSourceProbeA(2);
    Batch(driver);
    fake.Result(10, 1000);
    fake.Result(12, 77);
    driver.SetDensityChannelA(5);  // 2000 mV at 1:10, the library gets the 1:1 step 200
    EXPECT_EQ(fake.Calls(10).at(0).value, 200u);
    EXPECT_EQ(fake.Calls(12).at(0).value, 1000u);
    EXPECT_EQ(driver.VerticalLevelChannelA(), 1000);
    EXPECT_TRUE(driver.SetBackRequested());
    EXPECT_FALSE(driver.SettingsToFile());
    EXPECT_EQ(Batch(driver), (Words{0, 6, 2, 1000, 77, 0, 0, 5, 11, 2000, 0}));

    // Without valid calibration the level stays; B uses its own codes and records.
    driver.SetDeviceCalibrationOK(false);
    driver.SetSetBackRequested(false);
    driver.SetSourceProbeB(4);
    Batch(driver);
    driver.SetDensityChannelB(9);  // 5,000,000 mV at 1:1000
    EXPECT_EQ(fake.Calls(11).at(0).value, 5000u);
    EXPECT_TRUE(fake.Calls(13).empty());
    EXPECT_FALSE(driver.SetBackRequested());
    EXPECT_EQ(Batch(driver), (Words{0, 5, 12, 0x4B40, 0x004C}));
}

TEST_F(VirtualDriverDevice, SamplingRateRescalesCounterAndLength) {
    OpenInitialised();
    driver.SetMeasurementLength(1999);
    EXPECT_EQ(driver.MeasurementLengthInSamples(), 50);  // whole seconds at 50/s
    driver.SetSampleCounter(100);
    driver.SetSMPSetting(4);
    EXPECT_EQ(driver.SampleCounter(), 2000);
    EXPECT_EQ(driver.MeasurementLengthInSamples(), 1000);
    EXPECT_EQ(fake.Calls(15).at(0).value, 11u);
    EXPECT_EQ(Batch(driver), (Words{0, 5, 10, 1000, 0}));

    // The product would overflow 64 bits; the rescaled count does not.
    driver.SetSMPSetting(0);
    driver.SetSampleCounter(90'000'000'000'001);
    driver.SetSMPSetting(15);
    EXPECT_EQ(driver.SampleCounter(), 9'000'000'000'000'100'000);
    EXPECT_EQ(Batch(driver), (Words{0, 5, 10, 50, 0, 0, 5, 10, 0x4B40, 0x004C}));
}

TEST_F(VirtualDriverDevice, MeasurementStartLogsSnapshotAndCallsDevice) {
    OpenInitialised();
    fake.Result(12, 120);
    fake.Result(13, 0xABCD);
    driver.SetVerticalLevelChannelA(1000);
    driver.SetVerticalLevelChannelB(4000);
    driver.SetSourceProbeA(1);
    driver.SetSourceProbeB(3);
    driver.SetSourceACDC_B(true);
    driver.SetGroundA(true);
    driver.SetDensityChannelA(2);  // no level answer from the library: the level stays
    driver.SetSMPSetting(13);
    Batch(driver);

    uint32_t tick = 777;
    driver.SetTickSource([&tick] { return tick; });
    driver.SetMeasurementStarted(true);
    const Words expected = {0, 4, 1, 1,                    // started
                            0, 6, 2, 3095, 120, 0,         // level A
                            0, 6, 3, 95, 0xABCD, 0,        // level B
                            0, 4, 4, 1, 0, 4, 5, 3,        // probes
                            0, 4, 6, 0, 0, 4, 7, 1,        // coupling
                            0, 4, 8, 1, 0, 4, 9, 0,        // ground
                            0, 5, 10, 0x4240, 0x000F,      // 1,000,000 samples/s
                            0, 5, 11, 20, 0, 0, 5, 12, 1, 0};
    EXPECT_EQ(Batch(driver), expected);
    EXPECT_EQ(expected.size(), 4 + VD::kSnapshotWords);
    EXPECT_EQ(fake.Calls(32).at(0).value, 1u);

    // Forcing does not repeat a start; stopping logs record 1 alone.
    driver.SetForceSettings(true);
    driver.SetMeasurementStarted(true);
    EXPECT_TRUE(Batch(driver).empty());
    driver.SetMeasurementStarted(false);
    EXPECT_EQ(Batch(driver), (Words{0, 4, 1, 0}));
    EXPECT_EQ(fake.Calls(32).size(), 2u);
}

TEST_F(VirtualDriverDevice, ReleasedLibraryGetsNoCalls) {
    OpenInitialised();
    driver.ReleaseDriverLibrary();
    EXPECT_FALSE(driver.LibraryLoaded());
    driver.SetGroundA(true);
    driver.SetTriggerSourceA(true);
    EXPECT_TRUE(fake.Calls().empty());
    EXPECT_EQ(Batch(driver), (Words{0, 4, 8, 1}));
}

TEST(VirtualDriverBatch, RecordsLoggedWithoutDeviceAndNeverPastTheEnd) {
    VD driver;
    driver.SetSourceProbeA(3);
    driver.SetSourceACDC_A(true);
    driver.SetGroundB(true);
    driver.SetDensityChannelA(4);  // not initialised: stored, no record
    EXPECT_EQ(driver.DensityChannelA(), 4);
    EXPECT_EQ(Batch(driver), (Words{0, 4, 4, 3, 0, 4, 6, 1, 0, 4, 9, 1}));

    // 255 four-word records and one five-word record fill all 1025 words.
    for (int i = 0; i < 255; ++i) driver.SetGroundA(i % 2 == 0);
    driver.SetSMPSetting(15);
    EXPECT_EQ(driver.CommandBatchSize(), VD::kCommandBatchWords);
    driver.SetGroundA(false);  // does not fit: dropped whole
    EXPECT_EQ(driver.CommandBatchSize(), VD::kCommandBatchWords);

    // The five-word record would straddle the end after 256 four-word records.
    driver.ClearCommandBatch();
    for (int i = 0; i < 256; ++i) driver.SetGroundB(i % 2 != 0);
    driver.SetSMPSetting(0);
    const Words w = Batch(driver);
    ASSERT_EQ(w.size(), 1024u);
    EXPECT_EQ((Words{w.end() - 4, w.end()}), (Words{0, 4, 9, 1}));
    EXPECT_EQ(driver.CommandBatchSize(), 0u);
}

// The demo and measurement settings concern only this side: with a device open, even a
// forced pass sends none of them and records none; the display rate is not taken at all.
TEST_F(VirtualDriverDevice, DemoAndLengthSettingsNeverReachTheDeviceOrTheStream) {
    OpenInitialised();
    driver.SetForceSettings(true);
    driver.SetDSPSetting(7);
    EXPECT_EQ(driver.DSPSetting(), 0);
    driver.SetPeriodA(1000);
    driver.SetPeriodB(20);
    driver.SetAmplitudeA(5);
    driver.SetAmplitudeB(-3);
    driver.SetNoiseA(4);
    driver.SetNoiseB(9);
    driver.SetMeasurementDefined(true);
    driver.SetMeasurementLength(3000);
    driver.SetForceSettings(false);
    EXPECT_TRUE(fake.Calls().empty());
    EXPECT_TRUE(Batch(driver).empty());
}

TEST(VirtualDriverBatch, DeflectionOutsideTheTablesIsOne) {
    VD driver;
    EXPECT_EQ(driver.GetDeflection(VD::kChannelB), 1);  // probe 0, step 0: outside the table
    EXPECT_EQ(driver.GetDeflection(300), 1);
}

}  // namespace
