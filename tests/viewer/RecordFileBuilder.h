#pragma once
// Writes measurement record files for the viewer tests: measurements with their
// settings snapshot, sample words, markers and settings changes, as the program's
// acquisition thread puts them into the stream.
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace rollmode::viewer::testing {

class TRecordFileBuilder {
public:
    // Record 1 (started) and the snapshot of codes 2 to 12.
    TRecordFileBuilder& Start(uint32_t rate, uint32_t deflectionA = 1000, uint32_t deflectionB = 1000,
                              int16_t zeroA = 128, int16_t zeroB = 128) {
        Record(1, 1);
        Level(2, zeroA);
        Level(3, zeroB);
        Record(4, 1);
        Record(5, 1);
        Record(6, 1);
        Record(7, 1);
        Record(8, 0);
        Record(9, 0);
        Record32(10, rate);
        Record32(11, deflectionA);
        Record32(12, deflectionB);
        return *this;
    }
    TRecordFileBuilder& Stop() { return Record(1, 0); }
    TRecordFileBuilder& Sample(uint8_t a, uint8_t b) {
        words_.push_back(static_cast<uint16_t>(a | (b << 8)));
        return *this;
    }
    // `count` samples, channel A a rising ramp, B falling (codes kept away from 0..2,
    // which would read as markers).
    TRecordFileBuilder& Ramp(int count) {
        for (int i = 0; i < count; ++i) Sample(static_cast<uint8_t>(16 + i % 200), static_cast<uint8_t>(216 - i % 200));
        return *this;
    }
    TRecordFileBuilder& Overflow() {
        words_.push_back(1);
        return *this;
    }
    TRecordFileBuilder& NotArmed(int count) {
        words_.insert(words_.end(), static_cast<std::size_t>(count), 2);
        return *this;
    }
    TRecordFileBuilder& Record(uint16_t code, uint16_t value) {
        words_.insert(words_.end(), {0, 4, code, value});
        return *this;
    }
    TRecordFileBuilder& Record32(uint16_t code, uint32_t value) {
        words_.insert(words_.end(), {0, 5, code, static_cast<uint16_t>(value & 0xFFFF), static_cast<uint16_t>(value >> 16)});
        return *this;
    }
    TRecordFileBuilder& Level(uint16_t code, int16_t zero) {
        words_.insert(words_.end(), {0, 6, code, 2000, static_cast<uint16_t>(zero), 0});
        return *this;
    }
    // Raw words, e.g. a malformed record.
    TRecordFileBuilder& Words(std::initializer_list<uint16_t> words) {
        words_.insert(words_.end(), words);
        return *this;
    }

    std::size_t Bytes() const { return words_.size() * 2; }
    const std::vector<uint16_t>& Data() const { return words_; }

    void WriteTo(const std::string& path) const { Write(path, std::ios::trunc, 0); }
    // Appends the words from `fromWord` on.
    void AppendTo(const std::string& path, std::size_t fromWord) const { Write(path, std::ios::app, fromWord); }

private:
    void Write(const std::string& path, std::ios::openmode mode, std::size_t fromWord) const {
        std::ofstream out(path, std::ios::binary | mode);
        for (std::size_t i = fromWord; i < words_.size(); ++i) {
            out.put(static_cast<char>(words_[i] & 0xFF));
            out.put(static_cast<char>(words_[i] >> 8));
        }
    }

    std::vector<uint16_t> words_;
};

}  // namespace rollmode::viewer::testing
