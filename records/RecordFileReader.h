#pragma once
// Reads a measurement record file item by item: sample words, markers (words 1 and
// 2) and settings records, keeping the settings in force at each sample so codes
// convert to millivolts and sample instants to seconds. Streams through a fixed
// buffer: files of any size are read in constant memory. A malformed file (a
// record length outside 4..6, a length that does not fit the record code, an
// unknown code, a record or word cut off by the end of the file) stops the reading
// with the byte offset of the bad item instead of being misread.
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace rollmode::records {

// Record codes of the settings records in the stream.
namespace recordcode {
inline constexpr uint16_t kMeasurement = 1;  // measurement started (1) or stopped (0)
inline constexpr uint16_t kLevelA = 2;       // device level, zero code, reserved
inline constexpr uint16_t kLevelB = 3;
inline constexpr uint16_t kProbeA = 4;
inline constexpr uint16_t kProbeB = 5;
inline constexpr uint16_t kCouplingA = 6;    // 1 = DC
inline constexpr uint16_t kCouplingB = 7;
inline constexpr uint16_t kGroundA = 8;
inline constexpr uint16_t kGroundB = 9;
inline constexpr uint16_t kSampleRate = 10;  // samples per second, 32-bit
inline constexpr uint16_t kDeflectionA = 11; // millivolts per division, 32-bit
inline constexpr uint16_t kDeflectionB = 12;
}  // namespace recordcode

// The record length, in words, that a record code has; 0 for an unknown code.
uint16_t RecordLengthOfCode(uint16_t code);

// How many of the `count` words at the end of a record file belong to whole items,
// so that a settings record cut off by a crash can be dropped before appending.
// `fromFileStart` says the words are the whole file. Otherwise the scan starts
// after the last four words in a row above 12, which no settings record holds
// (its zero, length and code words are all at most 12 and at most three
// arguments follow the code), so the word before them cannot be inside a record.
// A malformed tail, or one without such a point, is kept whole: only a record cut
// off by the end of the file is ever dropped.
std::size_t WholeTailWords(const uint16_t* words, std::size_t count, bool fromFileStart);

// The settings in force at a point of a record file. Index 0 is channel A, 1 is B.
struct RecordSettings {
    static constexpr int kCodesPerDivision = 32;

    bool measurementStarted = false;
    std::array<uint16_t, 2> deviceLevel{};
    std::array<int32_t, 2> zeroCode{};  // sample code at 0 V (recorded as 16 bits, signed)
    std::array<int32_t, 2> probe{};
    std::array<bool, 2> dcCoupling{};
    std::array<bool, 2> ground{};
    uint32_t samplesPerSecond = 0;          // 0 until a rate record was read
    std::array<uint32_t, 2> deflection{};   // millivolts per division; 0 until recorded
    std::array<bool, 2> zeroKnown{};

    // Millivolts of an 8-bit sample code of a channel (0 = A, 1 = B):
    // (code - zero code) x deflection / 32. Zero until the channel's deflection is known.
    double Millivolts(int channel, uint8_t code) const {
        return (static_cast<double>(code) - zeroCode[channel]) * deflection[channel] / kCodesPerDivision;
    }
};

// Applies a settings record (its code and its up to three argument words) to the settings
// in force.
void ApplySettingsRecord(RecordSettings& settings, uint16_t code, const uint16_t* args);
inline void ApplySettingsRecord(RecordSettings& settings, uint16_t code, const std::array<uint16_t, 3>& args) {
    ApplySettingsRecord(settings, code, args.data());
}

struct RecordItem {
    enum class Kind : uint8_t { Sample, Marker, Settings };
    Kind kind = Kind::Sample;
    uint64_t offset = 0;  // byte offset of the item's first word
    uint16_t word = 0;    // sample or marker word
    // Settings record: length in words, code and up to three argument words.
    uint16_t length = 0;
    uint16_t code = 0;
    std::array<uint16_t, 3> args{};
    // Sample instants before this item (a sample's own index); word 2 stands for a
    // withheld sample and counts as an instant, word 1 does not.
    uint64_t instant = 0;
    // Seconds from the start of the file to this instant, at the rates in force;
    // NaN before the first rate record.
    double seconds = 0.0;

    uint8_t CodeA() const { return static_cast<uint8_t>(word & 0xFF); }
    uint8_t CodeB() const { return static_cast<uint8_t>(word >> 8); }
    uint32_t Arg32() const { return static_cast<uint32_t>(args[0]) | (static_cast<uint32_t>(args[1]) << 16); }
};

class TRecordFileReader {
public:
    explicit TRecordFileReader(std::size_t bufferBytes = 1 << 16);
    ~TRecordFileReader();
    TRecordFileReader(const TRecordFileReader&) = delete;
    TRecordFileReader& operator=(const TRecordFileReader&) = delete;

    // False (with Error()) when the file cannot be opened.
    bool Open(const std::string& path);
    void Close();

    // The next item; a settings record is applied to Settings() before it is
    // returned. False at the end of the file or on malformed data (Failed()).
    bool Next(RecordItem& item);

    const RecordSettings& Settings() const { return settings_; }
    bool Failed() const { return !error_.empty(); }
    const std::string& Error() const { return error_; }
    uint64_t ErrorOffset() const { return errorOffset_; }
    // The failure is only the end of the file cutting the last item short (a write
    // that a crash or power cut interrupted): everything before ErrorOffset() is whole.
    bool TornTail() const { return tornTail_; }
    uint64_t Offset() const { return offset_; }  // bytes consumed so far
    uint64_t Instants() const { return instants_; }
    // Seconds covered by the instants read so far (NaN before a rate record).
    double ElapsedSeconds() const { return SecondsAt(instants_); }

private:
    enum class WordRead { Ok, End, Truncated };
    WordRead ReadWord(uint16_t& word);
    bool Fail(uint64_t offset, std::string message);
    bool CutOff(uint64_t start);
    void Apply(const RecordItem& record);
    double SecondsAt(uint64_t instant) const;

    std::FILE* file_ = nullptr;
    std::vector<uint8_t> buffer_;
    std::size_t begin_ = 0, end_ = 0;
    bool eof_ = false;
    uint64_t offset_ = 0;

    RecordSettings settings_;
    uint64_t instants_ = 0;
    // Time of the rate segment that started at segmentInstant_.
    double segmentSeconds_ = 0.0;
    uint64_t segmentInstant_ = 0;

    std::string error_;
    uint64_t errorOffset_ = 0;
    bool tornTail_ = false;
};

}  // namespace rollmode::records
