#include "RollDataPath.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/WordScan.h"

// Hot loops of a few instructions run measurably slower when they straddle a fetch line;
// aligned they never do, wherever the function lands.
#if defined(__GNUC__) && !defined(__clang__)
#define ROLLMODE_ALIGNED_LOOPS __attribute__((optimize("align-loops=32")))
#else
#define ROLLMODE_ALIGNED_LOOPS
#endif

namespace rollmode::driver {

int32_t ThresholdForLevel(double zeroCode, double millivoltsPerCode, int32_t level) {
    const double t = std::nearbyint((zeroCode * millivoltsPerCode + level) / millivoltsPerCode);
    if (std::isnan(t)) return 0;
    constexpr double kLowest = std::numeric_limits<int32_t>::min();
    constexpr double kHighest = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::clamp(t, kLowest, kHighest));
}

namespace {

// Copies the non-zero words of buffer[from .. end-1] to the front; the write position never
// passes the read position, so this works in place. A full instrument FIFO delivers blocks
// without an empty word: the run before the first empty word is found by a vector scan and
// moved at once (or left where it is), and only the rest goes word by word.
inline uint32_t CompactNonZero(uint16_t* buffer, uint32_t from, uint32_t end) {
    const uint32_t run = platform::FirstWordAtMost(buffer, from, end, 0) - from;
    if (from > 0 && run > 0) std::memmove(buffer, buffer + from, run * sizeof(uint16_t));
    uint32_t n = run;
    for (uint32_t i = from + run; i < end; ++i) {
        const uint16_t w = buffer[i];
        buffer[n] = w;
        n += w != 0;
    }
    return n;
}

// The trigger settings and states held in locals for the duration of one scan.
struct TriggerTester {
    bool sourceA, sourceB, underA, underB, relationAnd;
    int32_t thresholdA, thresholdB;
    uint8_t stateA, stateB;

    explicit TriggerTester(const RollDataPath& p)
        : sourceA(p.triggerFlags & kTrigSourceA),
          sourceB(p.triggerFlags & kTrigSourceB),
          underA(p.triggerFlags & kTrigUnderA),
          underB(p.triggerFlags & kTrigUnderB),
          relationAnd(p.triggerRelationAnd),
          thresholdA(p.triggerThreshold[0]),
          thresholdB(p.triggerThreshold[1]),
          stateA(p.triggerState[0]),
          stateB(p.triggerState[1]) {}

    void StoreStates(RollDataPath& p) const {
        p.triggerState[0] = stateA;
        p.triggerState[1] = stateB;
    }

    inline bool Test(uint16_t word) {
        if (word == kMarkerDevice || word == kMarkerNotArmed) return false;
        const int32_t a = word & 0xFF;
        const int32_t b = word >> 8;
        const uint8_t disabled = relationAnd ? kTriggerState3 : kTriggerState1;
        if (sourceA) {
            if (underA ? a < thresholdA : a > thresholdA) stateA = kTriggerState3;
        } else {
            stateA = disabled;
        }
        if (sourceB) {
            if (underB ? b < thresholdB : b > thresholdB) stateB = kTriggerState3;
        } else {
            stateB = disabled;
        }
        bool met = false;
        if (sourceA || sourceB) {
            met = relationAnd ? (stateA == kTriggerState3 && stateB == kTriggerState3)
                              : (stateA == kTriggerState3 || stateB == kTriggerState3);
        }
        if (!met) {
            stateA = kTriggerState1;
            stateB = kTriggerState1;
        }
        return met;
    }
};

// A substituted code stays a valid 8-bit code of a sample word that can never read as 0.
inline uint16_t GroundCode(int32_t zeroCode) { return static_cast<uint16_t>(std::clamp(zeroCode, 1, 255)); }

}  // namespace

void RollDataPath::SelectProcessor() {
    if (armFlags & (kArmSourceA | kArmSourceB)) {
        processor = Processor::ArmProcessing;
    } else if (recordFree) {
        processor = Processor::PlainCompaction;
    } else {
        processor = Processor::TriggerSearch;
    }
}

uint32_t RollDataPath::RunEntry(uint16_t* buffer, uint32_t* count, uint32_t start, uint32_t end) {
    const uint32_t status = RunRead(buffer, count, start, end);
    if (entry == EntryStage::GroundSubstitution) SubstituteGround(buffer, *count);
    return status;
}

