#pragma once
// Writes record files for the tests and keeps, beside the words, what each sample
// instant means, worked out on its own terms (exact integer time, millivolts from the
// settings it set), so exports are checked against an independent reading.
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace rollmode::testing {

struct TExpectedInstant {
    uint32_t measurement = 0;
    bool timed = false;
    uint64_t ns = 0;         // since the measurement's start, rounded to nearest
    uint16_t word = 0;       // 2 for a not-armed instant
    std::array<bool, 2> known{};
    std::array<double, 2> mv{};
    std::array<int32_t, 2> zero{};
    std::array<uint32_t, 2> deflection{};
    uint32_t rate = 0;
    uint32_t segment = 0;     // stretch of constant settings without overflow marks
    uint32_t wavSegment = 0;  // stretch of constant rate without overflow marks
};

class TRecordFileBuilder {
public:
    std::vector<uint16_t> words;
    std::vector<TExpectedInstant> instants;
    uint32_t overflowMarks = 0;

    void Record4(uint16_t code, uint16_t arg) {
        words.insert(words.end(), {0, 4, code, arg});
        ++segment_;
    }
    void Record5(uint16_t code, uint32_t arg) {
        ++segment_;
        words.insert(words.end(), {0, 5, code, static_cast<uint16_t>(arg & 0xFFFF), static_cast<uint16_t>(arg >> 16)});
    }
    void Level(int ch, uint16_t level, int16_t zero) {
        words.insert(words.end(), {0, 6, static_cast<uint16_t>(2 + ch), level, static_cast<uint16_t>(zero), 0});
        ++segment_;
        zero_[ch] = zero;
        zeroKnown_[ch] = true;
    }
    void Deflection(int ch, uint32_t mvPerDivision) {
        Record5(static_cast<uint16_t>(11 + ch), mvPerDivision);
        deflection_[ch] = mvPerDivision;
    }
    // Chosen where the time so far is a whole number of picoseconds.
    void Rate(uint32_t samplesPerSecond) {
        Record5(10, samplesPerSecond);
        if (rate_ != 0) startPs_ += k_ * 1'000'000'000'000ULL / rate_;
        k_ = 0;
        rate_ = samplesPerSecond;
        ++wavSegment_;
    }
    // Start record and the snapshot of codes 2..12 the acquisition writes with it.
    void Start(uint32_t rate, std::array<int16_t, 2> zero, std::array<uint32_t, 2> deflection) {
        Record4(1, 1);
        ++measurement_;
        startPs_ = 0;
        k_ = 0;
        Level(0, 2000, zero[0]);
        Level(1, 2100, zero[1]);
        for (uint16_t code = 4; code <= 9; ++code) Record4(code, 1);
        Rate(rate);
        Deflection(0, deflection[0]);
        Deflection(1, deflection[1]);
    }
    void Stop() { Record4(1, 0); }
    void Overflow() {
        words.push_back(1);
        ++overflowMarks;
        ++segment_;
        ++wavSegment_;
    }
    void NotArmed(std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) Instant(2);
    }
    // The counting pattern: A counts through every code, B through 1..255.
    void Samples(std::size_t n) {
        for (std::size_t i = 0; i < n; ++i, ++counter_)
            Instant(static_cast<uint16_t>((counter_ & 0xFF) | ((1 + counter_ % 255) << 8)));
    }

    std::vector<TExpectedInstant> SampleRows() const {
        std::vector<TExpectedInstant> rows;
        for (const auto& e : instants)
            if (e.word != 2) rows.push_back(e);
        return rows;
    }

    void Write(const std::string& path, const std::vector<uint8_t>& tail = {}) const {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(words.data()), static_cast<std::streamsize>(2 * words.size()));
        out.write(reinterpret_cast<const char*>(tail.data()), static_cast<std::streamsize>(tail.size()));
    }

    // The CSV line of a sample row, formatted with printf's exact rounding.
    static std::string CsvLine(const TExpectedInstant& e) {
        char line[128];
        int n = std::snprintf(line, sizeof line, "%u,", e.measurement);
        if (e.timed)
            n += std::snprintf(line + n, sizeof line - n, "%llu.%09llu", static_cast<unsigned long long>(e.ns / 1000000000),
                               static_cast<unsigned long long>(e.ns % 1000000000));
        for (int ch = 0; ch < 2; ++ch) {
            n += std::snprintf(line + n, sizeof line - n, ",");
            if (e.known[ch]) n += std::snprintf(line + n, sizeof line - n, "%.3f", e.mv[ch]);
        }
        return line;
    }

private:
    void Instant(uint16_t word) {
        TExpectedInstant e;
        e.measurement = measurement_;
        e.word = word;
        e.rate = rate_;
        e.timed = rate_ != 0;
        e.segment = segment_;
        e.wavSegment = wavSegment_;
        if (e.timed) {
            // startPs_ + k / rate, in nanoseconds rounded half up, by integer arithmetic.
            const unsigned __int128 num = static_cast<unsigned __int128>(startPs_) * rate_ + static_cast<unsigned __int128>(k_) * 1'000'000'000'000ULL;
            const unsigned __int128 den = static_cast<unsigned __int128>(rate_) * 1000;
            e.ns = static_cast<uint64_t>((2 * num + den) / (2 * den));
        }
        for (int ch = 0; ch < 2; ++ch) {
            e.known[ch] = zeroKnown_[ch] && deflection_[ch] != 0;
            e.zero[ch] = zero_[ch];
            e.deflection[ch] = deflection_[ch];
            const int code = ch == 0 ? (word & 0xFF) : (word >> 8);
            e.mv[ch] = (code - zero_[ch]) * static_cast<double>(deflection_[ch]) / 32.0;
        }
        words.push_back(word);
        instants.push_back(e);
        ++k_;
    }

    uint32_t measurement_ = 0;
    uint32_t rate_ = 0;
    uint64_t startPs_ = 0, k_ = 0;
    uint64_t counter_ = 0;
    uint32_t segment_ = 0, wavSegment_ = 0;
    std::array<int32_t, 2> zero_{};
    std::array<bool, 2> zeroKnown_{};
    std::array<uint32_t, 2> deflection_{};
};

// A recording with every feature the exports must get right: samples before the
// first measurement (no settings yet), two measurements, a deflection, a level and
// two rate changes (one to a rate whose period is not a whole number of ns), both
// markers and a stop record.
inline TRecordFileBuilder StandardRecording() {
    TRecordFileBuilder b;
    b.Samples(5);  // measurement 0: values unknown
    b.Start(1000, {128, -20}, {1000, 500});
    b.Samples(700);
    b.Overflow();
    b.Samples(300);
    b.NotArmed(7);
    b.Samples(993);  // 2000 instants: 2 s
    b.Deflection(0, 200);
    b.Samples(50);
    b.Level(1, 1800, 40);
    b.Samples(250);  // 2.3 s
    b.Rate(3);       // periods of 333333333.3 ns
    b.Samples(10);
    b.NotArmed(2);
    b.Samples(3);    // 5 s after the change
    b.Rate(5000);
    b.Samples(400);
    b.Stop();
    b.Samples(20);   // after the stop, still measurement 1
    b.Start(2000, {100, 100}, {50, 20000});
    b.Samples(1000);
    b.Overflow();
    b.Overflow();
    b.Samples(600);
    b.Stop();
    return b;
}

}  // namespace rollmode::testing
