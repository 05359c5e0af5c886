#pragma once
// Turns record words into index entries: level buckets, offset-table checkpoints and the
// events and not-armed stretches for the lists. Consumes whole items only, so a caller
// can feed the file in chunks of any size and re-read from Offset() after a chunk that
// ended inside a settings record.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "IndexFormat.h"
#include "RecordFileReader.h"

namespace rollmode::records {

class TIndexStore;

class TIndexBuilder {
public:
    enum class Stop { None, NeedMore, Malformed };

    // Starts at the beginning of a record.
    void Reset(TIndexStore* store);
    // Continues an index whose stored levels end at `instants` (a multiple of 256) and
    // whose items end at byte `offset`, with `settings` in force there.
    void Resume(TIndexStore* store, uint64_t instants, uint64_t offset, const RecordSettings& settings);
    // Writes into `store` from now on (a larger copy of the previous one).
    void SetStore(TIndexStore* store) { store_ = store; }

    // Parses the whole items among `count` words that start at byte Offset(). Returns the
    // words consumed; Stopped() says why it stopped early.
    std::size_t Parse(const uint16_t* words, std::size_t count);

    Stop Stopped() const { return stop_; }
    const std::string& Message() const { return message_; }
    uint64_t Offset() const { return offset_; }
    uint64_t Instants() const { return instants_; }
    uint64_t ResumeOffset() const { return resumeOffset_; }
    uint64_t ResumeInstants() const { return instants_ & ~uint64_t{(1u << indexformat::kBucketShift) - 1}; }

    // Events and not-armed stretches found since the last Take.
    std::vector<indexformat::EventEntry>& PendingEvents() { return events_; }
    std::vector<indexformat::StretchEntry>& PendingStretches() { return stretches_; }

private:
    void CloseBucket();
    void Checkpoint();
    void Malformed(std::string message);
    uint64_t Anchor() const;

    TIndexStore* store_ = nullptr;
    RecordSettings settings_;
    uint64_t instants_ = 0;
    uint64_t offset_ = 0;
    uint64_t resumeOffset_ = 0;
    uint64_t bucketStart_ = 0;  // offset of the current level-0 bucket's first instant
    std::array<indexformat::BucketCodes, indexformat::kLevels> acc_{};
    Stop stop_ = Stop::None;
    std::string message_;
    std::vector<indexformat::EventEntry> events_;
    std::vector<indexformat::StretchEntry> stretches_;
};

}  // namespace rollmode::records
