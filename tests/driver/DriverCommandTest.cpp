#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstring>

#include "DriverTestSupport.h"
#include "FpgaImage.h"
#include "platform/ProgramPath.h"

namespace rollmode::driver::test {
namespace {

using Calls = std::vector<TransportCall>;

TEST(BringUp, OpensConfiguresReadsCalibrationAndCopiesTheRangeTable) {
    FakeBraskControl fake;
    PeltaDriver driver("FakeBrask.dll");
    std::array<uint8_t, 240> table{};
    ASSERT_EQ(driver.InitializeDevice(table.data()), kInitOk);

    const Calls calls = fake.Calls();
    ASSERT_EQ(calls.size(), 3u + 256u);
    EXPECT_EQ(calls[0].name, "USBSetCallBackFunction");
    EXPECT_EQ(calls[1].name, "USBInitDevice");
    EXPECT_EQ(calls[2], (TransportCall{"USBConfigureFPGA", 54979, 0}));
    for (uint32_t i = 0; i < 256; ++i) EXPECT_EQ(calls[3 + i], (TransportCall{"USBReadFromEEPROM", 256 + i, 0}));

    // The image goes out plain, and is stored only scrambled.
    const auto sent = fake.Fpga();
    ASSERT_EQ(sent.size(), kFpgaImageBytes);
    EXPECT_EQ(std::string(sent.begin(), sent.begin() + 8), "RMFPGA01");
    EXPECT_EQ((sent[8] << 24) | (sent[9] << 16) | (sent[10] << 8) | sent[11], 54963);
    uint32_t sum = 0;
    for (size_t i = 16; i < sent.size(); ++i) sum += sent[i];
    EXPECT_EQ((uint32_t{sent[12]} << 24) | (sent[13] << 16) | (sent[14] << 8) | sent[15], sum);
    const auto stored = ScrambledFpgaImage();
    for (size_t i = 0; i < kFpgaImageBytes; ++i) ASSERT_EQ(stored[i] ^ kFpgaScrambleMask, sent[i]) << i;
    EXPECT_GT(std::count(sent.begin(), sent.end(), uint8_t{0}), 100);  // payload, not a constant fill

    // An all-zero EEPROM fails the checksum: defaults, uncalibrated gains, serial 0.
    EXPECT_FALSE(driver.Model().CalibrationValid());
    EXPECT_EQ(table, driver.Model().SerializeRangeTable());
    EXPECT_EQ(table[0], 9);
    EXPECT_EQ(table[236], 3);
    uint32_t serial = kUntouched;
    driver.DeviceFunction(kCodeSerialNumber, nullptr, nullptr, 0, &serial);
    EXPECT_EQ(serial, 0u);
}

TEST(BringUp, ResultsForMissingTransportDeviceAndEntryPoints) {
    std::array<uint8_t, 240> table{};
    {
        PeltaDriver driver("NoSuchTransport.dll");
        EXPECT_EQ(driver.InitializeDevice(table.data()), kInitTransportMissing);
        EXPECT_FALSE(driver.DeInitializeDevice());
    }
    {
        FakeBraskControl fake;
        fake.setInitResult(256);
        PeltaDriver driver("FakeBrask.dll");
        EXPECT_EQ(driver.InitializeDevice(table.data()), kInitNoDevice);
        EXPECT_EQ(fake.Calls().size(), 2u);  // callback, init: nothing configured or read
        EXPECT_TRUE(driver.DeInitializeDevice());
        EXPECT_FALSE(driver.DeInitializeDevice());
    }
    {
        FakeBraskControl fake("FakeBraskIncomplete.dll");
        PeltaDriver driver("FakeBraskIncomplete.dll");
        EXPECT_EQ(driver.InitializeDevice(table.data()), kInitTransportIncomplete);
        EXPECT_TRUE(fake.Calls().empty());
        // Nothing of the half-bound library is called afterwards.
        driver.DeviceFunction(kCodeSampling, nullptr, nullptr, 3, nullptr);
        EXPECT_TRUE(fake.Calls().empty());
    }
    {
        // Without USBInitDevice the library reports success without opening anything.
        FakeBraskControl fake("FakeBraskNoInit.dll");
        PeltaDriver driver("FakeBraskNoInit.dll");
        EXPECT_EQ(driver.InitializeDevice(table.data()), kInitOk);
        EXPECT_TRUE(fake.Calls().empty());
        EXPECT_EQ(table, (std::array<uint8_t, 240>{}));
    }
}

TEST(BringUp, DestroyingTheDriverReleasesTheTransport) {
    const auto path = platform::ProgramDirectory() / "FakeBraskNoInit.so";
    auto loaded = [&] {
        void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (h != nullptr) dlclose(h);
        return h != nullptr;
    };
    ASSERT_FALSE(loaded());
    {
        PeltaDriver driver("FakeBraskNoInit.dll");
        ASSERT_EQ(driver.InitializeDevice(nullptr), kInitOk);
        EXPECT_TRUE(loaded());
    }
    EXPECT_FALSE(loaded());
}

TEST(BringUp, EepromFailureStopsTheReadsAndLeavesCalibrationUnset) {
    FakeBraskControl fake;
    CalibrationBlockBuilder b;
    b.SetSerial(4711);
    fake.SetEeprom(256, b.Finish());
    fake.failEepromAt(256 + 10);
    uint8_t failed = 0;
    PeltaDriver driver("FakeBrask.dll");
    driver.DeviceFunction(kCodeFailureFlag, nullptr, nullptr, reinterpret_cast<uintptr_t>(&failed), nullptr);
    ASSERT_EQ(driver.InitializeDevice(nullptr), kInitOk);
    EXPECT_EQ(failed, 1);
    const auto reads = fake.CallsNamed("USBReadFromEEPROM");
    ASSERT_EQ(reads.size(), 11u);
    EXPECT_EQ(reads.back().a, 266u);
    EXPECT_FALSE(driver.Model().CalibrationValid());
    EXPECT_EQ(driver.Model().Breakpoint(kChannelA, 0, 0), 0);  // no defaults loaded
    EXPECT_EQ(driver.Model().Table().count, 9u);               // table still built, uncalibrated
}

TEST_F(DriverTest, TransportCallbackStoresTheNegatedStatus) {
    fake.invokeCallback(0);
    EXPECT_EQ(failed, 1);
    fake.invokeCallback(1);
    EXPECT_EQ(failed, 0);
}

TEST_F(DriverTest, VersionsAndSerialNumber) {
    uint8_t version[2] = {9, 9};
    Call(kCodeDriverVersion, 0, nullptr, nullptr, version);
    EXPECT_EQ(version[0], 1);
    EXPECT_EQ(version[1], 1);
    Call(kCodeUsbDriverVersion, 0, nullptr, nullptr, version);
    EXPECT_EQ(version[0], 1);
    EXPECT_EQ(version[1], 0);
    EXPECT_EQ(fake.Calls(), (Calls{{"GetDriverVersion", 0, 0}}));

    CalibrationBlockBuilder b;
    b.SetSerial(20260117);
    ReopenWithBlock(b.Finish());
    EXPECT_EQ(Out(kCodeSerialNumber, 0), 20260117u);
    ReopenWithBlock(b.Finish(1));
    EXPECT_EQ(Out(kCodeSerialNumber, 0), 0u);
}

TEST_F(DriverTest, UnlistedCodesDoNothing) {
    for (uint32_t code : {0u, 18u, 23u, 36u, 200u}) {
        uint32_t out = kUntouched;
        EXPECT_EQ(Call(code, 1, &out), 0u);
        EXPECT_EQ(out, kUntouched);
    }
    EXPECT_TRUE(fake.Calls().empty());

    // Only the low byte is the command: 0x104 is channel A's probe, register 8 its gain.
    Out(kCodeDensityA, 100);
    fake.ClearLog();
    Call(0x104, 1);
    ASSERT_EQ(fake.Calls().size(), 2u);
    EXPECT_EQ(fake.Calls()[1].name, "USBSingleWrite");
    EXPECT_EQ(fake.Calls()[1].a, 8u);
}

TEST_F(DriverTest, DensityWritesControlThenGainAndReturnsLevelForZero) {
    // Zero code 0 at the start; LevelForZero(0) at 100 mV = 1147 - 268.
    EXPECT_EQ(Out(kCodeDensityA, 100), 879u);
    EXPECT_EQ(fake.Calls(), (Calls{WriteNoFlush(15, 0x0014), Write(8, 1818)}));
    fake.ClearLog();

    // Level 1976 puts 0 V at code 127; switching to 20 mV keeps it there with level 2115.
    EXPECT_EQ(Out(kCodeLevelA, 1976), 127u);
    EXPECT_EQ(Out(kCodeDensityA, 20), 2115u);
    EXPECT_EQ(Out(kCodeDensityB, 5000), 969u);  // B's zero code is still 0
    EXPECT_EQ(fake.Calls(), (Calls{Write(9, 1976), WriteNoFlush(15, 0x0012), Write(8, 3636),
                                   WriteNoFlush(15, 0x0C12), Write(11, 3636)}));
    fake.ClearLog();

    // Levels beyond the register's range are clamped: -154 and 4203 before clamping.
    EXPECT_EQ(Out(kCodeLevelA, 0), static_cast<uint32_t>(-119));  // at 20 mV
    EXPECT_EQ(Out(kCodeDensityA, 1000), 0u);
    EXPECT_EQ(Out(kCodeLevelA, 4095), 385u);
    EXPECT_EQ(Out(kCodeDensityA, 10), 4095u);
    fake.ClearLog();

    // An unknown deflection takes the last entry in use (5000).
    Out(kCodeDensityA, 300);
    EXPECT_EQ(fake.Calls(), (Calls{WriteNoFlush(15, 0x0C0C), Write(8, 3636)}));
    EXPECT_EQ(driver.Settings(kChannelA).deflection, 300u);
}

TEST_F(DriverTest, CalibratedGainsFollowTheProbe) {
    CalibrationBlockBuilder b;
    b.SetW(0, 1000);
    b.SetR(6, 65535);  // G6 = 1.2 for other probes in the decade of 100
    ReopenWithBlock(b.Finish());
    ASSERT_TRUE(driver.Model().CalibrationValid());

    Call(kCodeProbeA, 1);
    Out(kCodeDensityA, 100);
    EXPECT_EQ(fake.Calls().back(), Write(8, 1000));
    fake.ClearLog();
    Call(kCodeProbeA, 2);  // same deflection, other probe
    EXPECT_EQ(fake.Calls(), (Calls{WriteNoFlush(15, 0x0014), Write(8, 1200)}));
    fake.ClearLog();
    Call(kCodeProbeB, 3);  // B has no deflection yet: the last entry, calibrated B gain of 5000 is 0
    EXPECT_EQ(fake.Calls(), (Calls{WriteNoFlush(15, 0x0C14), Write(11, 0)}));
}

TEST_F(DriverTest, FailedControlWriteSkipsTheGainWrite) {
    fake.failRegisterWrite(15);
    EXPECT_EQ(Out(kCodeDensityA, 100), 879u);  // the out-value still comes
    EXPECT_EQ(failed, 1);
    EXPECT_EQ(fake.Calls(), (Calls{WriteNoFlush(15, 0x0014)}));
}

TEST_F(DriverTest, CouplingSetsBitZeroAndWritesBothControlBytesWithoutFlush) {
    Out(kCodeDensityA, 100);
    Out(kCodeDensityB, 5000);
    fake.ClearLog();
    Call(kCodeCouplingA, 0);
    Call(kCodeCouplingB, 0);
    Call(kCodeCouplingA, 1);
    Call(kCodeCouplingB, 0x100);  // only the low byte counts: 0 means AC
    EXPECT_EQ(fake.Calls(), (Calls{WriteNoFlush(15, 0x0C15), WriteNoFlush(15, 0x0D15), WriteNoFlush(15, 0x0D14),
                                   WriteNoFlush(15, 0x0D14)}));
    // A range change keeps the coupling bit.
    fake.ClearLog();
    Out(kCodeDensityB, 10);
    EXPECT_EQ(fake.Calls().front(), WriteNoFlush(15, 0x1314));
}

TEST_F(DriverTest, LevelWritesRegisterAndReportsZeroCode) {
    Out(kCodeDensityA, 100);
    Out(kCodeDensityB, 100);
    fake.ClearLog();
    EXPECT_EQ(Out(kCodeLevelA, 1976), 127u);
    EXPECT_EQ(Out(kCodeLevelB, 1040), 31u);
    EXPECT_EQ(Out(kCodeLevelA, 0), static_cast<uint32_t>(-102));
    EXPECT_EQ(fake.Calls(), (Calls{Write(9, 1976), Write(12, 1040), Write(9, 0)}));
    EXPECT_EQ(driver.DataPath().groundZeroCode[1], 31);

    // With the failure flag set the register is still written but nothing is reported.
    failed = 1;
    EXPECT_EQ(Out(kCodeLevelA, 2767), kUntouched);
    EXPECT_EQ(fake.Calls().back(), Write(9, 2767));
}

TEST_F(DriverTest, SamplingRateAndRunBit) {
    Call(kCodeSampling, 11);
    Call(kCodeMeasurementStarted, 1);
    Call(kCodeSampling, 11);
    Call(kCodeSampling, 0);
    Call(kCodeMeasurementStarted, 0);
    EXPECT_EQ(fake.Calls(), (Calls{Write(1, 0x000B), Write(1, 0x800B), Write(1, 0x800B), Write(1, 0x8000),
                                   Write(1, 0x0000)}));
    EXPECT_FALSE(driver.Running());
}

TEST_F(DriverTest, ExternalArmRegister) {
    Call(kCodeArmSourceExternal, 1);
    Call(kCodeArmUnderExternal, 0);
    Call(kCodeArmUnderExternal, 1);
    Call(kCodeArmSourceExternal, 0);
    EXPECT_EQ(fake.Calls(), (Calls{Write(2, 0x24), Write(2, 0x04), Write(2, 0x24), Write(2, 0x20)}));
    EXPECT_EQ(driver.DataPath().armFlags, kArmUnderExternal);
}

TEST_F(DriverTest, FlagCommandsTouchNoRegister) {
    Call(kCodeTriggerSourceA, 1);
    Call(kCodeTriggerSourceB, 1);
    Call(kCodeTriggerUnderB, 1);
    Call(kCodeTriggerSourceA, 0);
    EXPECT_EQ(driver.DataPath().triggerFlags, kTrigSourceB | kTrigUnderB);
    Call(kCodeArmUnderA, 1);
    Call(kCodeArmUnderB, 1);
    Call(kCodeArmUnderB, 0);
    EXPECT_EQ(driver.DataPath().armFlags, kArmUnderA);
    Call(kCodeTriggerRelation, 1);
    EXPECT_TRUE(driver.DataPath().triggerRelationAnd);
    Call(kCodeGroundB, 1);
    EXPECT_EQ(driver.DataPath().entry, EntryStage::GroundSubstitution);
    Call(kCodeGroundB, 0);
    EXPECT_EQ(driver.DataPath().entry, EntryStage::Plain);
    EXPECT_TRUE(fake.Calls().empty());
}

TEST_F(DriverTest, ThresholdsFollowLevelsProbeAndZeroCode) {
    Out(kCodeDensityA, 100);
    Out(kCodeLevelA, 1976);  // zero code 127
    Call(kCodeProbeA, 1);
    Call(kCodeTriggerLevelA, 1000);  // 1000 mV at 800/255 mV per code = 318.75 codes
    EXPECT_EQ(driver.DataPath().triggerThreshold[0], 446);
    Call(kCodeArmLevelA, static_cast<uint32_t>(-500));
    EXPECT_EQ(driver.DataPath().armThreshold[0], -32);
    Call(kCodeProbeA, 2);  // ten times the voltage per code
    EXPECT_EQ(driver.DataPath().triggerThreshold[0], 159);
    Out(kCodeLevelA, 2244);  // zero code 159
    EXPECT_EQ(driver.DataPath().triggerThreshold[0], 191);
    // Channel B has no deflection: no voltage per code, thresholds 0.
    Call(kCodeTriggerLevelB, 700);
    EXPECT_EQ(driver.DataPath().triggerThreshold[1], 0);
    // Levels far beyond any voltage keep their side of every sample code (at 10 mV per division
    // and 1:1 a code is 0.31 mV: the thresholds lie beyond the 32-bit range).
    Call(kCodeProbeA, 1);
    Out(kCodeDensityA, 10);
    Call(kCodeTriggerLevelA, static_cast<uint32_t>(INT32_MAX));
    EXPECT_EQ(driver.DataPath().triggerThreshold[0], INT32_MAX);
    Call(kCodeArmLevelA, static_cast<uint32_t>(INT32_MIN));
    EXPECT_EQ(driver.DataPath().armThreshold[0], INT32_MIN);
    Out(kCodeDensityA, 100);
    Call(kCodeArmLevelA, static_cast<uint32_t>(-500));
    // Re-opening resets trigger levels and thresholds but keeps the ARM levels.
    ASSERT_EQ(driver.InitializeDevice(table.data()), kInitOk);
    EXPECT_EQ(driver.TriggerLevel(0), 0);
    EXPECT_EQ(driver.ArmLevel(0), -500);
    EXPECT_EQ(driver.DataPath().triggerThreshold[0], 0);
    EXPECT_EQ(driver.ExternalArmShadow(), 0x24u);
}

TEST_F(DriverTest, ProcessorSelection) {
    Call(kCodeRecordFree, 0);
    EXPECT_EQ(driver.DataPath().processor, Processor::PlainCompaction);  // takes effect at the start
    Call(kCodeMeasurementStarted, 1);
    EXPECT_EQ(driver.DataPath().processor, Processor::TriggerSearch);
    Call(kCodeArmSourceB, 1);
    EXPECT_EQ(driver.DataPath().processor, Processor::ArmProcessing);
    Call(kCodeArmSourceB, 0);
    EXPECT_EQ(driver.DataPath().processor, Processor::TriggerSearch);
    Call(kCodeRecordFree, 1);
    Call(kCodeArmSourceA, 0);
    EXPECT_EQ(driver.DataPath().processor, Processor::PlainCompaction);
}

TEST_F(DriverTest, DeinitialisedDriverCallsNothing) {
    Call(kCodeMeasurementStarted, 1);
    EXPECT_TRUE(driver.DeInitializeDevice());
    fake.ClearLog();
    std::vector<uint16_t> buffer(kRollBlockWords, 7);
    uint32_t count = kUntouched;
    Call(kCodeReadData, 0, &count, buffer.data());
    EXPECT_EQ(count, 0u);
    Call(kCodeSampling, 3);
    Out(kCodeDensityA, 100);
    EXPECT_TRUE(fake.Calls().empty());
}

}  // namespace
}  // namespace rollmode::driver::test
