// The real stack: the virtual driver loads PeltaRMDrv.so by name, which loads brask.so by name,
// which talks to the simulated instrument over its socket in a private device folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

#include "E2eSupport.h"

using namespace rollmode;
using namespace rollmode::e2e;
using core::MsgResult;
using core::TVirtualDriverLyraRM;
using namespace std::chrono_literals;

namespace {

constexpr const char* kNotPresent = "Device not present. Retry?";

int32_t Le32(const uint8_t* p) {
    int32_t v = 0;
    std::memcpy(&v, p, 4);
    return v;
}
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// Sample codes per millivolt at a 1:1 deflection: eight divisions over 255 codes.
double CodesPerMv(int32_t deflection) { return 255.0 / (8.0 * deflection); }

class InstrumentStack : public ::testing::Test {
protected:
    void Bring(sim::InstrumentConfig config) {
        unit_ = std::make_unique<SimulatedUnit>(folder_.Path(), config);
        ASSERT_TRUE(unit_->Plug());
        driver_.SetMessageBoxService(&messages_);
        driver_.SetRangeTablePointer(rangeTable_);
        driver_.OpenDevice();
        ASSERT_TRUE(driver_.DeviceInitialized()) << "boxes shown: " << messages_.shown.size();
    }
    void Start() { driver_.SetMeasurementStarted(true); }
    void Stop() { driver_.SetMeasurementStarted(false); }
    ReadResult ReadSamples(size_t count, std::chrono::milliseconds limit = 3000ms) {
        return ReadUntil(driver_, [count](const ReadResult& r) { return r.words.size() >= count; }, limit);
    }

