// The batch demo generator against the sample-by-sample form of the same signal.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "DemoSignal.h"
#include "RateTables.h"

namespace rollmode::core::virtual_driver {
namespace {

using Words = std::vector<uint16_t>;

struct Channel {
    int32_t period = 1000;  // ms
    int32_t amplitude = 0;
    int32_t deflection = 10;  // mV per division
    uint32_t sinceStart = 0;  // ms from the demo start to this call
    int32_t level = 512;      // (scope level + 1) div 4
    int32_t noise = 0;
};

DemoWave Wave(const Channel& c, double samplesPerSecond) {
    DemoWave w;
    const int32_t p = std::max(c.period, 1);
    w.period = p;
    w.gain = static_cast<double>(c.amplitude) * 255.0 / (static_cast<double>(c.deflection) * 8.0);
    w.offset = static_cast<double>(c.sinceStart % static_cast<uint32_t>(p)) / 1000.0 / (1.0 / samplesPerSecond);
    w.level = c.level;
    w.noise = std::max(c.noise, 0);
    w.noiseRange = 2u * static_cast<uint32_t>(w.noise);
    return w;
}

Words Fast(const DemoWave& a, const DemoWave& b, double rate, uint32_t n, uint64_t seed = 1) {
    Words out(n + 1, 0xBEEF);  // one guard word past the end
    DemoSynthesizer synth(seed);
    synth.Generate(a, b, rate, n, out.data());
    EXPECT_EQ(out[n], 0xBEEF) << "wrote past the end";
    out.resize(n);
    return out;
}

Words Reference(const DemoWave& a, const DemoWave& b, double rate, uint32_t n) {
    Words out(n);
    DemoRandom random(1);
    DemoSamplesReference(a, b, rate, n, random, out.data());
    return out;
}

double Phase(const DemoWave& w, double rate, uint32_t i) {
    return (static_cast<double>(i) + w.offset) * 2.0 * std::numbers::pi * (1.0 / rate) * 1000.0 / w.period;
}

// How far the batch sine may be from the reference's: each phase is a product of four rounded
// factors (up to 4 × 1.1e-16 relative, in both, so the absolute error grows with the phase),
// and the rotation between restarts adds some 1e-15 of the gain (5e-14 leaves a wide margin).
double SineTolerance(const DemoWave& w, double phase) {
    return std::abs(w.gain) * (5e-14 + 2e-15 * std::abs(phase));
}

// The reference's value before rounding, and how far the batch value may be from it.
struct Unrounded {
    double value, tolerance;
};
Unrounded ValueBeforeRounding(const DemoWave& w, double rate, uint32_t i) {
    const double phase = Phase(w, rate, i);
    return {std::sin(phase) * w.gain + w.level, 1e-9 + SineTolerance(w, phase)};
}

bool NearHalfInteger(const Unrounded& u) {
    const double distance = std::abs(u.value - std::floor(u.value) - 0.5);
    return distance <= u.tolerance;
}

// Every code equals the reference's, or the reference's value lies within rounding error of a
// tie. Returns the number of such excused samples.
int ExpectSameCodes(const DemoWave& a, const DemoWave& b, double rate, uint32_t n, const char* what) {
    const Words fast = Fast(a, b, rate, n), ref = Reference(a, b, rate, n);
    int excused = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (fast[i] == ref[i]) continue;
        const bool aOk = (fast[i] & 0xFF) == (ref[i] & 0xFF) || NearHalfInteger(ValueBeforeRounding(a, rate, i));
        const bool bOk = (fast[i] >> 8) == (ref[i] >> 8) || NearHalfInteger(ValueBeforeRounding(b, rate, i));
        EXPECT_TRUE(aOk && bOk) << what << ": sample " << i << " of " << n << " at " << rate << "/s: " << fast[i]
                                << " instead of " << ref[i];
        if (!(aOk && bOk)) return excused;
        ++excused;
    }
    return excused;
}

void MatchesOverManySettings();
void SineWithinRoundingError();

// Runs the checks on every instruction-set copy of the generator this processor runs.
template <class Check>
void ForEachInstructionSet(Check check) {
    for (int i = 0; i < DemoSynthesizer::InstructionSets(); ++i) {
        SCOPED_TRACE(DemoSynthesizer::InstructionSetName(i));
        DemoSynthesizer::UseInstructionSet(i);
        check();
        if (::testing::Test::HasFailure()) break;
    }
    DemoSynthesizer::UseInstructionSet(0);
}

TEST(DemoSynthesizer, MatchesTheSampleBySampleSignalOverManySettings) {
    ForEachInstructionSet([] { MatchesOverManySettings(); });
}

TEST(DemoSynthesizer, InstructionSetsDrawTheSameNoise) {
    Channel c;
    c.noise = 100;
    const DemoWave a = Wave(c, 1000);
    c.noise = 70'000;  // a whole random word per draw
    const DemoWave b = Wave(c, 1000);
    const Words widest = Fast(a, b, 1000, 20'000, 8);
    ForEachInstructionSet([&] { EXPECT_EQ(Fast(a, b, 1000, 20'000, 8), widest); });
}

void MatchesOverManySettings() {
    std::mt19937 rng(20261207);
    const int32_t periods[] = {1, 2, 3, 4, 7, 13, 100, 999, 1000, 65535, 1'000'000, INT32_MAX};
    const int32_t amplitudes[] = {0, 1, 8, 100, 1200, -700, 100'000, INT32_MAX, INT32_MIN};
    const uint32_t lengths[] = {1, 15, 16, 17, 511, 512, 513, 2047, 2048, 2049, 5000, 30'000, 65'535};
    int excused = 0, cases = 0;
    const auto pick = [&](const auto& list) { return list[rng() % std::size(list)]; };
    const auto channel = [&] {
        Channel c;
        c.period = pick(periods);
        c.amplitude = rng() % 4 == 0 ? static_cast<int32_t>(rng() % 4000) - 2000 : pick(amplitudes);
        c.deflection = Deflection(1 + static_cast<int>(rng() % 4), 1 + static_cast<int>(rng() % 9));
        c.sinceStart = rng() % 3 == 0 ? 0 : static_cast<uint32_t>(rng());
        c.level = rng() % 4 == 0 ? (rng() % 2 ? 0 : 1024) : static_cast<int32_t>(rng() % 1025);
        return c;
    };
    for (int rateStep = 0; rateStep < kSmpSteps; ++rateStep) {
        const double rate = SamplesPerSecond(rateStep);
        for (int k = 0; k < 12; ++k) {
            const DemoWave a = Wave(channel(), rate), b = Wave(channel(), rate);
            excused += ExpectSameCodes(a, b, rate, pick(lengths), "random settings");
            ++cases;
            if (::testing::Test::HasFailure()) return;
        }
    }
    // Rounding ties at the peaks: 8 units at 10 mV/div is 25.5 codes; a quarter period per
    // sample lands exactly on sin = ±1, at any restart position.
    for (const uint32_t n : {4u, 2048u, 4099u, 65'535u}) {
        Channel c;
        c.period = 4;
        c.amplitude = 8;
        c.sinceStart = 1;
        excused += ExpectSameCodes(Wave(c, 1000), Wave(c, 1000), 1000, n, "ties at the peaks");
    }
    // Flat signals at both clamps, with and without amplitude.
    for (const int32_t level : {0, 384, 385, 512, 639, 1024}) {
        Channel c;
        c.level = level;
        c.amplitude = level == 512 ? 0 : 3000;
        excused += ExpectSameCodes(Wave(c, 5e6), Wave(c, 5e6), 5e6, 9000, "levels");
    }
    ::testing::Test::RecordProperty("excused_samples", excused);
    ::testing::Test::RecordProperty("cases", cases);
    // Near-ties are rare; a wrong phase or gain would show as plain mismatches above.
    EXPECT_LT(excused, 50);
}

// The values before rounding, with gains large enough to show errors far below one code.
TEST(DemoSynthesizer, SineStaysWithinRoundingErrorOfTheDirectSine) {
    ForEachInstructionSet([] { SineWithinRoundingError(); });
}

void SineWithinRoundingError() {
    std::mt19937 rng(11);
    for (int k = 0; k < 60; ++k) {
        const double rate = SamplesPerSecond(static_cast<int>(rng() % kSmpSteps));
        Channel c;
        const int32_t periods[] = {1, 3, 250, 1000, 86'400'000, INT32_MAX};
        c.period = periods[rng() % std::size(periods)];
        c.amplitude = INT32_MAX - static_cast<int32_t>(rng() % 1000);
        c.sinceStart = static_cast<uint32_t>(rng());
        const DemoWave w = Wave(c, rate);
        const uint32_t n = 1 + rng() % 65'535;
        std::vector<double> ys(n);
        DemoSynthesizer::ScaledSine(w, rate, n, ys.data());
        for (uint32_t i = 0; i < n; ++i) {
            const double phase = Phase(w, rate, i);
            ASSERT_NEAR(ys[i], std::sin(phase) * w.gain, SineTolerance(w, phase))
                << "sample " << i << " of " << n << ", period " << c.period << " ms at " << rate << "/s";
        }
    }
}

TEST(DemoSynthesizer, WithoutNoiseTheSeedDoesNotMatter) {
    Channel c;
    c.amplitude = 300;
    c.period = 7;
    const DemoWave w = Wave(c, 5e6);
    EXPECT_EQ(Fast(w, w, 5e6, 10'000, 1), Fast(w, w, 5e6, 10'000, 99));
}

// Noise on top of the noise-free codes: d := code - noise-free code must lie in -noise..noise-1,
// every value about equally often, independent between channels and between samples.
TEST(DemoSynthesizer, NoiseIsUniformWithinItsRangeAndIndependent) {
    for (const int32_t noise : {1, 3, 5, 64, 127}) {
        SCOPED_TRACE(noise);
        Channel ca, cb;
        ca.amplitude = noise > 20 ? 0 : 8;  // about ±25 codes around 128 while the noise leaves room
        ca.period = 3;
        ca.level = 512;
        cb = ca;
        cb.period = 11;
        ca.noise = cb.noise = noise;
        const double rate = 10'000;
        const uint32_t n = 65'535;
        DemoWave a = Wave(ca, rate), b = Wave(cb, rate);
        const Words noisy = Fast(a, b, rate, n, 1234);
        a.noise = b.noise = 0;
        a.noiseRange = b.noiseRange = 0;
        const Words clean = Reference(a, b, rate, n);

        std::vector<int> histA(2 * noise), histB(2 * noise);
        int usable = 0, equalAB = 0, equalNext = 0, pairs = 0, previous = INT_MIN;
        for (uint32_t i = 0; i < n; ++i) {
            const int dA = (noisy[i] & 0xFF) - (clean[i] & 0xFF);
            const int dB = (noisy[i] >> 8) - (clean[i] >> 8);
            const int cleanA = clean[i] & 0xFF, cleanB = clean[i] >> 8;
            // Only codes that the clamp to 1..255 cannot have touched, away from rounding ties.
            const bool freeA = cleanA - noise >= 1 && cleanA + noise - 1 <= 255 &&
                               !NearHalfInteger(ValueBeforeRounding(a, rate, i));
            const bool freeB = cleanB - noise >= 1 && cleanB + noise - 1 <= 255 &&
                               !NearHalfInteger(ValueBeforeRounding(b, rate, i));
            if (!freeA || !freeB) {
                previous = INT_MIN;
                continue;
            }
            ASSERT_GE(dA, -noise) << i;
            ASSERT_LT(dA, noise) << i;
            ASSERT_GE(dB, -noise) << i;
            ASSERT_LT(dB, noise) << i;
            ++histA[dA + noise];
            ++histB[dB + noise];
            ++usable;
            equalAB += dA == dB;
            if (previous != INT_MIN) {
                equalNext += dA == previous;
                ++pairs;
            }
            previous = dA;
        }
        ASSERT_GT(usable, 60'000);
        // Each value about usable / range times: within 6 standard deviations.
        const double p = 1.0 / (2 * noise);
        const double expected = usable * p, sigma = std::sqrt(usable * p * (1 - p));
        for (int h : histA) EXPECT_NEAR(h, expected, 6 * sigma);
        for (int h : histB) EXPECT_NEAR(h, expected, 6 * sigma);
        if (noise > 1) {
            EXPECT_NEAR(equalAB, expected, 6 * sigma) << "channels A and B draw the same numbers";
            const double pairExpected = pairs * p, pairSigma = std::sqrt(pairs * p * (1 - p));
            EXPECT_NEAR(equalNext, pairExpected, 6 * pairSigma) << "consecutive samples repeat";
        }
    }
}

// Beyond 16 bits the draw takes a whole random word, and near 2^31 about half the draws are
// rejected and redrawn. A flat code of 128 then reaches the clamps with known odds:
// 1 when u <= noise - 127, 255 when u >= noise + 127, for u uniform in 0..2 noise - 1.
TEST(DemoSynthesizer, WideNoiseReachesBothClampsWithTheRightOdds) {
    for (const int32_t noise : {32'768, 40'000, (1 << 30) + 1, INT32_MAX}) {
        SCOPED_TRACE(noise);
        Channel c;
        c.level = 512;
        c.noise = noise;
        const DemoWave w = Wave(c, 1000);
        const uint32_t n = 65'535;
        const Words words = Fast(w, w, 1000, n, 77);
        int low = 0, high = 0, inside = 0;
        for (uint16_t x : words) {
            for (int code : {x & 0xFF, x >> 8}) {
                ASSERT_GE(code, 1);
                low += code == 1;
                high += code == 255;
                inside += code > 1 && code < 255;
            }
        }
        const double draws = 2.0 * n;
        const double range = 2.0 * noise;
        const double pLow = (noise - 126) / range, pHigh = (noise - 127) / range, pInside = 253 / range;
        EXPECT_NEAR(low, draws * pLow, 6 * std::sqrt(draws * pLow * (1 - pLow)) + 1);
        EXPECT_NEAR(high, draws * pHigh, 6 * std::sqrt(draws * pHigh * (1 - pHigh)) + 1);
        EXPECT_NEAR(inside, draws * pInside, 6 * std::sqrt(draws * pInside * (1 - pInside)) + 1);
    }
}

// No run of 16 noise values occurs twice, within a channel or across both: the streams behind
// the samples are all distinct (at noise 5 a chance repeat has odds of about 1e-6).
TEST(DemoSynthesizer, NoNoiseRunRepeats) {
    Channel c;
    c.amplitude = 8;
    c.period = 5;
    c.level = 512;
    c.noise = 5;
    DemoWave w = Wave(c, 1000);
    const uint32_t n = 65'535;
    const Words noisy = Fast(w, w, 1000, n, 5);
    w.noise = 0;
    w.noiseRange = 0;
    const Words clean = Reference(w, w, 1000, n);
    std::vector<uint64_t> runs;
    for (int channel = 0; channel < 2; ++channel) {
        const int shift = 8 * channel;
        for (uint32_t i = 0; i + 16 <= n; i += 1) {
            uint64_t key = 0;
            bool usable = true;
            for (uint32_t k = i; k < i + 16; ++k) {
                usable = usable && !NearHalfInteger(ValueBeforeRounding(w, 1000, k));
                const int d = ((noisy[k] >> shift) & 0xFF) - ((clean[k] >> shift) & 0xFF) + 5;
                key = key * 16 + static_cast<uint64_t>(d & 0xF);
            }
            if (usable) runs.push_back(key);
        }
    }
    ASSERT_GT(runs.size(), 130'000u);
    std::sort(runs.begin(), runs.end());
    EXPECT_EQ(std::adjacent_find(runs.begin(), runs.end()), runs.end());
}

TEST(DemoSynthesizer, NoiseRepeatsWithTheSeedAndContinuesAcrossCalls) {
    Channel c;
    c.noise = 5;
    const DemoWave w = Wave(c, 1000);
    const Words first = Fast(w, w, 1000, 3000, 42);
    EXPECT_EQ(Fast(w, w, 1000, 3000, 42), first);
    EXPECT_NE(Fast(w, w, 1000, 3000, 43), first);

    // Two calls on one generator continue the streams rather than repeat them.
    DemoSynthesizer synth(42);
    Words x(3000), y(3000);
    synth.Generate(w, w, 1000, 3000, x.data());
    synth.Generate(w, w, 1000, 3000, y.data());
    EXPECT_EQ(x, first);
    EXPECT_NE(y, first);
}

}  // namespace
}  // namespace rollmode::core::virtual_driver
