#include "IndexFormat.h"

#include <cstring>

namespace rollmode::records::indexformat {

PackedSettings Pack(const RecordSettings& s) {
    PackedSettings p;
    p.samplesPerSecond = s.samplesPerSecond;
    for (int c = 0; c < 2; ++c) {
        p.deflection[c] = s.deflection[c];
        p.zeroCode[c] = static_cast<int16_t>(s.zeroCode[c]);
        p.probe[c] = static_cast<int16_t>(s.probe[c]);
        p.deviceLevel[c] = s.deviceLevel[c];
    }
    p.flags = static_cast<uint8_t>((s.measurementStarted ? 1 : 0) | (s.dcCoupling[0] ? 2 : 0) |
                                   (s.dcCoupling[1] ? 4 : 0) | (s.ground[0] ? 8 : 0) | (s.ground[1] ? 16 : 0) |
                                   (s.zeroKnown[0] ? 32 : 0) | (s.zeroKnown[1] ? 64 : 0));
    return p;
}

RecordSettings Unpack(const PackedSettings& p) {
    RecordSettings s;
    s.samplesPerSecond = p.samplesPerSecond;
    for (int c = 0; c < 2; ++c) {
        s.deflection[c] = p.deflection[c];
        s.zeroCode[c] = p.zeroCode[c];
        s.probe[c] = p.probe[c];
        s.deviceLevel[c] = p.deviceLevel[c];
    }
    s.measurementStarted = (p.flags & 1) != 0;
    s.dcCoupling = {(p.flags & 2) != 0, (p.flags & 4) != 0};
    s.ground = {(p.flags & 8) != 0, (p.flags & 16) != 0};
    s.zeroKnown = {(p.flags & 32) != 0, (p.flags & 64) != 0};
    return s;
}

Layout Layout::For(uint64_t capacityInstants) {
    Layout l;
    l.capacityInstants = capacityInstants;
    uint64_t at = kHeaderBytes;
    l.checkpointOffset = at;
    l.checkpointCapacity = (capacityInstants >> kCheckpointShift) + 1;
    at += l.checkpointCapacity * sizeof(Checkpoint);
    for (int level = kLevels - 1; level >= 0; --level) {
        l.levelCapacity[level] = capacityInstants >> BucketShift(level);
        l.levelOffset[level] = at;
        at += l.levelCapacity[level] * sizeof(BucketCodes);
    }
    l.end = at;
    return l;
}

uint64_t Layout::UsedEnd(uint64_t instants) const {
    const uint64_t end = levelOffset[0] + (instants >> kBucketShift) * sizeof(BucketCodes);
    return (end + 7) & ~uint64_t{7};
}

uint64_t Hash(const void* data, std::size_t bytes, uint64_t seed) {
    // Four independent multiply-xor lanes keep the multiplier busy: several GB/s.
    constexpr uint64_t kMul = 0x9E3779B97F4A7C15ull;
    const auto* p = static_cast<const uint8_t*>(data);
    uint64_t h[4] = {seed ^ 0x243F6A8885A308D3ull, seed ^ 0x13198A2E03707344ull, seed ^ 0xA4093822299F31D0ull,
                     seed ^ 0x082EFA98EC4E6C89ull};
    std::size_t i = 0;
    for (; i + 32 <= bytes; i += 32) {
        for (int k = 0; k < 4; ++k) {
            uint64_t w;
            std::memcpy(&w, p + i + 8 * k, 8);
            h[k] = (h[k] ^ w) * kMul;
            h[k] ^= h[k] >> 29;
        }
    }
    uint64_t tail = 0;
    int shift = 0;
    uint64_t r = h[0] ^ (h[1] * 3) ^ (h[2] * 5) ^ (h[3] * 7) ^ bytes;
    for (; i < bytes; ++i) {
        tail |= static_cast<uint64_t>(p[i]) << shift;
        shift += 8;
        if (shift == 64) {
            r = (r ^ tail) * kMul;
            tail = 0;
            shift = 0;
        }
    }
    r = (r ^ tail) * kMul;
    r ^= r >> 31;
    r *= kMul;
    r ^= r >> 29;
    return r;
}

namespace {

uint64_t HashSlices(const uint8_t* data, uint64_t bytes, uint64_t seed, HashedBytes done) {
    constexpr uint64_t kSlice = uint64_t{8} << 20;
    for (uint64_t at = 0; at < bytes; at += kSlice) {
        const uint64_t n = bytes - at < kSlice ? bytes - at : kSlice;
        seed = Hash(data + at, n, seed);
        if (done != nullptr) done(data + at, n);
    }
    return bytes == 0 ? Hash(data, 0, seed) : seed;
}

}  // namespace

uint64_t Checksum(const uint8_t* base, const Header& header, const uint8_t* lists, HashedBytes done) {
    Header h = header;
    h.checksum = 0;
    uint64_t sum = Hash(&h, sizeof h);
    sum = Hash(base + sizeof h, kHeaderBytes - sizeof h, sum);  // the unused rest of the header block
    const Layout l = Layout::For(header.capacityInstants);
    const uint64_t checkpoints = (header.instants + (uint64_t{1} << kCheckpointShift) - 1) >> kCheckpointShift;
    sum = HashSlices(base + l.checkpointOffset, checkpoints * sizeof(Checkpoint), sum, done);
    for (int level = 0; level < kLevels; ++level)
        sum = HashSlices(base + l.levelOffset[level], (header.instants >> BucketShift(level)) * sizeof(BucketCodes), sum,
                         done);
    sum = Hash(lists,
               header.eventCount * sizeof(EventEntry) + header.stretchCount * sizeof(StretchEntry), sum);
    return sum;
}

}  // namespace rollmode::records::indexformat