    TempDeviceFolder folder_;
    std::unique_ptr<SimulatedUnit> unit_;
    ScriptedMessages messages_;
    TVirtualDriverLyraRM driver_;
    alignas(4) uint8_t rangeTable_[240] = {};
};

sim::InstrumentConfig Dc(double voltsA, double voltsB) {
    sim::InstrumentConfig c;
    c.channels[0] = {sim::SignalShape::Dc, 0, voltsA, 0, 0};
    c.channels[1] = {sim::SignalShape::Dc, 0, voltsB, 0, 0};
    return c;
}

TEST_F(InstrumentStack, OpenDeviceBringsTheSimulatedUnitUpThroughTheRealLibraries) {
    auto config = Dc(0, 0);
    config.serial = 4711;
    Bring(config);
    EXPECT_TRUE(messages_.shown.empty());
    EXPECT_FALSE(driver_.DemoMode());
    EXPECT_TRUE(driver_.DeviceCalibrationOK());
    EXPECT_EQ(driver_.DeviceDriverVersion(), "1.1");
    EXPECT_EQ(driver_.USBDriverVersion(), "1.00");
    EXPECT_EQ(driver_.DeviceSerialNumber(), "00004711");
    // The device took the image the library restored from its scrambled store.
    EXPECT_TRUE(unit_->Device().FpgaConfigured());
    EXPECT_EQ(unit_->Device().FpgaImageBytes(), 54979u);

    // Range table: nine entries, model index 3, and the unit's own calibrated gains.
    EXPECT_EQ(Le32(rangeTable_), 9);
    EXPECT_EQ(Le32(rangeTable_ + 236), 3);
    const auto& cal = unit_->Device().TrueCalibration();
    for (int i = 0; i < 9; ++i) {
        const uint8_t* e = rangeTable_ + 4 + 20 * i;
        const int32_t key = Le32(e);
        EXPECT_EQ(Le16(e + 6), sim::CalibratedGain(cal, 0, key)) << "A gain at " << key;
        EXPECT_EQ(Le16(e + 14), sim::CalibratedGain(cal, 1, key)) << "B gain at " << key;
    }
}

TEST_F(InstrumentStack, BrokenCalibrationRunsOnDefaultsWithoutASerialNumber) {
    auto config = Dc(0, 0);
    config.validCalibration = false;
    Bring(config);
    EXPECT_EQ(driver_.DeviceSerialNumber(), "N/A");
    // Uncalibrated gains of the 1-, 2- and 5-steps.
    EXPECT_EQ(Le16(rangeTable_ + 4 + 6), 0);
    EXPECT_EQ(Le16(rangeTable_ + 4 + 10), 1818);
    EXPECT_EQ(Le16(rangeTable_ + 24 + 10), 3636);
    // The library writes the uncalibrated gain, and the unit still reads it as the 10 mV step.
    PassSettings s;
    s.a.density = 1;
    SettingsPass(driver_, s);
    EXPECT_EQ(unit_->Device().Register(8), 1818);
    EXPECT_EQ(unit_->Device().Register(15) & 0x1E, 0x12);
}

// 0 V lands where the library says it does, for each step class and several levels; a DC
// voltage lands at the nominal scale from there.
TEST_F(InstrumentStack, ZeroCodeReportedAfterALevelWriteIsWhereTheUnitPutsZeroVolts) {
    Bring(Dc(0, 0.05));
    struct Case {
        int densityA, densityB;
        uint16_t levelA, levelB;
    };
    const Case cases[] = {{4, 4, 4095 - 1985, 4095 - 1852}, {1, 2, 4095 - 2077, 4095 - 2300},
                          {9, 7, 4095 - 2500, 4095 - 1500}, {3, 8, 4095 - 1200, 4095 - 2700}};
    for (const Case& c : cases) {
        PassSettings s;
        s.a = {c.densityA, c.levelA, true};
        s.b = {c.densityB, c.levelB, true};
        SettingsPass(driver_, s);
        const int32_t zeroA = driver_.ZeroChannelA();
        const int32_t zeroB = driver_.ZeroChannelB();
        EXPECT_EQ(zeroA, std::lround(unit_->Device().CodeFor(0, 0.0))) << "density " << c.densityA;
        EXPECT_EQ(zeroB, std::lround(unit_->Device().CodeFor(1, 0.0))) << "density " << c.densityB;
        const int32_t deflectionB = driver_.GetDeflection(TVirtualDriverLyraRM::kChannelB);
        const long expectB = std::clamp<long>(zeroB + std::lround(50 * CodesPerMv(deflectionB)), 1, 255);

        Start();
        const auto r = ReadSamples(200);
        Stop();
        const auto samples = Samples(r.words);
        ASSERT_GE(samples.size(), 200u);
        for (uint16_t w : samples) {
            ASSERT_NEAR(w & 0xFF, std::clamp(zeroA, 1, 255), 1) << "density " << c.densityA;
            ASSERT_NEAR(w >> 8, expectB, 1) << "density " << c.densityB;
        }
    }
}

// Triggered recording: delivery starts at the first sample above the level.
TEST_F(InstrumentStack, TriggerFiresOnTheFirstSampleThatCrossesTheLevel) {
    auto config = Dc(0, 0);
    config.channels[0] = {sim::SignalShape::Count, 0, 0, 0, 0};
    Bring(config);
    PassSettings s;
    s.recordFree = false;
    s.triggerA = true;
    s.a.scopeLevel = 4095 - 1985;
    SettingsPass(driver_, s);
    const int32_t zero = driver_.ZeroChannelA();
    const double perMv = CodesPerMv(100);
    for (int target : {40, 150, 240}) {
        const double level = std::round((target - zero) / perMv);
        driver_.SetTriggerLevelA(level);
        const long threshold = zero + std::lround(level * perMv);
        Start();
        // Let the crossing happen before the first read of the start, which drops a stale word.
        std::this_thread::sleep_for(40ms);
        const auto r = ReadSamples(600);
        Stop();
        ASSERT_GE(r.words.size(), 600u);
        // The counting pattern's channel A rises by one code per sample from code 1.
        EXPECT_EQ(r.words[0] & 0xFF, threshold + 1) << "level " << level << " mV";
        for (size_t i = 1; i < r.words.size(); ++i)
            ASSERT_EQ(r.words[i] & 0xFF, 1 + (r.words[i - 1] & 0xFF) % 255) << "gap after the trigger at " << i;
        EXPECT_EQ(r.statuses.back(), 0x22);
    }
}

TEST_F(InstrumentStack, TriggerOnARampFiresWhereTheVoltageCrossesTheLevel) {
    auto config = Dc(0, 0);
    // 1.2 V/s at 10,000 samples/s: about 0.04 codes per sample at 100 mV/div.
    config.channels[0] = {sim::SignalShape::Ramp, 2, 0.3, 0, 0};
    Bring(config);
    PassSettings s;
    s.recordFree = false;
    s.triggerA = true;
    s.triggerLevelA = 120;
    s.a.scopeLevel = 4095 - 1985;
    SettingsPass(driver_, s);
    const int32_t zero = driver_.ZeroChannelA();
    const long threshold = zero + std::lround(120 * CodesPerMv(100));
    Start();
    const auto r = ReadSamples(50);
    Stop();
    ASSERT_GE(r.words.size(), 50u);
    EXPECT_EQ(r.words[0] & 0xFF, threshold + 1);
    // The sample voltage is just above the level: its code is the first one past the threshold.
    EXPECT_GT(unit_->Device().CodeFor(0, 0.120) + 0.5, double(threshold));
}

TEST_F(InstrumentStack, ArmOnChannelAWithholdsSamplesBelowTheArmLevelAsWordTwo) {
    auto config = Dc(0, 0);
    config.channels[0] = {sim::SignalShape::Square, 20, 0.2, 0, 0};
    Bring(config);
    PassSettings s;
    s.armA = true;
    s.armLevelA = 0;
    s.a.scopeLevel = 4095 - 1985;
    SettingsPass(driver_, s);
    const int32_t zero = driver_.ZeroChannelA();
    Start();
    const auto r = ReadSamples(3000);
    Stop();
    const size_t marks = static_cast<size_t>(std::count(r.words.begin(), r.words.end(), uint16_t{2}));
    const auto samples = Samples(r.words);
    ASSERT_GT(marks, 500u);
    ASSERT_GT(samples.size(), 500u);
    for (uint16_t w : samples) ASSERT_GE(w & 0xFF, zero) << "a sample below the ARM level got through";
    for (size_t i = 0; i < r.statuses.size(); ++i)
        EXPECT_EQ(r.statuses[i] >> 4, r.lastWords[i] == 2 ? 1 : 2) << "read " << i;
}

TEST_F(InstrumentStack, ExternalArmIsDecidedByTheUnitThroughRegisterTwo) {
    auto config = Dc(0, 0);
    config.externalArm.level = false;  // input low
    Bring(config);
    PassSettings s;
    s.armExternal = true;
    s.armUnderExternal = false;  // armed while high: nothing passes
    SettingsPass(driver_, s);
    EXPECT_EQ(unit_->Device().Register(2), 0x04);
    Start();
    auto r = ReadSamples(300);
    Stop();
    ASSERT_GE(r.words.size(), 300u);
    EXPECT_TRUE(Samples(r.words).empty());

    driver_.SetARMUnderExternal(true);  // armed while low: everything passes
    EXPECT_EQ(unit_->Device().Register(2), 0x24);
    Start();
    r = ReadSamples(300);
    Stop();
    ASSERT_GE(r.words.size(), 300u);
    EXPECT_EQ(Samples(r.words).size(), r.words.size());
}

// The unit vanishes in the middle of acquisition; the library raises the failure flag, and a
// re-open asks to retry: Yes after plugging in brings the unit back, No goes on in demo mode.
TEST_F(InstrumentStack, UnplugDuringAcquisitionThenRetryOrDemo) {
    auto config = Dc(0, 0);
    config.channels[0] = {sim::SignalShape::Count, 0, 0, 0, 0};
    config.channels[1] = {sim::SignalShape::Count, 0, 0, 0, 0};
    Bring(config);
    PassSettings s;
    SettingsPass(driver_, s);
    Start();
    ASSERT_GE(ReadSamples(500).words.size(), 500u);

    std::thread unplug([this] {
        std::this_thread::sleep_for(50ms);
        unit_->Unplug();
    });
    const auto r = ReadUntil(driver_, [](const ReadResult&) { return false; }, 3000ms);
    unplug.join();
    ASSERT_TRUE(driver_.USBFailed());

    // Re-open as the acquisition thread's recovery does: Yes once the unit is back.
    driver_.ReleaseDriverLibrary();
    messages_.Push(MsgResult::Yes, [this] { ASSERT_TRUE(unit_->Plug()); });
    driver_.OpenDevice();
    ASSERT_EQ(messages_.shown, std::vector<std::string>{kNotPresent});
    EXPECT_TRUE(driver_.DeviceInitialized());
    EXPECT_FALSE(driver_.DemoMode());
    EXPECT_FALSE(driver_.USBFailed());
    SettingsPass(driver_, s);
    driver_.ResumeMeasurement();
    EXPECT_EQ(unit_->Device().Register(1), 0x8000 | (15 - s.smp)) << "rate set, then run";
    const auto resumed = ReadSamples(500);
    ASSERT_GE(resumed.words.size(), 500u);
    for (size_t i = 1; i < resumed.words.size(); ++i)
        ASSERT_EQ(resumed.words[i] & 0xFF, 1 + (resumed.words[i - 1] & 0xFF) % 255);

    // Once more, now answering No: demo mode.
    unit_->Unplug();
    ReadUntil(driver_, [](const ReadResult&) { return false; }, 2000ms);
    ASSERT_TRUE(driver_.USBFailed());
    driver_.ReleaseDriverLibrary();
    messages_.Push(MsgResult::No);
    driver_.OpenDevice();
    EXPECT_EQ(messages_.shown.size(), 2u);
    EXPECT_TRUE(driver_.DemoMode());
    EXPECT_FALSE(driver_.DeviceInitialized());
    EXPECT_EQ(driver_.DeviceSerialNumber(), "N/A");
    std::this_thread::sleep_for(20ms);
    std::vector<uint16_t> buffer(TVirtualDriverLyraRM::kReadBufferWords);
    uint32_t n = 0;
    EXPECT_EQ(driver_.ReadData(buffer.data(), n), TVirtualDriverLyraRM::kDemoStatus);
    EXPECT_GT(n, 0u) << "the demo generator takes over";
}

}  // namespace

