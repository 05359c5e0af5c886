// Queries on a record index: envelopes, exact extremes, raw instants, events, settings
// and time. They run on a thread of their own while the builder works and see the
// instants below PublishedInstants().
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <mutex>

#include "RecordIndexImpl.h"

namespace rollmode::records {

using namespace indexformat;

namespace {

constexpr std::size_t kScanWords = 4096;

// Calls fn(instant, word, settings) for each instant in [a, b) below the published
// instants (word 2 is a not-armed instant), reading the record from the offset table's
// entry at or before `a`. Reads only bytes the index covers; stops at anything it cannot
// parse, so a damaged offset can give too little, never a read outside the record.
template <class Fn>
void RawScan(const TRecordIndex::Impl& d, uint64_t a, uint64_t b, Fn&& fn) {
    b = std::min(b, d.published.load(std::memory_order_acquire));
    if (a >= b) return;
    const uint64_t covered = d.coveredBytes.load(std::memory_order_acquire);
    const Checkpoint cp = d.store->Checkpoints()[a >> kCheckpointShift];
    RecordSettings s = Unpack(cp.settings);
    uint64_t instant = (a >> kCheckpointShift) << kCheckpointShift;
    uint64_t at = cp.offset;
    // An event's anchor closer to `a` than the offset table's entry saves reading up to
    // 65,535 instants: the settings there are the entry's with the events between applied.
    const auto& events = d.lists.Events();
    constexpr uint64_t kBucketStart = ~uint64_t{(1u << kBucketShift) - 1};
    const auto after = std::upper_bound(events.begin(), events.end(), a,
                                        [](uint64_t t, const EventEntry& e) { return t < (e.instant & kBucketStart); });
    if (after != events.begin() && ((after - 1)->instant & kBucketStart) > instant && (after - 1)->anchor > at) {
        const EventEntry& anchor = *(after - 1);
        auto it = std::upper_bound(events.begin(), events.end(), at,
                                   [](uint64_t o, const EventEntry& e) { return o < e.offset; });
        for (; it != events.end() && it->offset < anchor.anchor; ++it)
            if (it->code != 0) ApplySettingsRecord(s, it->code, it->args);
        instant = anchor.instant & kBucketStart;
        at = anchor.anchor;
    }
    uint16_t words[kScanWords];
    while (instant < b && at + 2 <= covered) {
        const uint64_t want = std::min<uint64_t>(sizeof words, covered - at) & ~uint64_t{1};
        const ssize_t n = ::pread(d.recordFd.load(std::memory_order_relaxed), words, want, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n < 2) return;
        const auto count = static_cast<std::size_t>(n) / 2;
        std::size_t pos = 0;
        while (pos < count) {
            const uint16_t w = words[pos];
            if (w >= 2) {
                if (instant >= a) fn(instant, w, s);
                ++pos;
                if (++instant >= b) return;
            } else if (w == 1) {
                ++pos;
            } else {
                if (pos + 3 > count) break;
                const uint16_t length = words[pos + 1];
                if (length < 4 || length > 6 || RecordLengthOfCode(words[pos + 2]) != length) return;
                if (pos + length > count) break;
                ApplySettingsRecord(s, words[pos + 2], words + pos + 3);
                pos += length;
            }
        }
        if (pos == 0) return;
        at += 2 * pos;
    }
}

struct Acc {
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();

    void Add(double v) {
        min = v < min ? v : min;
        max = v > max ? v : max;
    }
    void Add(const Acc& o) {
        Add(o.min);
        Add(o.max);
    }
    MinMaxMv Result() const {
        if (min > max) return MinMaxMv{};
        return MinMaxMv{static_cast<float>(min), static_cast<float>(max), true};
    }
};

uint8_t Code(uint16_t word, int channel) { return static_cast<uint8_t>(channel == 0 ? word & 0xFF : word >> 8); }

// One extremes query: levels where a bucket's samples share one zero code and deflection,
// the finer levels and finally the raw instants where they do not.
class TExtremesQuery {
public:
    explicit TExtremesQuery(const TRecordIndex::Impl& d) : d_(d), store_(*d.store) {}

