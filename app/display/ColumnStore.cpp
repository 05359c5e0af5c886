#include "ColumnStore.h"

#include <algorithm>
#include <cmath>

#include "RateTables.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rollmode::display {

int64_t SamplesPerColumnOf(int32_t smpSetting, int32_t dspSetting) {
    const int64_t perDivisionColumn = core::SamplesPerSecond(smpSetting) / core::kColumnsPerDivision;
    const double k = std::nearbyint(static_cast<double>(perDivisionColumn) * core::SecondsPerDivision(dspSetting));
    return k < 1.0 ? 1 : static_cast<int64_t>(k);
}

int PixelRow(int v, double verticalScale) { return static_cast<int>(std::nearbyint(v * verticalScale)); }

namespace {

// Index of the first word below 3 (a record start or a marker) in p[0, m), or m.
uint32_t FindSpecial(const uint16_t* p, uint32_t m) {
    uint32_t j = 0;
#if defined(__SSE2__)
    const __m128i two = _mm_set1_epi16(2);
    const __m128i zero = _mm_setzero_si128();
    for (; j + 32 <= m; j += 32) {
        const __m128i a = _mm_cmpeq_epi16(_mm_subs_epu16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + j)), two), zero);
        const __m128i b = _mm_cmpeq_epi16(_mm_subs_epu16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + j + 8)), two), zero);
        const __m128i c = _mm_cmpeq_epi16(_mm_subs_epu16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + j + 16)), two), zero);
        const __m128i d = _mm_cmpeq_epi16(_mm_subs_epu16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + j + 24)), two), zero);
        if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) != 0) break;
    }
#endif
    for (; j < m; ++j)
        if (p[j] < 3) return j;
    return m;
}

struct ChunkStats {
    uint64_t sumA = 0, sumB = 0;
    uint32_t minA = 255, maxA = 0, minB = 255, maxB = 0;
};

// Statistics of m words taken as plain samples, always complete. False when a word
// below 3 may be among them: the vector part flags any word whose high byte is 0 (a
// superset, so the check costs nothing beyond the minimum it takes anyway), the scalar
// tail tests exactly; the caller then looks for the word exactly.
bool PlainChunkStats(const uint16_t* p, uint32_t m, ChunkStats& s) {
    uint32_t j = 0;
    bool plain = true;
#if defined(__SSE2__)
    // Bytes are viewed as lanes: even bytes are channel A, odd bytes channel B. One
    // unsigned byte min/max covers both channels; psadbw sums eight bytes at a time.
    if (m >= 8) {
        const __m128i zero = _mm_setzero_si128();
        const __m128i lowBytes = _mm_set1_epi16(0x00FF);
        __m128i vmin = _mm_set1_epi8(static_cast<char>(0xFF)), vmax = zero;
        __m128i sumLow = zero, sumAll = zero;
        for (; j + 16 <= m; j += 16) {
            const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + j));
            const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + j + 8));
            vmin = _mm_min_epu8(vmin, _mm_min_epu8(v0, v1));
            vmax = _mm_max_epu8(vmax, _mm_max_epu8(v0, v1));
            sumLow = _mm_add_epi64(sumLow, _mm_add_epi64(_mm_sad_epu8(_mm_and_si128(v0, lowBytes), zero),
                                                          _mm_sad_epu8(_mm_and_si128(v1, lowBytes), zero)));
            sumAll = _mm_add_epi64(sumAll, _mm_add_epi64(_mm_sad_epu8(v0, zero), _mm_sad_epu8(v1, zero)));
        }
        if (j + 8 <= m) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + j));
            vmin = _mm_min_epu8(vmin, v);
            vmax = _mm_max_epu8(vmax, v);
            sumLow = _mm_add_epi64(sumLow, _mm_sad_epu8(_mm_and_si128(v, lowBytes), zero));
            sumAll = _mm_add_epi64(sumAll, _mm_sad_epu8(v, zero));
            j += 8;
        }
        // Fold the eight byte pairs to one: bytes 0 and 1 hold channel A and B.
        vmin = _mm_min_epu8(vmin, _mm_srli_si128(vmin, 8));
        vmin = _mm_min_epu8(vmin, _mm_srli_si128(vmin, 4));
        vmin = _mm_min_epu8(vmin, _mm_srli_si128(vmin, 2));
        vmax = _mm_max_epu8(vmax, _mm_srli_si128(vmax, 8));
        vmax = _mm_max_epu8(vmax, _mm_srli_si128(vmax, 4));
        vmax = _mm_max_epu8(vmax, _mm_srli_si128(vmax, 2));
        const uint32_t mins = static_cast<uint32_t>(_mm_cvtsi128_si32(vmin));
        const uint32_t maxs = static_cast<uint32_t>(_mm_cvtsi128_si32(vmax));
        plain = (mins & 0xFF00u) != 0;
        s.minA = mins & 0xFFu;
        s.minB = (mins >> 8) & 0xFFu;
        s.maxA = maxs & 0xFFu;
        s.maxB = (maxs >> 8) & 0xFFu;
        sumLow = _mm_add_epi64(sumLow, _mm_unpackhi_epi64(sumLow, sumLow));
        sumAll = _mm_add_epi64(sumAll, _mm_unpackhi_epi64(sumAll, sumAll));
        s.sumA = static_cast<uint64_t>(_mm_cvtsi128_si64(sumLow));
        s.sumB = static_cast<uint64_t>(_mm_cvtsi128_si64(sumAll)) - s.sumA;
    }
