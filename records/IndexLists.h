#pragma once
// The sorted lists of an index (events and not-armed stretches) and what follows from
// them: measurements, the instants where a channel's zero code or deflection changes,
// and the rate segments that turn instants into seconds. Kept in memory: they grow with
// the number of records and marks in the file, not with its length.
#include <cstdint>
#include <vector>

#include "IndexFormat.h"
#include "RecordIndex.h"

namespace rollmode::records {

// A channel's zero code and deflection from `instant` on.
struct ScaleChange {
    uint64_t instant = 0;
    int32_t zeroCode = 0;
    uint32_t deflection = 0;
};

struct RateSegment {
    uint64_t instant = 0;
    uint32_t samplesPerSecond = 0;
    double seconds = 0.0;  // at `instant`, counted as the record reader counts
};

class TIndexLists {
public:
    TIndexLists() { Clear(); }
    void Clear();
    // Events must come in file order.
    void AddEvent(const indexformat::EventEntry& e);
    void AddNotArmed(uint64_t first, uint64_t count);
    // Forgets every event at or after `offset` and every not-armed instant from `instant`.
    void CutAt(uint64_t offset, uint64_t instant);

    const std::vector<indexformat::EventEntry>& Events() const { return events_; }
    const std::vector<indexformat::StretchEntry>& Stretches() const { return stretches_; }
    const std::vector<ScaleChange>& Scale(int channel) const { return scale_[channel]; }

    std::vector<Measurement> Measurements(uint64_t published) const;
    std::vector<IndexEvent> EventsBetween(uint64_t from, uint64_t to) const;
    std::vector<NotArmedStretch> NotArmedBetween(uint64_t from, uint64_t to) const;
    // Applies to `s` the settings records at instants in (after, upTo].
    void ApplyEvents(RecordSettings& s, uint64_t after, uint64_t upTo) const;
    void ApplyAllUpTo(RecordSettings& s, uint64_t upTo) const;
    // Seconds since the first rate record at `instant`, as the record reader counts; NaN
    // before a rate is known.
    double Seconds(uint64_t instant) const;
    uint64_t InstantAt(double seconds, uint64_t lowest, uint64_t highest) const;

private:
    void Derive(const indexformat::EventEntry& e);

    std::vector<indexformat::EventEntry> events_;
    std::vector<indexformat::StretchEntry> stretches_;
    std::vector<Measurement> measurements_;  // numbered from 1
    std::vector<ScaleChange> scale_[2];
    std::vector<RateSegment> rates_;
    RecordSettings last_;  // after every event so far
};

}  // namespace rollmode::records