    void Range(uint64_t a, uint64_t b) {
        b = std::min(b, d_.published.load(std::memory_order_acquire));
        if (a >= b) return;
        uint64_t lo = (a + 255) >> kBucketShift, hi = b >> kBucketShift;
        if (lo >= hi) {
            Raw(a, b, 3);
            return;
        }
        Raw(a, lo << kBucketShift, 3);
        Raw(hi << kBucketShift, b, 3);
        for (int level = 0;; ++level) {
            if (level + 1 < kLevels) {
                const uint64_t upLo = (lo + 15) >> kFanShift, upHi = hi >> kFanShift;
                if (upLo < upHi) {
                    for (uint64_t i = lo; i < (upLo << kFanShift); ++i) Bucket(level, i, 3);
                    for (uint64_t i = upHi << kFanShift; i < hi; ++i) Bucket(level, i, 3);
                    lo = upLo;
                    hi = upHi;
                    continue;
                }
            }
            for (uint64_t i = lo; i < hi; ++i) Bucket(level, i, 3);
            break;
        }
    }

    Acc acc[2];

private:
    void Raw(uint64_t a, uint64_t b, int mask) {
        RawScan(d_, a, b, [&](uint64_t, uint16_t w, const RecordSettings& s) {
            if (w == 2) return;
            for (int ch = 0; ch < 2; ++ch)
                if ((mask >> ch & 1) != 0 && s.deflection[ch] != 0) acc[ch].Add(s.Millivolts(ch, Code(w, ch)));
        });
    }

    void Bucket(int level, uint64_t i, int mask) {
        const uint64_t start = i << BucketShift(level), end = start + (uint64_t{1} << BucketShift(level));
        const BucketCodes b = store_.Level(level)[i];
        int mixed = 0;
        for (int ch = 0; ch < 2; ++ch) {
            if ((mask >> ch & 1) == 0) continue;
            const auto& list = d_.lists.Scale(ch);
            const auto next = std::upper_bound(list.begin(), list.end(), start,
                                               [](uint64_t t, const ScaleChange& c) { return t < c.instant; });
            if (next != list.end() && next->instant < end) {
                mixed |= 1 << ch;
                continue;
            }
            const ScaleChange& scale = *(next - 1);  // the list starts at instant 0
            if (b.Empty() || scale.deflection == 0) continue;
            const double perCode = static_cast<double>(scale.deflection) / RecordSettings::kCodesPerDivision;
            acc[ch].Add((static_cast<double>(ch == 0 ? b.minA : b.minB) - scale.zeroCode) * perCode);
            acc[ch].Add((static_cast<double>(ch == 0 ? b.maxA : b.maxB) - scale.zeroCode) * perCode);
        }
        if (mixed == 0) return;
        if (level == 0) {
            Raw(start, end, mixed);
            return;
        }
        for (uint64_t j = i << kFanShift; j < ((i + 1) << kFanShift); ++j) Bucket(level - 1, j, mixed);
    }

