#pragma once
// The roll data path behind the data-read command: FIFO read, removal of empty positions,
// software trigger search, ARM marking and ground substitution, all in place in the host's buffer.
#include <array>
#include <cstdint>

#include "FailureFlag.h"
#include "rollmode/Abi.h"

namespace rollmode::driver {

inline constexpr uint32_t kRollBlockWords = 32768;
inline constexpr uint32_t kRollFifo = 1;

inline constexpr uint8_t kStatusTriggered = 0x22;
inline constexpr uint8_t kStatusWaiting = 0x11;

inline constexpr uint16_t kMarkerDevice = 1;
inline constexpr uint16_t kMarkerNotArmed = 2;

inline constexpr uint8_t kTriggerState1 = 1;  // condition not met
inline constexpr uint8_t kTriggerState3 = 3;  // condition met

// Trigger flag bits.
inline constexpr uint8_t kTrigSourceA = 0x01, kTrigSourceB = 0x02, kTrigUnderA = 0x04, kTrigUnderB = 0x08;
// ARM flag bits.
inline constexpr uint8_t kArmSourceA = 0x01, kArmSourceB = 0x02, kArmUnderA = 0x04, kArmUnderB = 0x08,
                         kArmSourceExternal = 0x10, kArmUnderExternal = 0x20;

// The threshold, in sample codes, of a level in millivolts: nearest integer (ties to even) of
// (zeroCode x m + level) / m, with m the millivolts per code. An extreme level (a hand-edited
// settings file) lands beyond the 32-bit range; it is held at the range's end, which still
// compares beyond every sample code, instead of being cast, which is undefined (on x86 it
// wraps to the most negative value and inverts the trigger).
int32_t ThresholdForLevel(double zeroCode, double millivoltsPerCode, int32_t level);

enum class EntryStage : uint8_t { Plain, GroundSubstitution };
enum class ReadStage : uint8_t { FirstRead, NormalRead };
enum class Processor : uint8_t { PlainCompaction, TriggerSearch, ArmProcessing };

class RollDataPath {
public:
    // Settings, written by the command set.
    uint8_t triggerFlags = 0;
    uint8_t armFlags = 0;
    bool triggerRelationAnd = false;
    bool recordFree = true;
    std::array<int32_t, 2> triggerThreshold{};
    std::array<int32_t, 2> armThreshold{};
    std::array<bool, 2> ground{};
    std::array<int32_t, 2> groundZeroCode{};

    // Processing state.
    std::array<uint8_t, 2> triggerState{kTriggerState1, kTriggerState1};
    bool triggerFound = false;
    uint8_t previousArmStatus = kStatusWaiting;
    EntryStage entry = EntryStage::Plain;
    ReadStage read = ReadStage::FirstRead;
    Processor processor = Processor::PlainCompaction;

    // Where the read stage gets its data from; without a reader a read delivers nothing.
    void SetSource(abi::USBRollFIFOReadFn reader, const FailureFlag* failure) {
        reader_ = reader;
        failure_ = failure;
    }

    // ARM source A or B → ARM processing; else record-free → plain compaction; else trigger search.
    void SelectProcessor();
    // Entry stage for ground A/B.
    void SelectEntry() { entry = (ground[0] || ground[1]) ? EntryStage::GroundSubstitution : EntryStage::Plain; }

    // The stages, each over buffer[start .. end-1] with the number of words delivered in *count.
    uint32_t RunEntry(uint16_t* buffer, uint32_t* count, uint32_t start, uint32_t end);
    uint32_t RunRead(uint16_t* buffer, uint32_t* count, uint32_t start, uint32_t end);
    uint32_t RunProcessor(uint16_t* buffer, uint32_t* count, uint32_t start, uint32_t end);

    uint32_t PlainCompaction(uint16_t* buffer, uint32_t* count, uint32_t start, uint32_t end);
    uint32_t TriggerSearch(uint16_t* buffer, uint32_t* count, uint32_t start, uint32_t end);
    uint32_t ArmProcessing(uint16_t* buffer, uint32_t* count, uint32_t start, uint32_t end);

    bool TriggerTest(uint16_t word);
    uint16_t ArmCheck(uint16_t word) const;
    void SubstituteGround(uint16_t* buffer, uint32_t count) const;

private:
    abi::USBRollFIFOReadFn reader_ = nullptr;
    const FailureFlag* failure_ = nullptr;
};

}  // namespace rollmode::driver
