#include "IndexLists.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace rollmode::records {

using indexformat::EventEntry;
using indexformat::StretchEntry;

namespace {

// First event at an instant above `instant`.
std::vector<EventEntry>::const_iterator After(const std::vector<EventEntry>& events, uint64_t instant) {
    return std::upper_bound(events.begin(), events.end(), instant,
                            [](uint64_t i, const EventEntry& e) { return i < e.instant; });
}

}  // namespace

void TIndexLists::Clear() {
    events_.clear();
    stretches_.clear();
    measurements_.clear();
    rates_.clear();
    for (auto& s : scale_) s.assign(1, ScaleChange{});
    last_ = RecordSettings{};
}

void TIndexLists::AddEvent(const EventEntry& e) {
    events_.push_back(e);
    Derive(e);
}

void TIndexLists::Derive(const EventEntry& e) {
    using namespace recordcode;
    if (e.code == 0) return;  // an overflow mark
    const uint32_t previousRate = last_.samplesPerSecond;
    ApplySettingsRecord(last_, e.code, e.args);
    switch (e.code) {
        case kMeasurement:
            if (e.args[0] != 0) {
                if (!measurements_.empty() && !measurements_.back().stopped)
                    measurements_.back().endInstant = e.instant;
                Measurement m;
                m.number = static_cast<int>(measurements_.size()) + 1;
                m.firstInstant = m.endInstant = e.instant;
                m.startOffset = e.offset;
                measurements_.push_back(m);
            } else if (!measurements_.empty() && !measurements_.back().stopped) {
                measurements_.back().stopped = true;
                measurements_.back().endInstant = e.instant;
            }
            break;
        case kLevelA:
        case kLevelB:
        case kDeflectionA:
        case kDeflectionB: {
            const int ch = (e.code == kLevelA || e.code == kDeflectionA) ? 0 : 1;
            auto& list = scale_[ch];
            const ScaleChange now{e.instant, last_.zeroCode[ch], last_.deflection[ch]};
            if (list.back().zeroCode == now.zeroCode && list.back().deflection == now.deflection) break;
            if (list.size() > 1 && list.back().instant == e.instant) {
                list.back() = now;
                if (list[list.size() - 2].zeroCode == now.zeroCode && list[list.size() - 2].deflection == now.deflection)
                    list.pop_back();  // changed and changed back before the next sample
            } else {
                list.push_back(now);
            }
            break;
        }
        case kSampleRate: {
            RateSegment seg{e.instant, last_.samplesPerSecond, 0.0};
            if (!rates_.empty()) {
                const RateSegment& prev = rates_.back();
                seg.seconds = previousRate != 0 ? prev.seconds + static_cast<double>(e.instant - prev.instant) / previousRate
                                                : prev.seconds;
            }
            rates_.push_back(seg);
            break;
        }
        default:
            break;
    }
}

void TIndexLists::AddNotArmed(uint64_t first, uint64_t count) {
    if (!stretches_.empty() && stretches_.back().first + stretches_.back().count == first)
        stretches_.back().count += count;
    else
        stretches_.push_back(StretchEntry{first, count});
}

void TIndexLists::CutAt(uint64_t offset, uint64_t instant) {
    std::vector<EventEntry> events;
    events.swap(events_);
    std::vector<StretchEntry> stretches;
    stretches.swap(stretches_);
    Clear();
    for (const EventEntry& e : events)
        if (e.offset < offset) AddEvent(e);
    for (const StretchEntry& s : stretches) {
        if (s.first >= instant) break;
        stretches_.push_back(StretchEntry{s.first, std::min(s.count, instant - s.first)});
    }
}

std::vector<Measurement> TIndexLists::Measurements(uint64_t published) const {
    std::vector<Measurement> out;
    if (measurements_.empty() || measurements_.front().firstInstant > 0) {
        Measurement zero;
        zero.endInstant = measurements_.empty() ? published : measurements_.front().firstInstant;
        out.push_back(zero);
    }
    for (Measurement m : measurements_) {
        if (!m.stopped && m.number == static_cast<int>(measurements_.size())) m.endInstant = published;
        out.push_back(m);
    }
    return out;
}

