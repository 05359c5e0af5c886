#pragma once
// The one meaning of a record file for every export: measurements, time and the
// part of the file a user asked for.
//
// - A measurement starts at each record 1 with value 1, numbered from 1; anything
//   before the first is measurement 0.
// - Time is counted from the measurement's start: every sample word and every
//   not-armed word (2) advances it by 1/rate of the rate in force (record 10); an
//   overflow mark (1) does not. It is unknown until a rate record was read.
// - Millivolts come from the settings in force (RecordSettings::Millivolts); a
//   channel's value is unknown until its zero code and deflection were recorded.
//
// A range picks one measurement or all, and a time window [from, to) within each.
#include <cstdint>
#include <limits>

#include "InstantClock.h"
#include "WordScanner.h"

namespace rollmode::records {

struct TExportRange {
    static constexpr uint32_t kAll = std::numeric_limits<uint32_t>::max();
    static constexpr uint64_t kEnd = std::numeric_limits<uint64_t>::max();
    uint32_t measurement = kAll;
    uint64_t fromPs = 0;
    uint64_t toPs = kEnd;

    bool TimeLimited() const { return fromPs != 0 || toPs != kEnd; }
};

// Sample and not-armed words of one measurement under constant settings, in range.
struct TSpan {
    uint32_t measurement = 0;
    const uint16_t* words = nullptr;
    std::size_t count = 0;
    TInstantClock clock;  // at words[0]
    const RecordSettings* settings = nullptr;
};

class TMeasurementSink {
public:
    virtual ~TMeasurementSink() = default;
    // A measurement begins (0 at the start of the file); only selected ones.
    virtual void OnMeasurement(uint32_t /*measurement*/) {}
    // A settings record within a selected measurement (the start record included).
    virtual void OnSettings(const RecordItem& /*record*/, const RecordSettings& /*settings*/) {}
    // An overflow mark within the range, at the time of the next instant.
    virtual void OnOverflow(uint32_t /*measurement*/, const TInstantClock& /*at*/) {}
    virtual void OnSpan(const TSpan& span) = 0;
};

class TMeasurementWalker final : private TWordSink {
public:
    TMeasurementWalker(TWordScanner& scanner, const TExportRange& range, TMeasurementSink& sink)
        : scanner_(scanner), range_(range), sink_(sink) {}

    TWordScanner::Status Run();

    // Measurements begun in the file (up to where the walk ended), 0 included.
    uint32_t LastMeasurement() const { return measurement_; }
    uint64_t InstantsInRange() const { return instantsInRange_; }
    uint64_t OverflowsInRange() const { return overflowsInRange_; }

private:
    void OnRun(const uint16_t* words, std::size_t count) override;
    void OnOverflowMark(uint64_t offset) override;
    void OnRecord(const RecordItem& record, const RecordSettings& settings) override;
    bool Selected() const { return range_.measurement == TExportRange::kAll || range_.measurement == measurement_; }

    TWordScanner& scanner_;
    TExportRange range_;
    TMeasurementSink& sink_;
    uint32_t measurement_ = 0;
    TInstantClock clock_;
    uint64_t instantsInRange_ = 0;
    uint64_t overflowsInRange_ = 0;
};

}  // namespace rollmode::records