uint32_t RollDataPath::RunRead(uint16_t* buffer, uint32_t* count, uint32_t start, uint32_t end) {
    bool delivered = false;
    if (reader_ != nullptr) {
        const uint32_t ok = reader_(kRollFifo, buffer, kRollBlockWords * sizeof(uint16_t));
        delivered = ok != 0 && (failure_ == nullptr || !failure_->IsSet());
    }
    if (read == ReadStage::FirstRead) {
        // The first word after a start is stale device data. It goes before the trigger search
        // and ARM marking see it: a stale word must not trigger, and the sample that triggers
        // must not be the one dropped.
        if (delivered) {
            for (uint32_t i = start; i < end; ++i) {
                if (buffer[i] != 0) {
                    buffer[i] = 0;
                    break;
                }
            }
        }
        read = ReadStage::NormalRead;
    }
    // A failed transfer leaves stale words in the buffer; process an empty range instead so
    // that none of them reach the host as samples.
    const uint32_t status = RunProcessor(buffer, count, start, delivered ? end : start);
    return status;
}

uint32_t RollDataPath::RunProcessor(uint16_t* buffer, uint32_t* count, uint32_t start, uint32_t end) {
    switch (processor) {
        case Processor::TriggerSearch: return TriggerSearch(buffer, count, start, end);
        case Processor::ArmProcessing: return ArmProcessing(buffer, count, start, end);
        case Processor::PlainCompaction: break;
    }
    return PlainCompaction(buffer, count, start, end);
}

ROLLMODE_ALIGNED_LOOPS
uint32_t RollDataPath::PlainCompaction(uint16_t* buffer, uint32_t* count, uint32_t start, uint32_t end) {
    *count = start < end ? CompactNonZero(buffer, start, end) : 0;
    return kStatusTriggered;
}

namespace {

using Words8 = uint16_t __attribute__((vector_size(16)));

// Codes lo..hi of one channel; lo > hi is the empty range.
struct CodeRange {
    uint16_t lo = 1, hi = 0;