#endif
    for (; j < m; ++j) {
        const uint16_t w = p[j];
        plain &= w >= 3;
        const uint32_t a = w & 0xFFu, b = w >> 8;
        s.sumA += a;
        s.sumB += b;
        s.minA = std::min(s.minA, a);
        s.maxA = std::max(s.maxA, a);
        s.minB = std::min(s.minB, b);
        s.maxB = std::max(s.maxB, b);
    }
    return plain;
}

}  // namespace

TColumnStore::TColumnStore() = default;

void TColumnStore::Reset() {
    Clear();
    ClearAccumulator();
    pendingSkip_ = 0;
    pendingLength_ = false;
}

void TColumnStore::Clear() {
    for (auto& b : buffers_) b.fill(0);
    writeIndex_ = 0;
    wrapped_ = false;
}

void TColumnStore::ClearAccumulator() {
    n_ = 0;
    sumA_ = sumB_ = 0;
    minA_ = minB_ = 255;
    maxA_ = maxB_ = 0;
}

void TColumnStore::Advance(uint32_t steps) {
    totalColumns_ += steps;
    const uint64_t index = static_cast<uint64_t>(writeIndex_) + steps;
    if (index >= kColumns) wrapped_ = true;
    writeIndex_ = static_cast<int>(index & kMask);
}

void TColumnStore::StoreMarker(uint16_t entry) {
    for (auto& b : buffers_) b[writeIndex_] = entry;
    Advance(1);
    ClearAccumulator();
}

void TColumnStore::EmitColumn(uint16_t lastWord) {
    const auto entry = [](uint32_t a, uint32_t b) { return static_cast<uint16_t>((255 - a) + 256 * (255 - b)); };
    buffers_[LastSample][writeIndex_] = static_cast<uint16_t>(~lastWord);
    buffers_[Maximum][writeIndex_] = entry(maxA_, maxB_);
    buffers_[Minimum][writeIndex_] = entry(minA_, minB_);
    const uint64_t n = static_cast<uint64_t>(n_);
    buffers_[Average][writeIndex_] = entry(static_cast<uint32_t>(sumA_ / n), static_cast<uint32_t>(sumB_ / n));
    Advance(1);
    ClearAccumulator();
}

// One sample per column: every entry of a column equals 65535 - word. Only the last
// 2048 of a run can survive in the ring, so the rest only moves the index.
void TColumnStore::FoldRunOfSingles(const uint16_t* words, uint32_t count) {
    if (count > kColumns) {
        Advance(count - kColumns);
        words += count - kColumns;
        count = kColumns;
    }
    while (count > 0) {
        const uint32_t segment = std::min<uint32_t>(count, kColumns - writeIndex_);
        uint16_t* last = buffers_[LastSample].data() + writeIndex_;
        uint16_t* maxima = buffers_[Maximum].data() + writeIndex_;
        uint16_t* minima = buffers_[Minimum].data() + writeIndex_;
        uint16_t* averages = buffers_[Average].data() + writeIndex_;
        for (uint32_t j = 0; j < segment; ++j) {
            const uint16_t e = static_cast<uint16_t>(~words[j]);
            last[j] = e;
            maxima[j] = e;
            minima[j] = e;
            averages[j] = e;
        }
        Advance(segment);
        words += segment;
        count -= segment;
    }
}

// Folds up to count plain samples into the accumulator, stopping before the first
// word below 3. Returns the words folded.
uint32_t TColumnStore::AccumulateChunk(const uint16_t* words, uint32_t count) {
    ChunkStats s;
    uint32_t used = count;
    if (!PlainChunkStats(words, count, s)) {
        // Fold the plain words before the record or marker; it is handled by the caller.
        // The flag may have come from samples with a high byte of 0: then all are plain.
        used = FindSpecial(words, count);
        if (used < count) {
            s = ChunkStats{};
            PlainChunkStats(words, used, s);
        }
    }
    if (used == 0) return 0;
    n_ += used;
    sumA_ += s.sumA;
    sumB_ += s.sumB;
    minA_ = std::min(minA_, s.minA);
    maxA_ = std::max(maxA_, s.maxA);
    minB_ = std::min(minB_, s.minB);
    maxB_ = std::max(maxB_, s.maxB);
    return used;
}

