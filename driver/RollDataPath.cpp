#include "RollDataPath.h"

#include <algorithm>
#include <cstring>

namespace rollmode::driver {

namespace {

// Copies the non-zero words of buffer[from .. end-1] to the front; the write position never
// passes the read position, so this works in place.
inline uint32_t CompactNonZero(uint16_t* buffer, uint32_t from, uint32_t end) {
    uint32_t n = 0;
    for (uint32_t i = from; i < end; ++i) {
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

// The ARM settings as two 256-entry tables: non-zero where a channel's code is on the wrong
// side of its level (a disabled channel never withholds).
struct ArmChecker {
    std::array<uint8_t, 256> outA{};
    std::array<uint8_t, 256> outB{};

    explicit ArmChecker(const RollDataPath& p) {
        const bool sourceA = p.armFlags & kArmSourceA, underA = p.armFlags & kArmUnderA;
        const bool sourceB = p.armFlags & kArmSourceB, underB = p.armFlags & kArmUnderB;
        for (int32_t code = 0; code < 256; ++code) {
            outA[code] = sourceA && (underA ? code > p.armThreshold[0] : code < p.armThreshold[0]);
            outB[code] = sourceB && (underB ? code > p.armThreshold[1] : code < p.armThreshold[1]);
        }
    }

    inline uint16_t Check(uint16_t word) const {
        const bool withheld = (word > kMarkerNotArmed) & ((outA[word & 0xFF] | outB[word >> 8]) != 0);
        return withheld ? kMarkerNotArmed : word;
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

uint32_t RollDataPath::PlainCompaction(uint16_t* buffer, uint32_t* count, uint32_t start, uint32_t end) {
    *count = start < end ? CompactNonZero(buffer, start, end) : 0;
    return kStatusTriggered;
}

namespace {

// After a failed test both states are 1, and from there on a test depends on the word alone: each
// channel's condition becomes a 256-entry table and "met" a sum that reaches 1 (either) or 2 (both).
// A disabled channel counts as met under "both" and as not met under "either".
struct StatelessTrigger {
    std::array<uint8_t, 256> a{};
    std::array<uint8_t, 256> b{};
    uint8_t need = 1;
    bool possible = false;

    explicit StatelessTrigger(const TriggerTester& t) {
        possible = t.sourceA || t.sourceB;
        need = t.relationAnd ? 2 : 1;
        for (int32_t code = 0; code < 256; ++code) {
            a[code] = t.sourceA ? (t.underA ? code < t.thresholdA : code > t.thresholdA) : t.relationAnd;
            b[code] = t.sourceB ? (t.underB ? code < t.thresholdB : code > t.thresholdB) : t.relationAnd;
        }
    }

    inline bool Met(uint16_t w) const { return (w > kMarkerNotArmed) & (a[w & 0xFF] + b[w >> 8] >= need); }

    // Index of the first word that meets the condition, or `end`.
    uint32_t Find(const uint16_t* buffer, uint32_t i, uint32_t end) const {
        if (!possible) return end;
        constexpr uint32_t kChunk = 16;
        for (; i + kChunk <= end; i += kChunk) {
            bool any = false;
            for (uint32_t k = 0; k < kChunk; ++k) any |= Met(buffer[i + k]);
            if (any) break;
        }
        for (; i < end; ++i) {
            if (Met(buffer[i])) return i;
        }
        return end;
    }
};

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
        found = StatelessTrigger(tester).Find(buffer, i, end);
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

uint32_t RollDataPath::ArmProcessing(uint16_t* buffer, uint32_t* count, uint32_t start, uint32_t end) {
    const ArmChecker checker(*this);
    uint32_t n = 0;
    for (uint32_t i = start; i < end; ++i) {
        const uint16_t w = checker.Check(buffer[i]);
        buffer[n] = w;
        n += w != 0;
    }
    uint8_t armStatus = previousArmStatus;
    if (n > 0) armStatus = buffer[n - 1] == kMarkerNotArmed ? kStatusWaiting : kStatusTriggered;
    previousArmStatus = armStatus;
    *count = n;

    if (!recordFree && n > 0 && !triggerFound) {
        const uint32_t search = TriggerSearch(buffer, count, 0, n);
        return (search & 0x0F) | (armStatus & 0xF0);
    }
    return armStatus;
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
    for (uint32_t i = 0; i < count; ++i) {
        const uint16_t w = buffer[i];
        // Markers are not samples and keep their meaning.
        if (w == kMarkerDevice || w == kMarkerNotArmed) continue;
        buffer[i] = static_cast<uint16_t>((w & keep) | put);
    }
}

}  // namespace rollmode::driver