std::vector<IndexEvent> TIndexLists::EventsBetween(uint64_t from, uint64_t to) const {
    std::vector<IndexEvent> out;
    auto it = std::lower_bound(events_.begin(), events_.end(), from,
                               [](const EventEntry& e, uint64_t i) { return e.instant < i; });
    for (; it != events_.end() && it->instant <= to; ++it) {
        IndexEvent ev;
        ev.instant = it->instant;
        ev.offset = it->offset;
        ev.code = it->code;
        if (it->code == 0) {
            ev.kind = IndexEvent::Kind::Overflow;
        } else if (it->code == recordcode::kMeasurement) {
            ev.kind = it->args[0] != 0 ? IndexEvent::Kind::MeasurementStart : IndexEvent::Kind::MeasurementStop;
            ev.value = it->args[0];
        } else {
            ev.kind = IndexEvent::Kind::Settings;
            const uint16_t length = RecordLengthOfCode(it->code);
            if (length == 5)
                ev.value = static_cast<uint32_t>(it->args[0]) | (static_cast<uint32_t>(it->args[1]) << 16);
            else if (length == 6)
                ev.value = it->args[1];  // the zero code
            else
                ev.value = it->args[0];
        }
        out.push_back(ev);
    }
    return out;
}

std::vector<NotArmedStretch> TIndexLists::NotArmedBetween(uint64_t from, uint64_t to) const {
    std::vector<NotArmedStretch> out;
    // The first stretch that ends after `from`.
    auto it = std::upper_bound(stretches_.begin(), stretches_.end(), from,
                               [](uint64_t i, const StretchEntry& s) { return i < s.first + s.count; });
    for (; it != stretches_.end() && it->first < to; ++it) out.push_back(NotArmedStretch{it->first, it->count});
    return out;
}

void TIndexLists::ApplyEvents(RecordSettings& s, uint64_t after, uint64_t upTo) const {
    for (auto it = After(events_, after); it != events_.end() && it->instant <= upTo; ++it)
        if (it->code != 0) ApplySettingsRecord(s, it->code, it->args);
}

void TIndexLists::ApplyAllUpTo(RecordSettings& s, uint64_t upTo) const {
    for (auto it = events_.begin(); it != events_.end() && it->instant <= upTo; ++it)
        if (it->code != 0) ApplySettingsRecord(s, it->code, it->args);
}

double TIndexLists::Seconds(uint64_t instant) const {
    auto it = std::upper_bound(rates_.begin(), rates_.end(), instant,
                               [](uint64_t i, const RateSegment& r) { return i < r.instant; });
    if (it == rates_.begin()) return std::numeric_limits<double>::quiet_NaN();
    --it;
    if (it->samplesPerSecond == 0) return std::numeric_limits<double>::quiet_NaN();
    return it->seconds + static_cast<double>(instant - it->instant) / it->samplesPerSecond;
}

uint64_t TIndexLists::InstantAt(double seconds, uint64_t lowest, uint64_t highest) const {
    if (!std::isfinite(seconds) || rates_.empty()) return lowest;
    // The last segment that starts at or before `seconds` and has a rate.
    auto it = std::upper_bound(rates_.begin(), rates_.end(), seconds,
                               [](double s, const RateSegment& r) { return s < r.seconds; });
    while (it != rates_.begin() && (it - 1)->samplesPerSecond == 0) --it;
    if (it == rates_.begin()) return lowest;
    const RateSegment& seg = *(it - 1);
    const double offset = std::clamp((seconds - seg.seconds) * seg.samplesPerSecond, 0.0, 9.0e18);
    uint64_t instant = seg.instant + static_cast<uint64_t>(std::llround(offset));
    if (it != rates_.end()) instant = std::min(instant, it->instant);
    return std::clamp(instant, lowest, std::max(lowest, highest));
}

}  // namespace rollmode::records
