// The front end's block synthesis against a plain per-sample model of the same signals, and
// the counting pattern and noise statistics it must keep.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <numbers>
#include <vector>

#include "sim/Calibration.h"
#include "sim/Instrument.h"

using namespace rollmode::sim;
using Bytes = std::vector<uint8_t>;
using Steady = std::chrono::steady_clock;

namespace {

constexpr double kRate = 5000000;  // rate code 0

class Synthesis : public ::testing::Test {
protected:
    // Both inputs at 100 mV/div (about 3.2 codes per 10 mV), level 2000; run at 5 MS/s.
    void Start(InstrumentConfig config, uint16_t inputControl = 0x1414) {
        config.fifoDepth = 1u << 24;
        instrument_ = std::make_unique<Instrument>(config);
        instrument_->SetClock([this] { return now_; });
        instrument_->SetRollWait(std::chrono::milliseconds(0));
        Bytes image(54979, 0x5A);
        StampFpgaHeader(image);
        Bytes out;
        ASSERT_TRUE(Send({0x20, 0x03, 0x5C, 0x21}));
        ASSERT_TRUE(instrument_->HandleRequest(0x22001C, image, 0, out));
        ASSERT_TRUE(instrument_->HandleRequest(0x220024, {}, 4, out));
        const auto& cal = instrument_->TrueCalibration();
        Write(15, inputControl);
        Write(8, uint16_t(CalibratedGain(cal, 0, 100)));
        Write(11, uint16_t(CalibratedGain(cal, 1, 100)));
        Write(9, 2000);
        Write(12, 2000);
        Write(1, 0x8000);
    }
    bool Send(const Bytes& commands) {
        Bytes out;
        return instrument_->HandleRequest(0x220018, commands, 0, out);
    }
    void Write(uint8_t reg, uint16_t value) { ASSERT_TRUE(Send({0x26, reg, uint8_t(value >> 8), uint8_t(value)})); }
    // The next words of the stream, n of them, in reads of the given size.
    std::vector<uint16_t> Take(size_t n, size_t readWords) {
        std::vector<uint16_t> all;
        std::vector<uint16_t> block(readWords);
        while (all.size() < n) {
            now_ += std::chrono::nanoseconds(static_cast<int64_t>(1e9 * double(readWords) / kRate) + 1000);
            instrument_->ReadRoll(block.data(), block.size());
            for (uint16_t w : block) {
                if (w == 0 || all.size() == n) break;
                all.push_back(w);
            }
        }
        return all;
    }

