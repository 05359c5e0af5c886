#pragma once
// The fast word loop over a record file: reads it through one fixed buffer and splits
// it into runs of sample and not-armed words, overflow marks and settings records,
// keeping the settings in force. A run holds no word 0 or 1, so most of a file is
// handed on in long runs found 16 words at a time. Constant memory for any size.
// Faults are those of TRecordFileReader, with the same byte offsets and messages.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "RecordFileReader.h"

namespace rollmode::records {

class TWordSink {
public:
    virtual ~TWordSink() = default;
    // Sample words and not-armed words (2), in file order; valid during the call only.
    virtual void OnRun(const uint16_t* words, std::size_t count) = 0;
    virtual void OnOverflowMark(uint64_t offset) = 0;
    // A settings record, already applied to `settings`.
    virtual void OnRecord(const RecordItem& record, const RecordSettings& settings) = 0;
};

class TWordScanner {
public:
    enum class Status { Whole, Malformed, TornTail, OpenFailed };

    explicit TWordScanner(std::size_t bufferBytes = 1 << 20);
    ~TWordScanner();
    TWordScanner(const TWordScanner&) = delete;
    TWordScanner& operator=(const TWordScanner&) = delete;

    // False (with Error()) when the file cannot be opened.
    bool Open(const std::string& path);
    uint64_t FileSize() const { return fileSize_; }

    // Called after each buffer read with the bytes read so far.
    void SetProgress(std::function<void(uint64_t)> progress) { progress_ = std::move(progress); }
    // Ends Scan() after the current item (a sink that has seen all it needs).
    void Stop() { stop_ = true; }

    // Reads from the start to the end or the first fault.
    Status Scan(TWordSink& sink);

    Status Result() const { return status_; }
    const std::string& Error() const { return error_; }
    // Byte offset of the faulty item: everything before it is whole.
    uint64_t ErrorOffset() const { return errorOffset_; }
    const RecordSettings& Settings() const { return settings_; }

    // Index of the first word 0 or 1 among `count` words (`count` when none).
    static std::size_t FindRecordOrMark(const uint16_t* words, std::size_t count);

private:
    Status Fail(Status status, uint64_t offset, std::string message);
    std::size_t Fill(std::size_t keptBytes);

    int fd_ = -1;
    uint64_t fileSize_ = 0;
    std::vector<uint16_t> buffer_;
    std::function<void(uint64_t)> progress_;
    bool stop_ = false;
    RecordSettings settings_;
    Status status_ = Status::Whole;
    std::string error_;
    uint64_t errorOffset_ = 0;
};

}  // namespace rollmode::records
