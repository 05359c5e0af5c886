#pragma once
// Sample synthesis of the simulated front end, a block at a time: the test signals of both
// channels turned into sample words without a transcendental function per sample.
//
// Periodic shapes are read from one period tabulated for the present front-end setting and
// indexed by a 64-bit fixed-point phase (one period = 2^64), re-anchored on the exact signal
// time at every chunk, so the table step and not accumulated rounding limits the accuracy.
// Gaussian noise comes from a table of normal quantiles indexed by splitmix64 variates that
// depend only on the seed, the channel and the sample index.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/Instrument.h"

namespace rollmode::sim {

// The signal time of sample index under one rate epoch, in seconds.
struct SampleClock {
    uint64_t index = 0;  // first sample of the epoch
    double seconds = 0;  // signal time of that sample (one period later when not immediate)
    double rate = 50;
    bool immediate = true;

    double TimeOf(uint64_t n) const { return seconds + (double(n) - double(index) + (immediate ? 0 : 1)) / rate; }
};

class SampleGenerator {
public:
    SampleGenerator(const std::array<ChannelSignal, 2>& signals, uint64_t seed);

    // Sample words of samples first .. first + count - 1, timed by clock, through the front end,
    // as little-endian byte pairs (as they go on the wire).
    void Generate(uint64_t first, size_t count, const SampleClock& clock, const std::array<FrontEndSetting, 2>& fe,
                  uint8_t* bytes);

    // Phase entries per tabulated period.
    static constexpr unsigned kTableBits = 16;

private:
    enum class Kind : uint8_t { CountLow, CountHigh, Constant, Table, Levels };
    struct Channel {
        ChannelSignal signal;
        FrontEndSetting fe;
        bool prepared = false;
        Kind kind = Kind::Constant;
        bool periodic = false;  // a phase-indexed table is in use
        bool uniform = false;   // the noise shape: uniform over +-amplitude
        uint8_t constant = 128;
        uint64_t bias = 0;      // added to the phase before indexing
        float level = 0;        // code of the DC part (Levels without a table)
        float swing = 0;        // codes per unit of the uniform shape
        float noise = 0;        // Gaussian rms in codes
        std::vector<uint8_t> codes;  // Table: one period of final codes
        std::vector<float> levels;   // Levels: one period of unrounded codes, before noise
        std::vector<float> noiseCodes;  // the normal quantiles scaled to the noise in codes
        uint64_t uniformKey = 0;        // random streams of this channel
        uint64_t noiseKey = 0;
    };

    void Prepare(Channel& ch, const FrontEndSetting& fe);
    void Fill(Channel& ch, uint64_t first, size_t count, const SampleClock& clock, uint8_t* codes);
    static constexpr size_t kChunk = 4096;
    std::array<Channel, 2> channels_;
    std::array<std::array<uint8_t, kChunk>, 2> scratch_{};
    std::array<float, kChunk> levels_{};
};

}  // namespace rollmode::sim
