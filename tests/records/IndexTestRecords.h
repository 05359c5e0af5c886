#pragma once
// Random record files for the index tests, and the truth about them taken from the
// record reader: every instant with its codes and millivolts.
#include <cmath>
#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "RecordFileReader.h"
#include "RecordIndex.h"

namespace rollmode::records::testing {

inline void WriteWords(const std::string& path, const std::vector<uint16_t>& words, bool append = false) {
    std::ofstream out(path, std::ios::binary | (append ? std::ios::app : std::ios::trunc));
    out.write(reinterpret_cast<const char*>(words.data()), static_cast<std::streamsize>(words.size() * 2));
}

inline void Record(std::vector<uint16_t>& w, uint16_t code, uint32_t value, uint16_t second = 0) {
    const uint16_t length = RecordLengthOfCode(code);
    w.insert(w.end(), {0, length, code});
    if (length == 4) w.push_back(static_cast<uint16_t>(value));
    if (length == 5) w.insert(w.end(), {static_cast<uint16_t>(value), static_cast<uint16_t>(value >> 16)});
    if (length == 6) w.insert(w.end(), {static_cast<uint16_t>(value), second, 0});
}

inline void Snapshot(std::vector<uint16_t>& w, std::mt19937& rng) {
    Record(w, 1, 1);
    for (uint16_t code = 2; code <= 12; ++code) {
        const uint32_t defl[] = {10, 20, 50, 100, 200, 500, 1000};
        if (code == 2 || code == 3) Record(w, code, 2000, static_cast<uint16_t>(static_cast<int16_t>(rng() % 300) - 20));
        else if (code == 10) Record(w, code, 1000u * (1 + rng() % 50));
        else if (code >= 11) Record(w, code, defl[rng() % 7]);
        else Record(w, code, rng() % 2);
    }
}

// Samples (random walks), not-armed runs, overflow marks, settings changes of every
// kind and measurement starts and stops, in random order.
inline std::vector<uint16_t> RandomRecord(uint32_t seed, std::size_t instants, bool startWithSnapshot = true) {
    std::mt19937 rng(seed);
    std::vector<uint16_t> w;
    if (startWithSnapshot) Snapshot(w, rng);
    int a = 128, b = 128;
    std::size_t made = 0;
    while (made < instants) {
        const unsigned pick = rng() % 100;
        if (pick < 3) {
            w.push_back(1);
        } else if (pick < 6) {
            const std::size_t run = 1 + rng() % 700;
            for (std::size_t i = 0; i < run && made < instants; ++i, ++made) w.push_back(2);
        } else if (pick < 12) {
            const uint16_t code = static_cast<uint16_t>(2 + rng() % 11);
            const uint32_t defl[] = {10, 20, 50, 100, 200, 500, 1000};
            if (code == 2 || code == 3) Record(w, code, 1000, static_cast<uint16_t>(static_cast<int16_t>(rng() % 300) - 20));
            else if (code == 10) Record(w, code, 1000u * (1 + rng() % 50));
            else if (code >= 11) Record(w, code, defl[rng() % 7]);
            else Record(w, code, rng() % 3);
        } else if (pick < 13) {
            Record(w, 1, 0);
            if (rng() % 2 == 0) Snapshot(w, rng);
        } else {
            const std::size_t run = 1 + rng() % (pick < 50 ? 300 : 6000);
            const int step = 1 + static_cast<int>(rng() % 8);
            for (std::size_t i = 0; i < run && made < instants; ++i, ++made) {
                a = std::clamp(a + static_cast<int>(rng() % (2 * step + 1)) - step, 0, 255);
                b = std::clamp(b + static_cast<int>(rng() % (2 * step + 1)) - step, 0, 255);
                const auto word = static_cast<uint16_t>(a | (b << 8));
                w.push_back(word < 3 ? 3 : word);
            }
        }
    }
    return w;
}

struct TruthInstant {
    uint16_t word = 0;  // 2 for not armed
    double mv[2] = {0, 0};
    bool valid[2] = {false, false};
};

inline std::vector<TruthInstant> ReadTruth(const std::string& path) {
    std::vector<TruthInstant> out;
    TRecordFileReader reader;
    if (!reader.Open(path)) return out;
    RecordItem item;
    while (reader.Next(item)) {
        if (item.kind == RecordItem::Kind::Settings || item.word == 1) continue;
        TruthInstant t;
        t.word = item.word;
        for (int ch = 0; ch < 2 && item.word != 2; ++ch) {
            t.valid[ch] = reader.Settings().deflection[ch] != 0;
            t.mv[ch] = reader.Settings().Millivolts(ch, ch == 0 ? item.CodeA() : item.CodeB());
        }
        out.push_back(t);
    }
    return out;
}

inline void BruteExtremes(const std::vector<TruthInstant>& truth, uint64_t a, uint64_t b, MinMaxMv out[2]) {
    out[0] = out[1] = MinMaxMv{};
    for (uint64_t i = a; i < b && i < truth.size(); ++i) {
        for (int ch = 0; ch < 2; ++ch) {
            if (!truth[i].valid[ch]) continue;
            const auto v = static_cast<float>(truth[i].mv[ch]);
            if (!out[ch].valid) out[ch] = MinMaxMv{v, v, true};
            out[ch].min = std::min(out[ch].min, v);
            out[ch].max = std::max(out[ch].max, v);
        }
    }
}

}  // namespace rollmode::records::testing