    const TRecordIndex::Impl& d_;
    const TIndexStore& store_;
};

}  // namespace

RecordSettings TRecordIndex::Impl::SettingsLocked(uint64_t instant, uint64_t publishedInstants) const {
    RecordSettings s;
    if (publishedInstants == 0 || !store) {
        lists.ApplyAllUpTo(s, instant);
        return s;
    }
    const uint64_t j = std::min(instant, publishedInstants - 1) >> kCheckpointShift;
    s = Unpack(store->Checkpoints()[j].settings);
    lists.ApplyEvents(s, j << kCheckpointShift, instant);
    return s;
}

void TRecordIndex::Envelope(uint64_t firstInstant, double instantsPerColumn, int columns, MinMaxMv* out) const {
    if (columns <= 0) return;
    std::fill(out, out + 2 * static_cast<std::size_t>(columns), MinMaxMv{});
    if (!(instantsPerColumn > 0.0) || !std::isfinite(instantsPerColumn)) return;
    const Impl& d = *impl_;
    std::shared_lock lock(d.mutex);
    const uint64_t published = d.published.load(std::memory_order_acquire);
    if (!d.store || firstInstant >= published) return;
    int level = -1;
    for (int l = 0; l < kLevels; ++l)
        if (static_cast<double>(uint64_t{1} << BucketShift(l)) <= instantsPerColumn) level = l;
    const double span = static_cast<double>(columns) * instantsPerColumn;
    if (level < 0) {
        // Finer than the finest level: one pass over the raw instants of the view.
        std::vector<Acc> acc(2 * static_cast<std::size_t>(columns));
        const uint64_t end = firstInstant + static_cast<uint64_t>(std::min(std::ceil(span), 1e18));
        RawScan(d, firstInstant, end, [&](uint64_t t, uint16_t w, const RecordSettings& s) {
            if (w == 2) return;
            const auto c = static_cast<std::size_t>(static_cast<double>(t - firstInstant) / instantsPerColumn);
            if (c >= static_cast<std::size_t>(columns)) return;
            for (int ch = 0; ch < 2; ++ch)
                if (s.deflection[ch] != 0) acc[2 * c + ch].Add(s.Millivolts(ch, Code(w, ch)));
        });
        for (std::size_t i = 0; i < acc.size(); ++i) out[i] = acc[i].Result();
        return;
    }
    const double bucket = static_cast<double>(uint64_t{1} << BucketShift(level));
    const auto edge = [&](int c) {
        const double x = std::floor((static_cast<double>(firstInstant) + c * instantsPerColumn) / bucket) * bucket;
        return x >= static_cast<double>(published) ? published : static_cast<uint64_t>(x);
    };
    uint64_t from = edge(0);
    for (int c = 0; c < columns && from < published; ++c) {
        const uint64_t to = edge(c + 1);
        TExtremesQuery q(d);
        q.Range(from, to);
        out[2 * c] = q.acc[0].Result();
        out[2 * c + 1] = q.acc[1].Result();
        from = to;
    }
}

void TRecordIndex::Extremes(uint64_t first, uint64_t end, MinMaxMv out[2]) const {
    out[0] = out[1] = MinMaxMv{};
    const Impl& d = *impl_;
    std::shared_lock lock(d.mutex);
    if (!d.store) return;
    TExtremesQuery q(d);
    q.Range(first, end);
    out[0] = q.acc[0].Result();
    out[1] = q.acc[1].Result();
}

std::size_t TRecordIndex::ReadInstants(uint64_t first, std::size_t count, RawInstant* out) const {
    const Impl& d = *impl_;
    std::shared_lock lock(d.mutex);
    if (!d.store || count == 0) return 0;
    const uint64_t end = first + std::min<uint64_t>(count, std::numeric_limits<uint64_t>::max() - first);
    std::size_t n = 0;
    RawScan(d, first, end, [&](uint64_t t, uint16_t w, const RecordSettings& s) {
        RawInstant& r = out[n++];
        r.instant = t;
        r.notArmed = w == 2;
        r.codeA = r.notArmed ? 0 : Code(w, 0);
        r.codeB = r.notArmed ? 0 : Code(w, 1);
        const float nan = std::numeric_limits<float>::quiet_NaN();
        r.mvA = !r.notArmed && s.deflection[0] != 0 ? static_cast<float>(s.Millivolts(0, r.codeA)) : nan;
        r.mvB = !r.notArmed && s.deflection[1] != 0 ? static_cast<float>(s.Millivolts(1, r.codeB)) : nan;
    });
    return n;
}

std::vector<Measurement> TRecordIndex::Measurements() const {
    std::shared_lock lock(impl_->mutex);
    return impl_->lists.Measurements(impl_->published.load(std::memory_order_acquire));
}

std::vector<IndexEvent> TRecordIndex::Events(uint64_t fromInstant, uint64_t toInstant) const {
    std::shared_lock lock(impl_->mutex);
    return impl_->lists.EventsBetween(fromInstant, toInstant);
}

std::vector<NotArmedStretch> TRecordIndex::NotArmed(uint64_t fromInstant, uint64_t toInstant) const {
    std::shared_lock lock(impl_->mutex);
    return impl_->lists.NotArmedBetween(fromInstant, toInstant);
}

RecordSettings TRecordIndex::SettingsAt(uint64_t instant) const {
    std::shared_lock lock(impl_->mutex);
    return impl_->SettingsLocked(instant, impl_->published.load(std::memory_order_acquire));
}

double TRecordIndex::SecondsAt(const Measurement& m, uint64_t instant) const {
    std::shared_lock lock(impl_->mutex);
    return impl_->lists.Seconds(instant) - impl_->lists.Seconds(m.firstInstant);
}

uint64_t TRecordIndex::InstantAtSeconds(const Measurement& m, double seconds) const {
    std::shared_lock lock(impl_->mutex);
    const double base = impl_->lists.Seconds(m.firstInstant);
    if (std::isnan(base)) return m.firstInstant;
    return impl_->lists.InstantAt(base + seconds, m.firstInstant, std::max(m.firstInstant, m.endInstant));
}

}  // namespace rollmode::records
