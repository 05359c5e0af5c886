#pragma once
// The on-disk layout of a record index (docs/record-index.md). Little-endian, fixed-size
// entries, so a file is used through a mapping without parsing. Every offset and count
// read from a file is checked against the file's size before it is used.
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "RecordFileReader.h"

namespace rollmode::records::indexformat {

static_assert(std::endian::native == std::endian::little, "the index is stored in the host's little-endian order");

inline constexpr std::array<char, 8> kMagic = {'R', 'M', 'I', 'N', 'D', 'E', 'X', '\x1a'};
inline constexpr uint32_t kVersion = 1;
inline constexpr uint64_t kHeaderBytes = 4096;
inline constexpr int kBucketShift = 8;  // a level-0 bucket holds 256 instants
inline constexpr int kFanShift = 4;     // a bucket of level L + 1 merges 16 of level L
inline constexpr int kLevels = 14;      // the top level's bucket holds 2^60 instants
inline constexpr int kCheckpointShift = 16;  // an offset table entry every 65,536 instants
inline constexpr uint64_t kFingerprintBytes = 4096;
// Instants a record of 2^63 bytes could hold; larger counts in a header are damage.
inline constexpr uint64_t kMaxInstants = uint64_t{1} << 62;

inline constexpr int BucketShift(int level) { return kBucketShift + kFanShift * level; }

// Minimum and maximum codes of both channels over one bucket. A bucket without a sample
// word has min 255 and max 0 in both channels.
struct BucketCodes {
    uint8_t minA = 255, maxA = 0, minB = 255, maxB = 0;

    bool Empty() const { return minA > maxA; }
    void AddWord(uint16_t word) {
        const auto a = static_cast<uint8_t>(word & 0xFF), b = static_cast<uint8_t>(word >> 8);
        minA = a < minA ? a : minA;
        maxA = a > maxA ? a : maxA;
        minB = b < minB ? b : minB;
        maxB = b > maxB ? b : maxB;
    }
    void Merge(const BucketCodes& o) {
        minA = o.minA < minA ? o.minA : minA;
        maxA = o.maxA > maxA ? o.maxA : maxA;
        minB = o.minB < minB ? o.minB : minB;
        maxB = o.maxB > maxB ? o.maxB : maxB;
    }
};
static_assert(sizeof(BucketCodes) == 4);

// The settings in force at an instant, packed.
struct PackedSettings {
    uint32_t samplesPerSecond = 0;
    uint32_t deflection[2] = {0, 0};
    int16_t zeroCode[2] = {0, 0};
    int16_t probe[2] = {0, 0};
    uint16_t deviceLevel[2] = {0, 0};
    uint8_t flags = 0;  // bit 0 started, 1-2 DC A/B, 3-4 ground A/B, 5-6 zero known A/B
    uint8_t reserved[3] = {0, 0, 0};
};
static_assert(sizeof(PackedSettings) == 28);

PackedSettings Pack(const RecordSettings& s);
RecordSettings Unpack(const PackedSettings& p);

// Where the instant k x 65,536 starts in the record, and the settings in force for it.
struct Checkpoint {
    uint64_t offset = 0;
    PackedSettings settings;
    uint32_t reserved = 0;
};
static_assert(sizeof(Checkpoint) == 40);

// A settings record (measurement starts and stops included) or an overflow mark.
struct EventEntry {
    uint64_t instant = 0;
    uint64_t offset = 0;
    // Where reading can start to reach the instants of the event's level-0 bucket: the
    // word of its first instant when the event lies inside the bucket, else the event.
    // A bucket whose samples a settings change splits is read from here, not from the
    // offset table's entry up to 65,535 instants before it.
    uint64_t anchor = 0;
    uint16_t code = 0;   // settings record code; 0 for an overflow mark
    uint16_t args[3] = {0, 0, 0};
};
static_assert(sizeof(EventEntry) == 32);

struct StretchEntry {
    uint64_t first = 0;
    uint64_t count = 0;
};
static_assert(sizeof(StretchEntry) == 16);

struct Header {
    std::array<char, 8> magic = kMagic;
    uint32_t version = kVersion;
    uint32_t headerBytes = static_cast<uint32_t>(kHeaderBytes);
    uint64_t recordBytes = 0;      // bytes of the record covered (whole items)
    uint64_t instants = 0;         // instants in those bytes
    uint64_t resumeOffset = 0;     // just after the last instant of the last whole level-0 bucket
    uint64_t headFingerprint = 0;  // of the record's first min(4096, recordBytes) bytes
    uint64_t tailFingerprint = 0;  // of the 4096 bytes (or fewer) before recordBytes
    uint64_t capacityInstants = 0; // sizes the level and checkpoint sections
    uint64_t listsOffset = 0;
    uint64_t eventCount = 0;
    uint64_t stretchCount = 0;
    uint64_t fileBytes = 0;
    uint64_t checksum = 0;  // of the header (with this field 0) and every used byte after it
};
static_assert(std::is_trivially_copyable_v<Header>);

// Section offsets of an index sized for `capacityInstants`. Upper levels and the
// checkpoints come first so that level 0, the big one, ends the sections and the lists
// follow its used part.
struct Layout {
    uint64_t capacityInstants = 0;
    uint64_t checkpointOffset = 0;
    uint64_t checkpointCapacity = 0;
    std::array<uint64_t, kLevels> levelOffset{};
    std::array<uint64_t, kLevels> levelCapacity{};
    uint64_t end = 0;  // end of level 0's capacity

    static Layout For(uint64_t capacityInstants);
    // Bytes up to the end of level 0's entries for `instants`, rounded to 8.
    uint64_t UsedEnd(uint64_t instants) const;
};

// 64-bit fingerprint of a byte range; `seed` chains ranges.
uint64_t Hash(const void* data, std::size_t bytes, uint64_t seed = 0);

// The checksum a header carries: over the header, the used sections of the mapped file
// `base` and the lists at `lists`. The header must already be checked to describe
// sections inside the file.
// `done` (may be null) is told of every 8 MiB of the sections hashed, so that a caller
// can drop the pages: the pass then needs constant memory for any index size.
using HashedBytes = void (*)(const uint8_t* data, uint64_t bytes);
uint64_t Checksum(const uint8_t* base, const Header& header, const uint8_t* lists, HashedBytes done = nullptr);

}  // namespace rollmode::records::indexformat
