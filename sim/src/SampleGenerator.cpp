#include "SampleGenerator.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>

namespace rollmode::sim {

namespace {

constexpr size_t kTableSize = size_t{1} << SampleGenerator::kTableBits;
constexpr unsigned kIndexShift = 64 - SampleGenerator::kTableBits;
constexpr unsigned kGaussianBits = 12;

// 1, 2, .. 255: the codes of the counting pattern's channel A.
constexpr std::array<uint8_t, 255> kCountUp = [] {
    std::array<uint8_t, 255> up{};
    for (size_t i = 0; i < up.size(); ++i) up[i] = static_cast<uint8_t>(i + 1);
    return up;
}();

// Normal quantiles at the centres of 4096 equal-probability bins, scaled to unit variance:
// mean 0 by symmetry, tails to about 3.7 sigma.
const std::array<float, size_t{1} << kGaussianBits>& GaussianTable() {
    static const auto table = [] {
        constexpr size_t n = size_t{1} << kGaussianBits;
        std::array<double, n> x{};
        double q = 0;
        for (size_t i = n / 2; i < n; ++i) {
            const double p = (double(i) + 0.5) / double(n);
            // Newton's method on the normal distribution function, from the previous quantile.
            for (int k = 0; k < 8; ++k) {
                const double cdf = 0.5 * std::erfc(-q / std::numbers::sqrt2);
                const double pdf = std::exp(-0.5 * q * q) / std::sqrt(2 * std::numbers::pi);
                q -= (cdf - p) / pdf;
            }
            x[i] = q;
            x[n - 1 - i] = -q;
        }
        double sumSquares = 0;
        for (double v : x) sumSquares += v * v;
        const double scale = 1.0 / std::sqrt(sumSquares / double(n));
        std::array<float, n> values{};
        for (size_t i = 0; i < n; ++i) values[i] = static_cast<float>(x[i] * scale);
        return values;
    }();
    return table;
}

// A fraction of a period as a 64-bit fixed-point phase.
uint64_t Phase(double cycles) {
    const double fraction = cycles - std::floor(cycles);
    // Not finite (an infinite or NaN frequency): phase 0.
    return fraction >= 0.0 && fraction < 1.0 ? static_cast<uint64_t>(std::ldexp(fraction, 64)) : 0;
}

// The code for an unrounded code value: to nearest (ties to even), within 1..255; NaN gives 1.
uint8_t FinalCode(double x) {
    if (!(x > 1.0)) return 1;
    return static_cast<uint8_t>(std::min(std::nearbyint(x), 255.0));
}

bool Periodic(SignalShape shape) {
    return shape == SignalShape::Sine || shape == SignalShape::Square || shape == SignalShape::Ramp;
}

double ShapeAt(SignalShape shape, double phase) {
    switch (shape) {
        case SignalShape::Sine: return std::sin(2 * std::numbers::pi * phase);
        case SignalShape::Square: return phase < 0.5 ? 1.0 : -1.0;
        case SignalShape::Ramp: return 2 * phase - 1;
        case SignalShape::Dc: return 1.0;
        case SignalShape::Noise:
        case SignalShape::Count: break;
    }
    return 0.0;
}

// splitmix64 at position k of the stream key: random access, so a sample's variates depend on
// the seed, the channel and its index only, not on how the stream was read.
inline uint64_t Variates(uint64_t key, uint64_t k) {
    uint64_t z = key + (k + 1) * 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

struct LevelSource {
    const float* table = nullptr;  // one period, or none for a constant level
    uint64_t step = 0;
    uint64_t phase = 0;
    float level = 0;
    float scale = 0;  // uniform shape: codes per unit of a 16-bit variate
    float start = 0;  // and the code of variate 0
    const float* noise = nullptr;  // Gaussian noise in codes, one value per 12-bit variate
    uint64_t uniformKey = 0;
    uint64_t noiseKey = 0;
};

// Unrounded codes of samples first.. : the level (tabulated or constant), plus the uniform
// shape, plus Gaussian noise. One 64-bit draw gives the four 16-bit variates of the samples
// 4k .. 4k + 3.
template <bool kTable, bool kUniform, bool kNoise>
void Levels(LevelSource& s, uint64_t first, float* x, size_t count) {
    constexpr uint32_t kMask = (1u << kGaussianBits) - 1;
    const auto one = [&](size_t i, uint64_t u, uint64_t g, unsigned lane) {
        float v;
        if constexpr (kTable) {
            v = s.table[s.phase >> kIndexShift];
            s.phase += s.step;
        } else {
            v = s.level;
        }
        if constexpr (kUniform) v += float(static_cast<uint32_t>(u >> (16 * lane)) & 0xFFFF) * s.scale + s.start;
        if constexpr (kNoise) v += s.noise[static_cast<uint32_t>(g >> (16 * lane)) & kMask];
        x[i] = v;
    };
    const auto draws = [&](uint64_t n) {
        return std::pair{kUniform ? Variates(s.uniformKey, n >> 2) : 0, kNoise ? Variates(s.noiseKey, n >> 2) : 0};
    };
    size_t i = 0;
    // Up to the next whole group of four, then whole groups, then the rest.
    for (; i < count && ((first + i) & 3) != 0; ++i) {
        const auto [u, g] = draws(first + i);
        one(i, u, g, unsigned((first + i) & 3));
    }
    for (; i + 4 <= count; i += 4) {
        const auto [u, g] = draws(first + i);
        one(i, u, g, 0);
        one(i + 1, u, g, 1);
        one(i + 2, u, g, 2);
        one(i + 3, u, g, 3);
    }
    for (; i < count; ++i) {
        const auto [u, g] = draws(first + i);
        one(i, u, g, unsigned((first + i) & 3));
    }
}

}  // namespace

SampleGenerator::SampleGenerator(const std::array<ChannelSignal, 2>& signals, uint64_t seed) {
    for (int c = 0; c < 2; ++c) {
        channels_[c].signal = signals[c];
        // Independent streams per channel and use.
        channels_[c].uniformKey = Variates(seed, 4 * uint64_t(c) + 1);
        channels_[c].noiseKey = Variates(seed, 4 * uint64_t(c) + 2);
        if (signals[c].shape == SignalShape::Count) {
            channels_[c].kind = c == 0 ? Kind::CountLow : Kind::CountHigh;
            channels_[c].prepared = true;
        }
    }
    GaussianTable();
}

void SampleGenerator::Prepare(Channel& ch, const FrontEndSetting& fe) {
    if (ch.prepared && (ch.kind == Kind::CountLow || ch.kind == Kind::CountHigh || ch.fe == fe)) return;
    ch.prepared = true;
    ch.fe = fe;
    ch.codes.clear();
    ch.levels.clear();
    if (!fe.connected) {
        ch.kind = Kind::Constant;
        ch.constant = 128;
        return;
    }
    const ChannelSignal& s = ch.signal;
    const double removed = fe.ac ? s.offset + (s.shape == SignalShape::Dc ? s.amplitude : 0.0) : 0.0;
    const auto unrounded = [&](double shape) { return fe.zero + (s.amplitude * shape + s.offset - removed) * 1000.0 / fe.mvPerCode; };
    const double codesPerVolt = 1000.0 / fe.mvPerCode;
    ch.periodic = Periodic(s.shape) && s.frequency > 0;
    ch.uniform = s.shape == SignalShape::Noise;
    ch.noise = s.noise > 0 ? static_cast<float>(s.noise * codesPerVolt) : 0.0f;
    ch.noiseCodes.clear();
    if (ch.noise > 0) {
        for (float g : GaussianTable()) ch.noiseCodes.push_back(g * ch.noise);
    }
    // A sine is tabulated at the start of each phase step and read to the nearest one; a square
    // or ramp at the middle of each step and read by truncation, which keeps a square's edges
    // exactly at half and whole periods.
    const bool centred = s.shape != SignalShape::Sine;
    ch.bias = centred ? 0 : uint64_t{1} << (kIndexShift - 1);
    const auto phaseOf = [&](size_t j) { return (double(j) + (centred ? 0.5 : 0.0)) / double(kTableSize); };

    if (ch.noise == 0 && !ch.uniform) {
        if (!ch.periodic) {
            ch.kind = Kind::Constant;
            ch.constant = FinalCode(unrounded(ShapeAt(s.shape, 0.0)));
            return;
        }
        ch.kind = Kind::Table;
        ch.codes.resize(kTableSize);
        for (size_t j = 0; j < kTableSize; ++j) ch.codes[j] = FinalCode(unrounded(ShapeAt(s.shape, phaseOf(j))));
        return;
    }
    ch.kind = Kind::Levels;
    if (ch.uniform) {
        ch.level = static_cast<float>(unrounded(0.0));
        ch.swing = static_cast<float>(s.amplitude * codesPerVolt);
    } else if (!ch.periodic) {
        ch.level = static_cast<float>(unrounded(ShapeAt(s.shape, 0.0)));
        ch.swing = 0;
    } else {
        ch.levels.resize(kTableSize);
        for (size_t j = 0; j < kTableSize; ++j) ch.levels[j] = static_cast<float>(unrounded(ShapeAt(s.shape, phaseOf(j))));
    }
}

void SampleGenerator::Fill(Channel& ch, uint64_t first, size_t count, const SampleClock& clock, uint8_t* codes) {
    const double frequency = ch.signal.frequency;
    switch (ch.kind) {
        case Kind::CountLow: {
            uint32_t a = static_cast<uint32_t>(first % 255);
            for (size_t i = 0; i < count;) {
                const size_t run = std::min<size_t>(count - i, 255 - a);
                std::memcpy(codes + i, kCountUp.data() + a, run);
                i += run;
                a = 0;
            }
            return;
        }
        case Kind::CountHigh: {
            uint32_t a = static_cast<uint32_t>(first % 255);
            uint32_t b = static_cast<uint32_t>((first / 255) % 255);
            for (size_t i = 0; i < count;) {
                const size_t run = std::min<size_t>(count - i, 255 - a);
                std::memset(codes + i, static_cast<int>(b + 1), run);
                i += run;
                a = 0;
                b = b == 254 ? 0 : b + 1;
            }
            return;
        }
        case Kind::Constant: std::memset(codes, ch.constant, count); return;
        case Kind::Table: {
            const uint8_t* table = ch.codes.data();
            const uint64_t step = Phase(frequency / clock.rate);
            uint64_t p = Phase(clock.TimeOf(first) * frequency) + ch.bias;
            if (ch.signal.shape == SignalShape::Square && step < uint64_t{1} << 56) {
                // At least 128 samples a half period: whole runs of one level.
                constexpr uint64_t kHalf = uint64_t{1} << 63;
                for (size_t i = 0; i < count;) {
                    const uint64_t toEdge = kHalf - (p & (kHalf - 1));
                    const uint64_t before = step ? (toEdge + step - 1) / step : count;
                    const size_t run = static_cast<size_t>(std::min<uint64_t>(count - i, before));
                    std::memset(codes + i, table[p >> kIndexShift], run);
                    p += run * step;
                    i += run;
                }
                return;
            }
            for (size_t i = 0; i < count; ++i, p += step) codes[i] = table[p >> kIndexShift];
            return;
        }
        case Kind::Levels: break;
    }

    float* x = levels_.data();
    LevelSource source;
    source.table = ch.periodic ? ch.levels.data() : nullptr;
    source.step = ch.periodic ? Phase(frequency / clock.rate) : 0;
    source.phase = ch.periodic ? Phase(clock.TimeOf(first) * frequency) + ch.bias : 0;
    source.level = ch.level;
    source.scale = ch.swing * (2.0f / 65536.0f);
    source.start = ch.swing * (1.0f / 65536.0f - 1.0f);
    source.noise = ch.noiseCodes.data();
    source.uniformKey = ch.uniformKey;
    source.noiseKey = ch.noiseKey;
    if (ch.uniform) {
        if (ch.noise > 0) Levels<false, true, true>(source, first, x, count);
        else Levels<false, true, false>(source, first, x, count);
    } else if (ch.periodic) {
        Levels<true, false, true>(source, first, x, count);  // noisy, or it would be a code table
    } else {
        Levels<false, false, true>(source, first, x, count);
    }
    for (size_t i = 0; i < count; ++i) {
        float v = x[i] > 1.0f ? x[i] : 1.0f;  // also takes a NaN to 1
        v = v < 255.0f ? v : 255.0f;
        // Adding and removing 2^23 rounds to the nearest integer, ties to even, as nearbyint does.
        v = (v + 0x1p23f) - 0x1p23f;
        codes[i] = static_cast<uint8_t>(static_cast<int32_t>(v));
    }
}

void SampleGenerator::Generate(uint64_t first, size_t count, const SampleClock& clock,
                               const std::array<FrontEndSetting, 2>& fe, uint8_t* bytes) {
    if (channels_[0].kind == Kind::CountLow && channels_[1].kind == Kind::CountHigh) {
        // Both channels count: channel A climbs by one within runs of equal channel B.
        uint32_t a = static_cast<uint32_t>(first % 255);
        uint32_t b = static_cast<uint32_t>((first / 255) % 255);
        for (size_t i = 0; i < count;) {
            const size_t run = std::min<size_t>(count - i, 255 - a);
            const uint8_t high = static_cast<uint8_t>(b + 1);
            const uint8_t* low = kCountUp.data() + a;
            uint8_t* out = bytes + 2 * i;
            for (size_t j = 0; j < run; ++j) {
                out[2 * j] = low[j];
                out[2 * j + 1] = high;
            }
            i += run;
            a = 0;
            b = b == 254 ? 0 : b + 1;
        }
        return;
    }
    Prepare(channels_[0], fe[0]);
    Prepare(channels_[1], fe[1]);
    for (size_t done = 0; done < count;) {
        const size_t n = std::min(kChunk, count - done);
        Fill(channels_[0], first + done, n, clock, scratch_[0].data());
        Fill(channels_[1], first + done, n, clock, scratch_[1].data());
        const uint8_t* a = scratch_[0].data();
        const uint8_t* b = scratch_[1].data();
        uint8_t* out = bytes + 2 * done;
        for (size_t i = 0; i < n; ++i) {
            out[2 * i] = a[i];
            out[2 * i + 1] = b[i];
        }
        done += n;
    }
}

}  // namespace rollmode::sim
