#pragma once
// The demo signal of the virtual driver: two sines with a level, an amplitude and uniform
// noise each, as 8-bit codes packed into sample words (channel A low byte, B high byte).
#include <array>
#include <cstdint>

namespace rollmode::core::virtual_driver {

// Small, fast and seedable; the demo noise needs speed and repeatability, not quality.
class DemoRandom {
public:
    explicit DemoRandom(uint64_t seed = 0x9E3779B97F4A7C15ull) { Seed(seed); }
    void Seed(uint64_t seed);
    // Uniform integer 0..range-1; 0 when range is 0. Unbiased (multiply-shift with rejection).
    uint32_t Below(uint32_t range) {
        if (range == 0) return 0;
        uint64_t m = uint64_t(Next32()) * range;
        auto low = static_cast<uint32_t>(m);
        if (low < range) {
            const uint32_t threshold = (0u - range) % range;
            while (low < threshold) {
                m = uint64_t(Next32()) * range;
                low = static_cast<uint32_t>(m);
            }
        }
        return static_cast<uint32_t>(m >> 32);
    }

private:
    // xoshiro128** by Blackman and Vigna.
    uint32_t Next32() {
        const uint32_t result = Rotl(s_[1] * 5, 7) * 9;
        const uint32_t t = s_[1] << 9;
        s_[2] ^= s_[0];
        s_[3] ^= s_[1];
        s_[1] ^= s_[2];
        s_[0] ^= s_[3];
        s_[2] ^= t;
        s_[3] = Rotl(s_[3], 11);
        return result;
    }
    static uint32_t Rotl(uint32_t x, int k) { return (x << k) | (x >> (32 - k)); }
    uint32_t s_[4];
};

// One channel as prepared for one call of the generator.
struct DemoWave {
    double period = 1;      // milliseconds, at least 1
    double gain = 0;        // codes per amplitude unit
    double offset = 0;      // phase offset in samples
    double level = 0;       // (scope level + 1) div 4
    uint32_t noiseRange = 0;  // 2 × noise; 0 for none
    int64_t noise = 0;
};

// Sample by sample with two sines per sample and one serial random stream: the plain form
// of the signal, which the batch generator is held against. out receives n words.
void DemoSamplesReference(const DemoWave& a, const DemoWave& b, double samplesPerSecond, uint32_t n,
                          DemoRandom& random, uint16_t* out);

// The same signal in batches: each sine advances by rotation, several samples side by side,
// and restarts from an exact sine and cosine every kAnchorSamples so rounding cannot build
// up; the noise comes from kNoiseLanes independent streams drawn side by side. Codes equal the
// reference's except where the value before rounding lies within rounding error of a
// half-integer; the noise has the same range and distribution but not the same sequence.
class DemoSynthesizer {
public:
    static constexpr uint32_t kNoiseLanes = 16;
    static constexpr uint32_t kAnchorSamples = 2048;

    explicit DemoSynthesizer(uint64_t seed = 0x9E3779B97F4A7C15ull) { Seed(seed); }
    void Seed(uint64_t seed);
    // out receives n words; no allocation.
    void Generate(const DemoWave& a, const DemoWave& b, double samplesPerSecond, uint32_t n, uint16_t* out);

    // The copies of the generator for the instruction sets this processor runs (1 to 3, the
    // widest first, which is used unless another is chosen); for tests and measurements.
    static int InstructionSets();
    static const char* InstructionSetName(int index);
    static void UseInstructionSet(int index);

    // gain × sine for n samples, as Generate computes it before rounding (without level).
    static void ScaledSine(const DemoWave& w, double samplesPerSecond, uint32_t n, double* out);

    // Noise lanes as structure of arrays: lane j of word k is state[k][j].
    struct NoiseState {
        alignas(64) std::array<std::array<uint32_t, kNoiseLanes>, 4> s;
    };

private:
    NoiseState noise_{};
    DemoRandom spare_;  // redraws for the rare rejected values
};

}  // namespace rollmode::core::virtual_driver