    Steady::time_point now_ = Steady::time_point(std::chrono::hours(3));
    std::unique_ptr<Instrument> instrument_;
};

double ShapeOf(const ChannelSignal& s, double t) {
    const double phase = s.frequency > 0 ? t * s.frequency - std::floor(t * s.frequency) : 0.0;
    switch (s.shape) {
        case SignalShape::Sine: return std::sin(2 * std::numbers::pi * phase);
        case SignalShape::Square: return phase < 0.5 ? 1.0 : -1.0;
        case SignalShape::Ramp: return 2 * phase - 1;
        default: return 1.0;
    }
}

struct Mismatch {
    size_t count = 0;
    double worstDistanceFromTie = 0;  // how far from a rounding boundary a differing sample was
};

// Compares channel codes with the model sample by sample (sample n at n / rate, AC coupling
// removing the offset). A code may differ by one where the model's value lies at a rounding
// boundary; a square or ramp may differ where the model's phase is exactly at a jump.
Mismatch Compare(Instrument& instrument, const std::vector<uint16_t>& words, int channel, const ChannelSignal& s,
                 bool ac) {
    Mismatch m;
    const double zero = instrument.CodeFor(channel, 0.0);
    const double perVolt = instrument.CodeFor(channel, 1.0) - zero;
    for (size_t n = 0; n < words.size(); ++n) {
        const double t = double(n) / kRate;
        const double volts = s.amplitude * ShapeOf(s, t) + (ac ? 0.0 : s.offset);
        const double x = zero + volts * perVolt;
        const double expected = std::clamp(std::nearbyint(x), 1.0, 255.0);
        const int got = channel == 0 ? words[n] & 0xFF : words[n] >> 8;
        if (got == expected) continue;
        ++m.count;
        const double phase = t * s.frequency - std::floor(t * s.frequency);
        // At a square's edges and a ramp's wrap the model itself decides by rounding noise.
        const double fromWrap = std::min(phase, 1 - phase);
        const bool atEdge = (s.shape == SignalShape::Square && std::min(fromWrap, std::abs(phase - 0.5)) < 1e-9) ||
                            (s.shape == SignalShape::Ramp && fromWrap < 1e-9);
        if (atEdge) continue;
        EXPECT_LE(std::abs(got - expected), 1) << "sample " << n;
        m.worstDistanceFromTie = std::max(m.worstDistanceFromTie, std::abs(x - std::floor(x) - 0.5));
    }
    return m;
}

TEST_F(Synthesis, PeriodicSignalsMatchThePlainModelToTheCode) {
    struct Case {
        ChannelSignal a, b;
        uint16_t control;
    };
    const Case cases[] = {
        // A frequency with no short period in samples, against a square with exact edges.
        {{SignalShape::Sine, 12345.678, 0.35, 0.1, 0}, {SignalShape::Square, 1000, 0.2, -0.05, 0}, 0x1414},
        // AC coupling removes the offsets; a ramp's wrap and a fast sine near Nyquist.
        {{SignalShape::Ramp, 777.7, 0.3, 0.25, 0}, {SignalShape::Sine, 2.3e6, 0.25, 0.2, 0}, 0x1515},
        // Clipped: codes stay 1..255 as the model clamps them.
        {{SignalShape::Sine, 50, 1.0, 0, 0}, {SignalShape::Ramp, 20000, 2.0, 0, 0}, 0x1414},
    };
    for (const Case& c : cases) {
        InstrumentConfig config;
        config.channels = {c.a, c.b};
        Start(config, c.control);
        // Odd read sizes cross the synthesis' internal blocks at changing places.
        const auto words = Take(300000, 7919);
        const Mismatch a = Compare(*instrument_, words, 0, c.a, c.control & 1);
        const Mismatch b = Compare(*instrument_, words, 1, c.b, c.control & 1);
        // Differences are rare and only within a few hundredths of a code of a tie.
        EXPECT_LT(a.count, words.size() / 100) << "A " << a.count;
        EXPECT_LT(b.count, words.size() / 100) << "B " << b.count;
        EXPECT_LT(a.worstDistanceFromTie, 0.03);
        EXPECT_LT(b.worstDistanceFromTie, 0.03);
    }
}

TEST_F(Synthesis, CountingPatternIsExactOnEitherChannelAndAcrossTheWrap) {
    // Sample n carries A = 1 + n mod 255 and B = 1 + (n div 255) mod 255; 70,000 samples pass
    // the 65,025-sample wrap.
    for (const auto& [a, b] : {std::pair{SignalShape::Count, SignalShape::Count}, std::pair{SignalShape::Count, SignalShape::Dc},
                               std::pair{SignalShape::Sine, SignalShape::Count}}) {
        InstrumentConfig config;
        config.channels[0] = {a, 1000, 0.1, 0, 0};
        config.channels[1] = {b, 1000, 0.1, 0, 0};
        Start(config);
        const auto words = Take(70000, 4099);
        ASSERT_EQ(words.size(), 70000u);
        for (size_t n = 0; n < words.size(); ++n) {
            if (a == SignalShape::Count) {
                ASSERT_EQ(words[n] & 0xFF, 1 + n % 255) << "sample " << n;
            }
            if (b == SignalShape::Count) {
                ASSERT_EQ(words[n] >> 8, 1 + (n / 255) % 255) << "sample " << n;
            }
        }
    }
}

TEST_F(Synthesis, NoiseHasItsMeanAndSpreadAndRepeatsForASeed) {
    // 30 mV rms is about 9.6 codes at 100 mV/div: quantisation adds little to the spread.
    InstrumentConfig config;
    config.channels[0] = {SignalShape::Dc, 0, 0.0, 0, 0.030};
    config.channels[1] = {SignalShape::Noise, 0, 0.2, 0, 0};  // uniform over +-0.2 V
    config.seed = 7;
    Start(config);
    const auto words = Take(400000, 32768);
    const double zeroA = instrument_->CodeFor(0, 0.0);
    const double zeroB = instrument_->CodeFor(1, 0.0);
    const double perVolt = instrument_->CodeFor(0, 1.0) - zeroA;
    double sum[2] = {}, squares[2] = {};
    for (uint16_t w : words) {
        const double v[2] = {double(w & 0xFF) - zeroA, double(w >> 8) - zeroB};
        for (int c = 0; c < 2; ++c) {
            sum[c] += v[c];
            squares[c] += v[c] * v[c];
        }
    }
    const double n = double(words.size());
    const double rmsA = 0.030 * perVolt;
    const double rmsB = 0.2 / std::sqrt(3.0) * perVolt;
    EXPECT_NEAR(sum[0] / n, 0.0, 0.03 * rmsA);
    EXPECT_NEAR(sum[1] / n, 0.0, 0.03 * rmsB);
    EXPECT_NEAR(std::sqrt(squares[0] / n - (sum[0] / n) * (sum[0] / n)), std::sqrt(rmsA * rmsA + 1.0 / 12), 0.03 * rmsA);
    EXPECT_NEAR(std::sqrt(squares[1] / n - (sum[1] / n) * (sum[1] / n)), std::sqrt(rmsB * rmsB + 1.0 / 12), 0.03 * rmsB);
    // Gaussian tails: about 4.6 % beyond two rms, 0.27 % beyond three.
    size_t beyond2 = 0, beyond3 = 0;
    for (uint16_t w : words) {
        const double d = std::abs(double(w & 0xFF) - zeroA);
        beyond2 += d > 2 * rmsA;
        beyond3 += d > 3 * rmsA;
    }
    EXPECT_NEAR(double(beyond2) / n, 0.0455, 0.005);
    EXPECT_NEAR(double(beyond3) / n, 0.0027, 0.001);

    // The same seed gives the same stream, however it is read; another seed another.
    Start(config);
    EXPECT_EQ(Take(5000, 997), std::vector<uint16_t>(words.begin(), words.begin() + 5000));
    config.seed = 8;
    Start(config);
    EXPECT_NE(Take(5000, 1000), std::vector<uint16_t>(words.begin(), words.begin() + 5000));
}

}  // namespace
