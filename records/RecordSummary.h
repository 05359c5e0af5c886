#pragma once
// What `info` tells about a record file, measurement by measurement, in one pass and
// constant memory: each measurement is handed on when it ends.
#include <array>
#include <cstdint>
#include <functional>

#include "MeasurementWalker.h"

namespace rollmode::records {

struct TMeasurementSummary {
    static constexpr std::size_t kMaxRates = 16;  // the rate table has 16 steps

    uint32_t number = 0;
    uint64_t startOffset = 0;      // byte offset of its start record (0 for measurement 0)
    uint64_t instants = 0;         // sample and not-armed words
    uint64_t samples = 0;
    uint64_t notArmed = 0;
    uint64_t overflows = 0;
    uint64_t settingsRecords = 0;  // records other than start and stop
    uint64_t endPs = 0;            // time after its last instant
    bool timed = false;            // a rate was known for its instants
    std::array<uint32_t, kMaxRates> rates{};  // distinct rates in order of appearance
    std::size_t rateCount = 0;
    bool moreRates = false;
    std::array<bool, 2> rangeKnown{};
    std::array<double, 2> minMv{}, maxMv{};
    std::array<uint32_t, 2> mvPerDivision{};  // in force at its end (0 = not recorded)

    double DurationSeconds() const { return static_cast<double>(endPs) / TInstantClock::kPsPerSecond; }
};

class TRecordSummary final : public TMeasurementSink {
public:
    explicit TRecordSummary(std::function<void(const TMeasurementSummary&)> onMeasurement)
        : onMeasurement_(std::move(onMeasurement)) {}

    // Hands on the last measurement; call after the walk.
    void Finish();
    uint32_t Measurements() const { return measurements_; }  // numbered 1 and up
    uint64_t Samples() const { return samples_; }
    uint64_t NotArmed() const { return notArmed_; }
    uint64_t Overflows() const { return overflows_; }

    void OnMeasurement(uint32_t measurement) override;
    void OnSettings(const RecordItem& record, const RecordSettings& settings) override;
    void OnOverflow(uint32_t measurement, const TInstantClock& at) override;
    void OnSpan(const TSpan& span) override;

private:
    void NoteRate(uint32_t rate);

    std::function<void(const TMeasurementSummary&)> onMeasurement_;
    TMeasurementSummary current_;
    bool started_ = false;
    uint32_t measurements_ = 0;
    uint64_t samples_ = 0, notArmed_ = 0, overflows_ = 0;
};

}  // namespace rollmode::records
