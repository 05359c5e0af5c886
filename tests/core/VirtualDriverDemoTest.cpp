// The demo generator of the virtual driver, driven by a scripted millisecond tick.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "VirtualDriverLyraRM.h"

using rollmode::core::TVirtualDriverLyraRM;
using DemoRandom = TVirtualDriverLyraRM::DemoRandom;
using Words = std::vector<uint16_t>;

namespace {

class DemoGenerator : public ::testing::Test {
protected:
    uint32_t tick = 1000;
    TVirtualDriverLyraRM driver;
    Words buffer = Words(TVirtualDriverLyraRM::kReadBufferWords);

    void SetUp() override {
        driver.SetTickSource([this] { return tick; });
        driver.SetSMPSetting(4);  // 1000 samples/s: one sample per millisecond
        driver.SetSourceProbeA(1);
        driver.SetSourceProbeB(1);
        driver.SetDensityChannelA(1);  // 10 mV per division
        driver.SetDensityChannelB(1);
        driver.SetPeriodA(1000);
        driver.SetPeriodB(1000);
        driver.SetVerticalLevelChannelA(2048);
        driver.SetVerticalLevelChannelB(2048);
        driver.SetMeasurementStarted(true);  // demo clock starts at tick 1000
    }
    // Advances the clock and generates; returns the words delivered.
    Words Generate(uint32_t ms) {
        tick += ms;
        uint32_t n = 0;
        EXPECT_EQ(driver.GenerateDemoData(buffer.data(), n), 0x22);
        return Words(buffer.begin(), buffer.begin() + n);
    }
    static std::vector<int> ChannelA(const Words& w) {
        std::vector<int> out;
        for (uint16_t x : w) out.push_back(x & 0xFF);
        return out;
    }
};

TEST_F(DemoGenerator, ClockAccumulatesCarriesFractionsAndRestartsAfterLongPause) {
    EXPECT_TRUE(Generate(0).empty());
    EXPECT_EQ(Generate(7).size(), 7u);

    driver.SetSMPSetting(2);  // 250 samples/s, 4 ms per sample
    EXPECT_TRUE(Generate(3).empty());  // not yet a whole sample: the time stays
    EXPECT_EQ(Generate(7).size(), 2u);  // 10 ms: 2 samples, 2 ms carried
    EXPECT_EQ(Generate(6).size(), 2u);

    driver.SetSMPSetting(4);
    EXPECT_TRUE(Generate(70'000).empty());  // 70,000 samples due: restart instead
    EXPECT_EQ(Generate(10).size(), 10u);
    EXPECT_EQ(Generate(65'535).size(), 65'535u);
}

TEST_F(DemoGenerator, FlatSignalFollowsLevelAndClamps) {
    EXPECT_EQ(Generate(20), Words(20, 128 + 256 * 128));
    driver.SetVerticalLevelChannelA(4095);
    driver.SetVerticalLevelChannelB(0);
    EXPECT_EQ(Generate(20), Words(20, 1 + 256 * 255));
    driver.SetVerticalLevelChannelA(1000);  // (1000 + 1) div 4 = 250 → 640 - 250 = 390 → 255
    driver.SetVerticalLevelChannelB(3000);  // 750 → 640 - 750 → 1
    EXPECT_EQ(Generate(5), Words(5, 255 + 256 * 1));
}

TEST_F(DemoGenerator, SineEntersNegativeRoundedTiesToEvenAndKeepsPhase) {
    // 8 units at 10 mV/div: 8 * 255 / 80 = 25.5 codes; at the peaks 512 ± 25.5 is a tie.
    driver.SetAmplitudeA(8);
    driver.SetPeriodA(4);  // 4 samples per period
    driver.SetPeriodB(0);  // counts as 1 ms, never a division by zero
    driver.SetAmplitudeB(8);
    EXPECT_EQ(ChannelA(Generate(1)), (std::vector<int>{128}));
    // The next call starts one sample into the period: sin 90°, 180°, 270°, 360°.
    const Words w = Generate(4);
    EXPECT_EQ(ChannelA(w), (std::vector<int>{102, 128, 154, 128}));  // 537.5 → 538, 486.5 → 486
    for (uint16_t x : w) EXPECT_EQ(x >> 8, 128);  // a whole period per sample: sin 0
}

TEST_F(DemoGenerator, ChunksJoinIntoTheSameSignal) {
    TVirtualDriverLyraRM& a = driver;
    a.SetAmplitudeA(16);
    a.SetPeriodA(8);
    a.SetAmplitudeB(40);
    a.SetPeriodB(20);
    Words pieces;
    for (uint32_t ms : {1u, 3u, 7u, 2u, 11u, 16u}) {
        const Words w = Generate(ms);
        pieces.insert(pieces.end(), w.begin(), w.end());
    }
    // The same settings in one go from the same start.
    tick = 1000;
    a.SetMeasurementStarted(false);
    a.SetMeasurementStarted(true);
    const Words whole = Generate(40);
    EXPECT_EQ(pieces, whole);
    EXPECT_GT(*std::max_element(whole.begin(), whole.end()), *std::min_element(whole.begin(), whole.end()));
}

TEST_F(DemoGenerator, NoiseCoversItsRangeAndRepeatsWithTheSeed) {
    driver.SeedRandom(42);
    driver.SetNoiseA(3);
    driver.SetNoiseB(5);
    const Words w = Generate(2000);
    std::vector<int> seenA(6), seenB(10);
    for (uint16_t x : w) {
        const int a = x & 0xFF, b = x >> 8;
        ASSERT_TRUE(a >= 125 && a <= 130) << a;
        ASSERT_TRUE(b >= 123 && b <= 132) << b;
        seenA[a - 125] = seenB[b - 123] = 1;
    }
    EXPECT_EQ(std::count(seenA.begin(), seenA.end(), 1), 6);
    EXPECT_EQ(std::count(seenB.begin(), seenB.end(), 1), 10);

    // From the same start, the same seed gives the same samples and another seed others.
    const auto drawWith = [this](uint64_t seed) {
        tick = 1000;
        driver.SetMeasurementStarted(false);
        driver.SetMeasurementStarted(true);
        driver.SeedRandom(seed);
        return Generate(2000);
    };
    EXPECT_EQ(drawWith(42), w);
    EXPECT_NE(drawWith(43), w);
    EXPECT_EQ(drawWith(42), w);

    // Heavy noise at the edge stays in 1..255 on both channels; negative noise is none.
    driver.SetNoiseA(400);
    driver.SetVerticalLevelChannelA(4095);
    driver.SetNoiseB(-7);
    for (uint16_t x : Generate(3000)) {
        ASSERT_GE(x & 0xFF, 1);
        ASSERT_EQ(x >> 8, 128);
    }
}

TEST_F(DemoGenerator, TickWrapsModulo32Bits) {
    tick = 0xFFFFFFF0u;
    driver.SetMeasurementStarted(false);
    driver.SetMeasurementStarted(true);
    EXPECT_EQ(Generate(32).size(), 32u);
    EXPECT_EQ(Generate(5).size(), 5u);
}

TEST(DemoRandomTest, BelowCoversTheRangeAndZeroIsZero) {
    DemoRandom r(7);
    EXPECT_EQ(r.Below(0), 0u);
    EXPECT_EQ(r.Below(1), 0u);
    std::vector<int> hits(13);
    for (int i = 0; i < 13000; ++i) ++hits.at(r.Below(13));
    for (int h : hits) EXPECT_GT(h, 800);
    DemoRandom same(7), other(8);
    EXPECT_EQ(same.Below(1u << 31), DemoRandom(7).Below(1u << 31));
    EXPECT_NE(same.Below(1u << 31), other.Below(1u << 31));
}

TEST(SampleCounter, AdvancesAndReachesTheLength) {
    TVirtualDriverLyraRM driver;
    driver.SetSMPSetting(4);
    driver.SetMeasurementLength(2500);  // 2 whole seconds
    EXPECT_EQ(driver.MeasurementLengthInSamples(), 2000);
    EXPECT_EQ(driver.AdvanceSampleCounter(1999), 1999);
    EXPECT_FALSE(driver.MeasurementLengthReached());
    driver.AdvanceSampleCounter(1);
    EXPECT_TRUE(driver.MeasurementLengthReached());
    driver.ResetSampleCounter();
    EXPECT_EQ(driver.SampleCounter(), 0);
}

}  // namespace