    // code > threshold, or code < threshold when `below`, over the codes 0..255.
    static CodeRange Beyond(int32_t threshold, bool below) {
        const int64_t t = threshold;
        const int64_t lo = below ? 0 : t + 1;
        const int64_t hi = below ? t - 1 : 255;
        if (lo > 255 || hi < 0 || lo > hi) return {};
        return {static_cast<uint16_t>(std::max<int64_t>(lo, 0)), static_cast<uint16_t>(std::min<int64_t>(hi, 255))};
    }
    static CodeRange All() { return {0, 255}; }
};

inline Words8 Load8(const uint16_t* p) {
    Words8 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// All ones where lo <= code <= hi.
inline Words8 InRange(Words8 code, CodeRange r) {
    return __builtin_convertvector((code >= r.lo) & (code <= r.hi), Words8);
}

// All ones where the word is a sample, not empty and not a marker.
inline Words8 IsSample(Words8 w) { return __builtin_convertvector(w > kMarkerNotArmed, Words8); }

inline bool Any(Words8 mask) {
    uint64_t half[2];
    std::memcpy(half, &mask, sizeof half);
    return (half[0] | half[1]) != 0;
}

// The ARM test as two code ranges: a sample with either channel inside its range is withheld.
struct ArmRanges {
    CodeRange a, b;

    explicit ArmRanges(const RollDataPath& p) {
        if (p.armFlags & kArmSourceA) a = CodeRange::Beyond(p.armThreshold[0], !(p.armFlags & kArmUnderA));
        if (p.armFlags & kArmSourceB) b = CodeRange::Beyond(p.armThreshold[1], !(p.armFlags & kArmUnderB));
    }

    Words8 Check(Words8 w) const {
        const Words8 withheld = IsSample(w) & (InRange(w & 0xFF, a) | InRange(w >> 8, b));
        return (w & ~withheld) | (withheld & kMarkerNotArmed);
    }
    uint16_t Check(uint16_t w) const {
        const uint16_t code[2] = {static_cast<uint16_t>(w & 0xFF), static_cast<uint16_t>(w >> 8)};
        const bool withheld = w > kMarkerNotArmed && ((code[0] >= a.lo && code[0] <= a.hi) ||
                                                     (code[1] >= b.lo && code[1] <= b.hi));
        return withheld ? kMarkerNotArmed : w;
    }
};

// The trigger condition from the reset states (both 1), eight words at a time: a channel is
// met inside its range; a disabled channel is always met under "both" and never under "either".
struct TriggerRanges {
    CodeRange a, b;
    bool both = false;
    bool possible = false;

    explicit TriggerRanges(const TriggerTester& t) : both(t.relationAnd), possible(t.sourceA || t.sourceB) {
        a = t.sourceA ? CodeRange::Beyond(t.thresholdA, t.underA) : (both ? CodeRange::All() : CodeRange{});
        b = t.sourceB ? CodeRange::Beyond(t.thresholdB, t.underB) : (both ? CodeRange::All() : CodeRange{});
    }

    Words8 Met(Words8 w) const {
        const Words8 ma = InRange(w & 0xFF, a), mb = InRange(w >> 8, b);
        return IsSample(w) & (both ? (ma & mb) : (ma | mb));
    }
    bool Met(uint16_t w) const {
        const uint16_t ca = w & 0xFF, cb = w >> 8;
        const bool ma = ca >= a.lo && ca <= a.hi, mb = cb >= b.lo && cb <= b.hi;
        return w > kMarkerNotArmed && (both ? (ma && mb) : (ma || mb));
    }
};

// Index of the first word in buffer[i .. end-1] that meets the condition, or `end`.
uint32_t FindTrigger(const TriggerRanges& t, const uint16_t* buffer, uint32_t i, uint32_t end) {
    if (!t.possible) return end;
    for (; i + 8 <= end; i += 8) {
        if (Any(t.Met(Load8(buffer + i)))) break;
    }
    for (; i < end; ++i) {
        if (t.Met(buffer[i])) return i;
    }
    return end;
}

// Appends the non-zero words of eight to buffer[n..]; returns the new n.
inline uint32_t Append8(uint16_t* buffer, uint32_t n, Words8 v) {
    uint16_t w[8];
    std::memcpy(w, &v, sizeof w);
    for (uint16_t x : w) {
        buffer[n] = x;
        n += x != 0;
    }
    return n;
}

// ARM marking and removal of empty positions over buffer[i .. end-1], appended at buffer[n].
inline uint32_t ArmCompact(const ArmRanges& arm, uint16_t* buffer, uint32_t n, uint32_t i, uint32_t end) {
    for (; i + 8 <= end; i += 8) n = Append8(buffer, n, arm.Check(Load8(buffer + i)));
    for (; i < end; ++i) {
        const uint16_t w = arm.Check(buffer[i]);
        buffer[n] = w;
        n += w != 0;
    }
    return n;
}

}  // namespace

uint32_t RollDataPath::TriggerSearch(uint16_t* buffer, uint32_t* count, uint32_t start, uint32_t end) {
    *count = 0;
    triggerFound = false;
    TriggerTester tester(*this);
    uint32_t found = end;
    uint32_t i = start;
    // States carried in from an earlier block take part until the first failed test resets them.
    for (; i < end && !(tester.stateA == kTriggerState1 && tester.stateB == kTriggerState1); ++i) {
        const uint16_t w = buffer[i];
        if (w != 0 && tester.Test(w)) {
            found = i;
            break;
        }
    }
    if (found == end && i < end) {
        found = FindTrigger(TriggerRanges(tester), buffer, i, end);
        if (found != end) tester.Test(buffer[found]);  // leaves the states as the met test does
    }
    if (found != end) {
        triggerFound = true;
        *count = CompactNonZero(buffer, found, end);
        if ((armFlags & (kArmSourceA | kArmSourceB)) == 0) processor = Processor::PlainCompaction;
    }
    tester.StoreStates(*this);
    return triggerFound ? kStatusTriggered : kStatusWaiting;
}


// One pass: ARM marking, removal of empty positions and, while recording waits for its
// trigger, the trigger search over the kept words. Delivery starts at the trigger word, so
// finding it moves the write position back to the front.
ROLLMODE_ALIGNED_LOOPS
uint32_t RollDataPath::ArmProcessing(uint16_t* buffer, uint32_t* count, uint32_t start, uint32_t end) {
    const ArmRanges arm(*this);
    const bool searching = !recordFree && !triggerFound;
    TriggerTester tester(*this);
    bool found = false;
    uint32_t n = 0;
    uint32_t i = start;
    if (searching) {
        // States carried in from an earlier block take part until the first failed test resets them.
        while (!found && i < end && !(tester.stateA == kTriggerState1 && tester.stateB == kTriggerState1)) {
            const uint16_t w = arm.Check(buffer[i++]);
            if (w == 0) continue;
            buffer[n++] = w;
            found = tester.Test(w);
        }
        const TriggerRanges trigger(tester);
        if (!found && trigger.possible) {
            while (i < end) {
                if (i + 8 <= end) {
                    const Words8 v = arm.Check(Load8(buffer + i));
                    if (!Any(trigger.Met(v))) {
                        n = Append8(buffer, n, v);
                        i += 8;
                        continue;
                    }
                }
                // A trigger word in these eight (or the tail): word by word up to it.
                const uint32_t stop = std::min(i + 8, end);
                for (; i < stop && !found; ++i) {
                    const uint16_t w = arm.Check(buffer[i]);
                    if (w == 0) continue;
                    buffer[n++] = w;
                    found = tester.Test(w);  // from states 1/1: the same as the range test
                }
                if (found) break;
            }
        }
        if (found) {
            buffer[0] = buffer[n - 1];
            n = 1;
        }
    }
    n = ArmCompact(arm, buffer, n, i, end);

    uint8_t armStatus = previousArmStatus;
    if (n > 0) armStatus = buffer[n - 1] == kMarkerNotArmed ? kStatusWaiting : kStatusTriggered;
    previousArmStatus = armStatus;
    *count = n;
    if (!searching || n == 0) return armStatus;

    // The search ran over the kept words.
    tester.StoreStates(*this);
    triggerFound = found;
    if (!found) {
        *count = 0;
        return (kStatusWaiting & 0x0F) | (armStatus & 0xF0);
    }
    if ((armFlags & (kArmSourceA | kArmSourceB)) == 0) processor = Processor::PlainCompaction;
    return (kStatusTriggered & 0x0F) | (armStatus & 0xF0);
}

bool RollDataPath::TriggerTest(uint16_t word) {
    TriggerTester tester(*this);
    const bool met = tester.Test(word);
    tester.StoreStates(*this);
    return met;
}

uint16_t RollDataPath::ArmCheck(uint16_t word) const {
    if (word <= kMarkerNotArmed) return word;
    const int32_t a = word & 0xFF;
    const int32_t b = word >> 8;
    if ((armFlags & kArmSourceA) && ((armFlags & kArmUnderA) ? a > armThreshold[0] : a < armThreshold[0])) {
        return kMarkerNotArmed;
    }
    if ((armFlags & kArmSourceB) && ((armFlags & kArmUnderB) ? b > armThreshold[1] : b < armThreshold[1])) {
        return kMarkerNotArmed;
    }
    return word;
}

void RollDataPath::SubstituteGround(uint16_t* buffer, uint32_t count) const {
    const uint16_t zeroA = GroundCode(groundZeroCode[0]);
    const uint16_t zeroB = static_cast<uint16_t>(GroundCode(groundZeroCode[1]) << 8);
    uint16_t keep = 0;
    uint16_t put = 0;
    if (ground[0] && ground[1]) {
        put = zeroB | zeroA;
    } else if (ground[0]) {
        keep = 0xFF00;
        put = zeroA;
    } else if (ground[1]) {
        keep = 0x00FF;
        put = zeroB;
    } else {
        return;
    }
    // Markers are not samples and keep their meaning.
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const Words8 w = Load8(buffer + i);
        const Words8 marker = __builtin_convertvector((w == kMarkerDevice) | (w == kMarkerNotArmed), Words8);
        const Words8 out = (w & marker) | (((w & keep) | put) & ~marker);
        std::memcpy(buffer + i, &out, sizeof out);
    }
    for (; i < count; ++i) {
        const uint16_t w = buffer[i];
        if (w == kMarkerDevice || w == kMarkerNotArmed) continue;
        buffer[i] = static_cast<uint16_t>((w & keep) | put);
    }
}

}  // namespace rollmode::driver
