#include "MeasurementWalker.h"

#include <algorithm>

namespace rollmode::records {

TWordScanner::Status TMeasurementWalker::Run() {
    measurement_ = 0;
    clock_ = TInstantClock{};
    instantsInRange_ = overflowsInRange_ = 0;
    if (Selected()) sink_.OnMeasurement(0);
    return scanner_.Scan(*this);
}

void TMeasurementWalker::OnRun(const uint16_t* words, std::size_t count) {
    if (Selected()) {
        std::size_t first = 0, last = count;
        if (range_.TimeLimited()) {
            if (!clock_.Known()) {
                last = 0;  // no time, so not in any time window
            } else {
                first = static_cast<std::size_t>(std::min<uint64_t>(count, clock_.InstantsBefore(range_.fromPs)));
                if (range_.toPs != TExportRange::kEnd)
                    last = static_cast<std::size_t>(std::min<uint64_t>(count, clock_.InstantsBefore(range_.toPs)));
                if (last < first) last = first;
            }
        }
        if (last > first) {
            TSpan span;
            span.measurement = measurement_;
            span.words = words + first;
            span.count = last - first;
            span.clock = clock_;
            span.clock.Advance(first);
            span.settings = &scanner_.Settings();
            instantsInRange_ += span.count;
            sink_.OnSpan(span);
        }
        // Past the window of the one measurement asked for: nothing more to read.
        if (range_.measurement != TExportRange::kAll && range_.toPs != TExportRange::kEnd && clock_.Known() &&
            last < count)
            scanner_.Stop();
    }
    clock_.Advance(count);
}

void TMeasurementWalker::OnOverflowMark(uint64_t /*offset*/) {
    if (!Selected()) return;
    if (range_.TimeLimited() && (!clock_.Known() || clock_.Ps() < range_.fromPs || clock_.Ps() >= range_.toPs)) return;
    ++overflowsInRange_;
    sink_.OnOverflow(measurement_, clock_);
}

void TMeasurementWalker::OnRecord(const RecordItem& record, const RecordSettings& settings) {
    if (record.code == recordcode::kMeasurement && record.args[0] == 1) {
        if (range_.measurement != TExportRange::kAll && measurement_ == range_.measurement) {
            scanner_.Stop();  // the measurement asked for is over
            return;
        }
        ++measurement_;
        clock_.Restart();
        if (Selected()) sink_.OnMeasurement(measurement_);
    } else if (record.code == recordcode::kSampleRate) {
        clock_.SetRate(settings.samplesPerSecond);
    }
    if (Selected()) sink_.OnSettings(record, settings);
}

}  // namespace rollmode::records
