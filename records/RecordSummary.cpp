#include "RecordSummary.h"

#include <algorithm>

namespace rollmode::records {

void TRecordSummary::Finish() {
    if (!started_) return;
    const TMeasurementSummary& m = current_;
    // Measurement 0 is only what came before the first start, when there was any.
    if (m.number != 0 || m.instants != 0 || m.overflows != 0) onMeasurement_(m);
    started_ = false;
}

void TRecordSummary::OnMeasurement(uint32_t measurement) {
    Finish();
    const auto divisions = current_.mvPerDivision;
    current_ = TMeasurementSummary{};
    current_.number = measurement;
    current_.mvPerDivision = divisions;
    started_ = true;
    if (measurement != 0) ++measurements_;
}

void TRecordSummary::NoteRate(uint32_t rate) {
    TMeasurementSummary& m = current_;
    if (rate == 0) return;
    for (std::size_t i = 0; i < m.rateCount; ++i)
        if (m.rates[i] == rate) return;
    if (m.rateCount < m.rates.size())
        m.rates[m.rateCount++] = rate;
    else
        m.moreRates = true;
}

void TRecordSummary::OnSettings(const RecordItem& record, const RecordSettings& settings) {
    if (record.code == recordcode::kMeasurement) {
        if (record.args[0] == 1) current_.startOffset = record.offset;
    } else {
        ++current_.settingsRecords;
    }
    current_.mvPerDivision = settings.deflection;
}

void TRecordSummary::OnOverflow(uint32_t, const TInstantClock&) {
    ++current_.overflows;
    ++overflows_;
}

void TRecordSummary::OnSpan(const TSpan& span) {
    TMeasurementSummary& m = current_;
    // One pass over bytes that vectorises; not-armed words (rare) make a second,
    // careful pass over the span, as their bytes are no codes.
    uint8_t minA = 255, maxA = 0, minB = 255, maxB = 0;
    uint64_t notArmed = 0;
    for (std::size_t i = 0; i < span.count; ++i) {
        const uint16_t w = span.words[i];
        const auto a = static_cast<uint8_t>(w), b = static_cast<uint8_t>(w >> 8);
        minA = a < minA ? a : minA;
        maxA = a > maxA ? a : maxA;
        minB = b < minB ? b : minB;
        maxB = b > maxB ? b : maxB;
        notArmed += w == 2;
    }
    if (notArmed != 0) {
        minA = minB = 255;
        maxA = maxB = 0;
        for (std::size_t i = 0; i < span.count; ++i) {
            const uint16_t w = span.words[i];
            if (w == 2) continue;
            const auto a = static_cast<uint8_t>(w), b = static_cast<uint8_t>(w >> 8);
            minA = std::min(minA, a);
            maxA = std::max(maxA, a);
            minB = std::min(minB, b);
            maxB = std::max(maxB, b);
        }
    }
    const uint64_t samples = span.count - notArmed;
    m.instants += span.count;
    m.samples += samples;
    m.notArmed += notArmed;
    samples_ += samples;
    notArmed_ += notArmed;
    if (span.clock.Known()) {
        TInstantClock end = span.clock;
        end.Advance(span.count);
        m.endPs = end.Ps();
        m.timed = true;
        NoteRate(span.clock.Rate());
    }
    if (samples == 0) return;
    const RecordSettings& s = *span.settings;
    const std::array<std::array<int, 2>, 2> codes{{{minA, maxA}, {minB, maxB}}};
    for (int ch = 0; ch < 2; ++ch) {
        if (!s.zeroKnown[ch] || s.deflection[ch] == 0) continue;
        const double lo = s.Millivolts(ch, static_cast<uint8_t>(codes[ch][0]));
        const double hi = s.Millivolts(ch, static_cast<uint8_t>(codes[ch][1]));
        m.minMv[ch] = m.rangeKnown[ch] ? std::min(m.minMv[ch], lo) : lo;
        m.maxMv[ch] = m.rangeKnown[ch] ? std::max(m.maxMv[ch], hi) : hi;
        m.rangeKnown[ch] = true;
    }
}

}  // namespace rollmode::records
