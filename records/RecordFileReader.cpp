#include "RecordFileReader.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

namespace rollmode::records {

uint16_t RecordLengthOfCode(uint16_t code) {
    using namespace recordcode;
    switch (code) {
        case kMeasurement:
        case kProbeA:
        case kProbeB:
        case kCouplingA:
        case kCouplingB:
        case kGroundA:
        case kGroundB:
            return 4;
        case kSampleRate:
        case kDeflectionA:
        case kDeflectionB:
            return 5;
        case kLevelA:
        case kLevelB:
            return 6;
        default:
            return 0;
    }
}

std::size_t WholeTailWords(const uint16_t* words, std::size_t count, bool fromFileStart) {
    constexpr uint16_t kHighestRecordWord = 12;  // zero, length 4..6 and code 1..12
    std::size_t pos = 0;
    if (!fromFileStart) {
        std::size_t run = 0;
        std::size_t i = count;
        while (i > 0 && run < 4) {
            --i;
            run = words[i] > kHighestRecordWord ? run + 1 : 0;
        }
        if (run < 4) return count;  // no point known to lie between items
        pos = i + 4;                // words[i + 3] is a sample: an item ends after it
    }
    while (pos < count) {
        if (words[pos] != 0) {
            ++pos;
            continue;
        }
        if (pos + 1 >= count) return pos;
        const uint16_t length = words[pos + 1];
        if (length < 4 || length > 6) return count;
        if (pos + 2 >= count) return pos;
        if (RecordLengthOfCode(words[pos + 2]) != length) return count;
        if (pos + length > count) return pos;
        pos += length;
    }
    return count;
}

TRecordFileReader::TRecordFileReader(std::size_t bufferBytes) : buffer_(bufferBytes < 16 ? 16 : bufferBytes) {}

TRecordFileReader::~TRecordFileReader() { Close(); }

bool TRecordFileReader::Open(const std::string& path) {
    Close();
    begin_ = end_ = 0;
    eof_ = false;
    offset_ = 0;
    settings_ = RecordSettings{};
    instants_ = 0;
    segmentSeconds_ = 0.0;
    segmentInstant_ = 0;
    error_.clear();
    errorOffset_ = 0;
    tornTail_ = false;
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) return Fail(0, "cannot open " + path + ": " + std::strerror(errno));
    return true;
}

void TRecordFileReader::Close() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
}

bool TRecordFileReader::Fail(uint64_t offset, std::string message) {
    error_ = std::move(message);
    errorOffset_ = offset;
    return false;
}

TRecordFileReader::WordRead TRecordFileReader::ReadWord(uint16_t& word) {
    if (end_ - begin_ < 2 && !eof_ && file_ != nullptr) {
        // Keep a stray byte at the front and fill up behind it.
        const std::size_t kept = end_ - begin_;
        if (kept > 0) std::memmove(buffer_.data(), buffer_.data() + begin_, kept);
        begin_ = 0;
        end_ = kept;
        while (end_ < buffer_.size() && !eof_) {
            const std::size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
            end_ += got;
            if (got == 0) eof_ = true;
        }
    }
    const std::size_t available = end_ - begin_;
    if (available == 0) return WordRead::End;
    if (available == 1) return WordRead::Truncated;
    word = static_cast<uint16_t>(buffer_[begin_] | (buffer_[begin_ + 1] << 8));
    begin_ += 2;
    offset_ += 2;
    return WordRead::Ok;
}

double TRecordFileReader::SecondsAt(uint64_t instant) const {
    if (settings_.samplesPerSecond == 0) return std::numeric_limits<double>::quiet_NaN();
    return segmentSeconds_ + static_cast<double>(instant - segmentInstant_) / settings_.samplesPerSecond;
}

void ApplySettingsRecord(RecordSettings& s, uint16_t code, const uint16_t* args) {
    using namespace recordcode;
    const int ch = (code % 2 == 0) ? 0 : 1;  // A has the even codes 2..8, B the odd ones
    const uint32_t arg32 = static_cast<uint32_t>(args[0]) | (static_cast<uint32_t>(args[1]) << 16);
    switch (code) {
        case kMeasurement:
            s.measurementStarted = args[0] != 0;
            break;
        case kLevelA:
        case kLevelB:
            s.deviceLevel[ch] = args[0];
            s.zeroCode[ch] = static_cast<int16_t>(args[1]);
            s.zeroKnown[ch] = true;
            break;
        case kProbeA:
        case kProbeB:
            s.probe[ch] = static_cast<int16_t>(args[0]);
            break;
        case kCouplingA:
        case kCouplingB:
            s.dcCoupling[ch] = args[0] != 0;
            break;
        case kGroundA:
        case kGroundB:
            s.ground[ch] = args[0] != 0;
            break;
        case kSampleRate:
            s.samplesPerSecond = arg32;
            break;
        case kDeflectionA:
            s.deflection[0] = arg32;
            break;
        case kDeflectionB:
            s.deflection[1] = arg32;
            break;
        default:
            break;
    }
}

void TRecordFileReader::Apply(const RecordItem& r) {
    if (r.code == recordcode::kSampleRate) {
        // The new rate counts from here; the time up to here stays.
        if (settings_.samplesPerSecond != 0) segmentSeconds_ = SecondsAt(instants_);
        segmentInstant_ = instants_;
    }
    ApplySettingsRecord(settings_, r.code, r.args);
}

bool TRecordFileReader::CutOff(uint64_t start) {
    tornTail_ = true;
    return Fail(start, "settings record cut off by the end of the file");
}

bool TRecordFileReader::Next(RecordItem& item) {
    if (Failed() || file_ == nullptr) return false;
    const uint64_t start = offset_;
    uint16_t word = 0;
    switch (ReadWord(word)) {
        case WordRead::End:
            return false;
        case WordRead::Truncated:
            {
            tornTail_ = true;
            return Fail(start, "truncated word (odd file size)");
        }
        case WordRead::Ok:
            break;
    }
    item.offset = start;
    item.instant = instants_;
    item.seconds = SecondsAt(instants_);
    if (word != 0) {
        item.word = word;
        item.kind = word <= 2 ? RecordItem::Kind::Marker : RecordItem::Kind::Sample;
        if (word != 1) ++instants_;  // word 2 stands for a withheld sample
        return true;
    }
    // A settings record: length, code, arguments.
    uint16_t length = 0, code = 0;
    if (ReadWord(length) != WordRead::Ok) return CutOff(start);
    if (length < 4 || length > 6)
        return Fail(start, "settings record length " + std::to_string(length) + " outside 4..6");
    if (ReadWord(code) != WordRead::Ok) return CutOff(start);
    const uint16_t expected = RecordLengthOfCode(code);
    if (expected == 0) return Fail(start, "unknown settings record code " + std::to_string(code));
    if (expected != length)
        return Fail(start, "settings record code " + std::to_string(code) + " with length " +
                               std::to_string(length) + " instead of " + std::to_string(expected));
    item.kind = RecordItem::Kind::Settings;
    item.word = 0;
    item.length = length;
    item.code = code;
    item.args = {};
    for (uint16_t i = 0; i + 3 < length; ++i)
        if (ReadWord(item.args[i]) != WordRead::Ok)
            return CutOff(start);
    Apply(item);
    return true;
}

}  // namespace rollmode::records