namespace {

TEST_F(InstrumentStack, AcCouplingDropsTheDcPartOfTheSignal) {
    Bring(Dc(0.1, 0.1));
    PassSettings s;
    s.a.dc = false;  // AC
    SettingsPass(driver_, s);
    Start();  // the coupling write waits in brask's buffer for the next flushing command
    EXPECT_EQ(unit_->Device().Register(15) & 0x0101, 0x0001) << "bit 0 of A's control byte only";
    const auto samples = Samples(ReadSamples(200).words);
    Stop();
    ASSERT_GE(samples.size(), 200u);
    const long dcB = driver_.ZeroChannelB() + std::lround(100 * CodesPerMv(100));
    for (uint16_t w : samples) {
        ASSERT_NEAR(w & 0xFF, driver_.ZeroChannelA(), 1);
        ASSERT_NEAR(w >> 8, dcB, 1);
    }
}

// A host that falls behind: the unit's FIFO overflows and word 1 reaches the host exactly at
// the gap in the counting pattern.
TEST_F(InstrumentStack, OverflowMarkReachesTheHostAtTheGap) {
    auto config = Dc(0, 0);
    config.channels[0] = {sim::SignalShape::Count, 0, 0, 0, 0};
    config.channels[1] = {sim::SignalShape::Count, 0, 0, 0, 0};
    config.fifoDepth = 2000;
    Bring(config);
    PassSettings s;
    s.smp = 10;  // 100,000 samples per second: 20 ms fill the FIFO
    SettingsPass(driver_, s);
    Start();
    std::this_thread::sleep_for(60ms);
    const auto r = ReadSamples(5000);
    Stop();
    const auto mark = std::find(r.words.begin(), r.words.end(), uint16_t{1});
    ASSERT_NE(mark, r.words.end());
    const auto at = static_cast<size_t>(mark - r.words.begin());
    ASSERT_GT(at, 0u);
    ASSERT_LT(at + 1, r.words.size());
    EXPECT_EQ(at, 2000u - 2) << "the FIFO kept depth - 1 samples, the first of them dropped as stale";
    for (size_t i = 1; i < at; ++i) ASSERT_EQ(r.words[i] & 0xFF, 1 + (r.words[i - 1] & 0xFF) % 255);
    EXPECT_NE(r.words[at + 1] & 0xFF, 1 + (r.words[at - 1] & 0xFF) % 255) << "samples were lost at the mark";
}

}  // namespace
