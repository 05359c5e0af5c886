#include "IndexBuilder.h"

#include "IndexStore.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace rollmode::records {

using namespace indexformat;

namespace {

constexpr uint64_t kBucketMask = (uint64_t{1} << kBucketShift) - 1;
constexpr uint64_t kCheckpointMask = (uint64_t{1} << kCheckpointShift) - 1;
constexpr std::size_t kBucketWords = std::size_t{1} << kBucketShift;

// Extremes of a bucket's 256 words when all of them are samples (above 2); false when a
// marker or a record is among them. This is the build's inner loop.
bool WholeSampleBucket(const uint16_t* w, BucketCodes& out) {
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    const __m128i two = _mm_set1_epi16(2);
    __m128i lo = _mm_set1_epi8(-1), hi = zero, marks = zero;
    for (std::size_t k = 0; k < kBucketWords; k += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + k));
        lo = _mm_min_epu8(lo, v);
        hi = _mm_max_epu8(hi, v);
        marks = _mm_or_si128(marks, _mm_cmpeq_epi16(_mm_subs_epu16(v, two), zero));
    }
    if (_mm_movemask_epi8(marks) != 0) return false;
    // Even bytes are channel A, odd bytes B: fold by whole words.
    lo = _mm_min_epu8(lo, _mm_srli_si128(lo, 8));
    lo = _mm_min_epu8(lo, _mm_srli_si128(lo, 4));
    lo = _mm_min_epu8(lo, _mm_srli_si128(lo, 2));
    hi = _mm_max_epu8(hi, _mm_srli_si128(hi, 8));
    hi = _mm_max_epu8(hi, _mm_srli_si128(hi, 4));
    hi = _mm_max_epu8(hi, _mm_srli_si128(hi, 2));
    const auto l = static_cast<uint32_t>(_mm_cvtsi128_si32(lo)), h = static_cast<uint32_t>(_mm_cvtsi128_si32(hi));
    out = BucketCodes{static_cast<uint8_t>(l), static_cast<uint8_t>(h), static_cast<uint8_t>(l >> 8),
                      static_cast<uint8_t>(h >> 8)};
    return true;
#else
    BucketCodes b;
    uint16_t least = 0xFFFF;
    for (std::size_t k = 0; k < kBucketWords; ++k) {
        least = w[k] < least ? w[k] : least;
        b.AddWord(w[k]);
    }
    if (least <= 2) return false;
    out = b;
    return true;
#endif
}

}  // namespace

void TIndexBuilder::Reset(TIndexStore* store) {
    store_ = store;
    settings_ = RecordSettings{};
    instants_ = offset_ = resumeOffset_ = bucketStart_ = 0;
    acc_.fill(BucketCodes{});
    stop_ = Stop::None;
    message_.clear();
    events_.clear();
    stretches_.clear();
}

void TIndexBuilder::Resume(TIndexStore* store, uint64_t instants, uint64_t offset, const RecordSettings& settings) {
    Reset(store);
    instants_ = instants;
    offset_ = resumeOffset_ = offset;
    settings_ = settings;
    // The open bucket of each level above 0 merges the whole buckets of the level below
    // since its start.
    for (int level = 1; level < kLevels; ++level) {
        const uint64_t below = instants >> BucketShift(level - 1);
        const BucketCodes* entries = store->Level(level - 1);
        for (uint64_t i = below & ~uint64_t{15}; i < below; ++i) acc_[level].Merge(entries[i]);
    }
}

uint64_t TIndexBuilder::Anchor() const { return (instants_ & kBucketMask) != 0 ? bucketStart_ : offset_; }

void TIndexBuilder::Malformed(std::string message) {
    stop_ = Stop::Malformed;
    message_ = std::move(message);
}

void TIndexBuilder::Checkpoint() {
    // A reused store is read-only; its checkpoints already hold these values.
    if (!store_->Writable()) return;
    store_->Checkpoints()[instants_ >> kCheckpointShift] = indexformat::Checkpoint{offset_, Pack(settings_), 0};
}

void TIndexBuilder::CloseBucket() {
    uint64_t index = (instants_ >> kBucketShift) - 1;
    store_->Level(0)[index] = acc_[0];
    BucketCodes carry = acc_[0];
    acc_[0] = BucketCodes{};
    for (int level = 1; level < kLevels; ++level) {
        acc_[level].Merge(carry);
        if (((index + 1) & 15) != 0) break;
        index = ((index + 1) >> kFanShift) - 1;
        store_->Level(level)[index] = acc_[level];
        carry = acc_[level];
        acc_[level] = BucketCodes{};
    }
    resumeOffset_ = offset_;
}

std::size_t TIndexBuilder::Parse(const uint16_t* words, std::size_t count) {
    if (stop_ == Stop::Malformed) return 0;
    stop_ = Stop::None;
    std::size_t pos = 0;
    while (pos < count) {
        if ((instants_ & kBucketMask) == 0 && count - pos >= kBucketWords &&
            WholeSampleBucket(words + pos, acc_[0])) {
            if ((instants_ & kCheckpointMask) == 0) Checkpoint();
            bucketStart_ = offset_;
            instants_ += kBucketWords;
            pos += kBucketWords;
            offset_ += 2 * kBucketWords;
            CloseBucket();
            continue;
        }
        const uint16_t word = words[pos];
        if (word >= 2) {
            if ((instants_ & kBucketMask) == 0) {
                bucketStart_ = offset_;
                if ((instants_ & kCheckpointMask) == 0) Checkpoint();
            }
            if (word == 2) {
                if (!stretches_.empty() && stretches_.back().first + stretches_.back().count == instants_)
                    ++stretches_.back().count;
                else
                    stretches_.push_back(StretchEntry{instants_, 1});
            } else {
                acc_[0].AddWord(word);
            }
            ++instants_;
            ++pos;
            offset_ += 2;
            if ((instants_ & kBucketMask) == 0) CloseBucket();
            continue;
        }
        if (word == 1) {
            events_.push_back(EventEntry{instants_, offset_, Anchor(), 0, {0, 0, 0}});
            ++pos;
            offset_ += 2;
            continue;
        }
        // A settings record: the same checks as the record reader, the same messages.
        if (pos + 1 >= count) break;
        const uint16_t length = words[pos + 1];
        if (length < 4 || length > 6) {
            Malformed("settings record length " + std::to_string(length) + " outside 4..6");
            return pos;
        }
        if (pos + 2 >= count) break;
        const uint16_t code = words[pos + 2];
        const uint16_t expected = RecordLengthOfCode(code);
        if (expected == 0) {
            Malformed("unknown settings record code " + std::to_string(code));
            return pos;
        }
        if (expected != length) {
            Malformed("settings record code " + std::to_string(code) + " with length " + std::to_string(length) +
                      " instead of " + std::to_string(expected));
            return pos;
        }
        if (pos + length > count) break;
        EventEntry e{instants_, offset_, Anchor(), code, {0, 0, 0}};
        for (uint16_t i = 0; i + 3 < length; ++i) e.args[i] = words[pos + 3 + i];
        ApplySettingsRecord(settings_, code, e.args);
        events_.push_back(e);
        pos += length;
        offset_ += 2u * length;
    }
    if (pos < count) stop_ = Stop::NeedMore;
    return pos;
}

}  // namespace rollmode::records