// The rest of a settings record that the previous block's end cut off.
uint32_t TColumnStore::ConsumePending(const uint16_t* words, uint32_t count) {
    if (count == 0) return 0;
    if (pendingLength_) {
        pendingLength_ = false;
        // The record's 0 word came last in the previous block; a length of 0 consumes
        // only that word, any other length L the L - 1 words that follow it.
        pendingSkip_ = words[0] == 0 ? 0 : words[0] - 1u;
    }
    const uint32_t skip = std::min(pendingSkip_, count);
    pendingSkip_ -= skip;
    return skip;
}

uint32_t TColumnStore::HandleSpecial(const uint16_t* words, uint32_t count, uint32_t i) {
    switch (words[i]) {
        case 0: {
            if (PreviousEntry() != kGapColumn) StoreMarker(kGapColumn);
            uint64_t next;
            if (i + 1 < count) {
                const uint16_t length = words[i + 1];
                next = static_cast<uint64_t>(i) + (length == 0 ? 1 : length);
            } else {
                pendingLength_ = true;  // the length word is in the next block
                next = static_cast<uint64_t>(i) + 1;
            }
            if (next > count) {
                pendingSkip_ = static_cast<uint32_t>(next - count);
                next = count;
            }
            return static_cast<uint32_t>(next);
        }
        case 1:
            StoreMarker(kMarkerColumn1);
            return i + 1;
        default:
            if (PreviousEntry() != kMarkerColumn2) StoreMarker(kMarkerColumn2);
            return i + 1;
    }
}

int TColumnStore::AccumulateSamples(const uint16_t* words, uint32_t count, int64_t samplesPerColumn) {
    const int64_t k = samplesPerColumn < 1 ? 1 : samplesPerColumn;
    const int start = writeIndex_;
    uint32_t i = ConsumePending(words, count);
    while (i < count) {
        if (words[i] < 3) {
            i = HandleSpecial(words, count, i);
            continue;
        }
        if (k == 1 && n_ == 0) {
            const uint32_t run = FindSpecial(words + i, count - i);
            FoldRunOfSingles(words + i, run);
            i += run;
            continue;
        }
        // Samples still missing from the column (1 when a smaller k than the one the
        // column was started with has already been reached).
        const int64_t need = n_ < k ? k - n_ : 1;
        const uint32_t m = static_cast<uint32_t>(std::min<int64_t>(need, count - i));
        i += AccumulateChunk(words + i, m);
        if (n_ >= k) EmitColumn(words[i - 1]);
    }
    return (writeIndex_ - start) & kMask;
}

int64_t TColumnStore::FoldBlock(const uint16_t* words, uint32_t count, int64_t samplesPerColumn, int maxColumns) {
    const int64_t k = samplesPerColumn < 1 ? 1 : samplesPerColumn;
    const int64_t limit = std::clamp(maxColumns, 1, kColumns - 2);
    const uint64_t before = totalColumns_;
    if (static_cast<int64_t>(count) / k > limit) {
        const uint32_t nominal = count - static_cast<uint32_t>(limit * k);
        uint32_t i = ConsumePending(words, count);
        bool droppedRecord = false, droppedMarker1 = false;
        uint64_t at = i;
        while (at < nominal) {
            const uint16_t w = words[at];
            if (w == 0) {
                droppedRecord = true;
                if (at + 1 < count) {
                    at += words[at + 1] == 0 ? 1 : words[at + 1];
                } else {
                    pendingLength_ = true;
                    at += 1;
                }
            } else if (w < 3) {
                droppedMarker1 |= (w == 1);
                ++at;
            } else {
                at += FindSpecial(words + at, nominal - static_cast<uint32_t>(at));
            }
        }
        if (droppedRecord) {
            if (PreviousEntry() != kGapColumn) StoreMarker(kGapColumn);
        } else if (droppedMarker1) {
            StoreMarker(kMarkerColumn1);
        }
        ClearAccumulator();  // the kept words do not continue the column
        if (at >= count) {
            pendingSkip_ = static_cast<uint32_t>(at - count);
            return static_cast<int64_t>(totalColumns_ - before);
        }
        i = static_cast<uint32_t>(at);
        words += i;
        count -= i;
    }
    AccumulateSamples(words, count, k);
    return static_cast<int64_t>(totalColumns_ - before);
}

}  // namespace rollmode::display
