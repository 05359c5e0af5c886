#pragma once
// The viewer's index of a record file: per-channel minimum and maximum codes over
// buckets of instants at several levels, a table from instant to byte offset, and the
// sorted lists of measurement starts and stops, settings records, overflow marks and
// not-armed stretches. The index is a cache of the record, never the truth: it is
// checked against the record before use, rebuilt whenever in doubt, and written under
// a temporary name and renamed when complete. The file format is described in
// docs/record-index.md.
//
// Axis: an instant is a sample word or a not-armed word (2), counted from the start of
// the file. Overflow marks (1) and settings records take no instant. Times and
// millivolts follow the settings in force at each instant (RecordSettings).
//
// Threads: one thread may Open()/Update() while one other thread queries. Queries
// cover the instants below PublishedInstants() (read atomically); the lists and
// levels a query reads are never moved while that thread may read them. HowOpened(),
// Error() and IndexPath() belong to the thread that opens: read them after Open().
//
// Interface contract shared by the viewer and the tools; the implementation
// (RecordIndex.cpp) owns the format and how it is stored.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "RecordFileReader.h"

namespace rollmode::records {

// Minimum and maximum of one channel over a span, in millivolts with the settings in
// force at each sample. `valid` is false where the span holds no sample word (only
// not-armed instants, or instants before the channel's deflection is known).
struct MinMaxMv {
    float min = 0.0f;
    float max = 0.0f;
    bool valid = false;
};

struct Measurement {
    int number = 0;               // 1, 2, ... ; 0 for what precedes the first start
    uint64_t firstInstant = 0;    // first instant after the start record
    uint64_t endInstant = 0;      // one past the last instant (grows while recording)
    uint64_t startOffset = 0;     // byte offset of the start record (0 for measurement 0)
    bool stopped = false;         // a stop record closes it
};

struct IndexEvent {
    enum class Kind : uint8_t { MeasurementStart, MeasurementStop, Settings, Overflow };
    Kind kind = Kind::Settings;
    uint64_t instant = 0;  // instants before the event
    uint64_t offset = 0;   // byte offset of the record or marker
    uint16_t code = 0;     // settings record code (Settings)
    uint32_t value = 0;    // the record's value (16 or 32 bits; for codes 2/3 the zero code as uint16)
};

struct NotArmedStretch {
    uint64_t firstInstant = 0;
    uint64_t count = 0;
};

// One instant read from the record for fine zoom.
struct RawInstant {
    uint64_t instant = 0;
    bool notArmed = false;
    uint8_t codeA = 0, codeB = 0;
    float mvA = 0.0f, mvB = 0.0f;  // NaN when the channel's deflection is not yet known
};

// Where the record stops being readable: a malformed item (error) or a record cut off
// by the end of the file (torn: "not yet written" while the file grows).
struct RecordFault {
    bool malformed = false;
    uint64_t offset = 0;
    std::string message;
    uint64_t tornBytes = 0;
};

class TRecordIndex {
public:
    enum class Origin { Reused, Extended, Built };
    using Progress = std::function<void(uint64_t doneBytes, uint64_t totalBytes)>;

    TRecordIndex();
    ~TRecordIndex();
    TRecordIndex(const TRecordIndex&) = delete;
    TRecordIndex& operator=(const TRecordIndex&) = delete;

    // Opens the record read-only (no lock: the program may be writing it) and its index
    // (IndexFileName beside it, or in the per-user cache folder when the record's folder
    // is read-only): reuses a matching index, extends one whose record only grew,
    // rebuilds otherwise. Queries may run from another thread while this works and see
    // what is done so far. False with Error() when the record cannot be read;
    // `cancel` (may be null) stops the work early, leaving no index file behind.
    bool Open(const std::string& recordPath, const Progress& progress = {},
              const std::atomic<bool>* cancel = nullptr);
    // Reads what was appended since the last call (whole buckets only reach the stored
    // levels; the tail is computed from raw samples). Returns true when something new
    // arrived. A record truncated or replaced sets Replaced() and needs a new Open().
    bool Update();
    bool Replaced() const;

    Origin HowOpened() const;
    const std::string& Error() const;
    const std::string& IndexPath() const;
    RecordFault Fault() const;

    uint64_t RecordBytes() const;        // bytes of the record covered
    uint64_t PublishedInstants() const;  // instants a query may ask for

    std::vector<Measurement> Measurements() const;
    // Events at instants from `fromInstant` to `toInstant`, both included (a stop after
    // the last sample has the instant PublishedInstants()).
    std::vector<IndexEvent> Events(uint64_t fromInstant, uint64_t toInstant) const;
    std::vector<NotArmedStretch> NotArmed(uint64_t fromInstant, uint64_t toInstant) const;
    RecordSettings SettingsAt(uint64_t instant) const;
    // Seconds from the start of measurement `m` to `instant`, at the rates in force.
    double SecondsAt(const Measurement& m, uint64_t instant) const;
    uint64_t InstantAtSeconds(const Measurement& m, double seconds) const;

    // One min/max per column for `columns` columns of `instantsPerColumn` instants from
    // `firstInstant`, both channels (out[2 * c] is A, out[2 * c + 1] is B). Uses the
    // coarsest level that resolves a column; exact at every zoom.
    // Column c covers [e(c), e(c + 1)) with e(c) = (firstInstant + c x instantsPerColumn)
    // rounded down to a bucket of the level used (below 256 instants per column: not
    // rounded), and no instant at or after PublishedInstants().
    void Envelope(uint64_t firstInstant, double instantsPerColumn, int columns, MinMaxMv* out) const;
    // Exact minimum and maximum of both channels over the instants [first, end).
    void Extremes(uint64_t first, uint64_t end, MinMaxMv out[2]) const;
    // The instants [first, first + count) themselves, for fine zoom. Returns how many.
    std::size_t ReadInstants(uint64_t first, std::size_t count, RawInstant* out) const;

    struct Impl;  // the library's own units only (RecordIndexImpl.h)

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace rollmode::records
