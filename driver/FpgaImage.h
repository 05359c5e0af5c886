#pragma once
// The FPGA configuration image. It lives in the library's constant data scrambled with a one-byte
// mask and exists in plain form only in a temporary buffer while it is being sent.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace rollmode::driver {

inline constexpr uint32_t kFpgaImageBytes = 54979;
inline constexpr uint32_t kFpgaHeaderBytes = 16;
inline constexpr uint32_t kFpgaPayloadSeed = 0x2F6E2B1Du;
inline constexpr uint8_t kFpgaScrambleMask = 0xA5;

namespace detail {

constexpr uint32_t XorShift32(uint32_t x) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
}

// Header "RMFPGA01", payload length and payload byte sum (both big-endian), then the payload:
// the low bytes of a xorshift32 sequence from a fixed seed.
constexpr std::array<uint8_t, kFpgaImageBytes> MakePlainImage() {
    std::array<uint8_t, kFpgaImageBytes> image{};
    constexpr char kMagic[] = "RMFPGA01";
    for (size_t i = 0; i < 8; ++i) image[i] = static_cast<uint8_t>(kMagic[i]);
    uint32_t state = kFpgaPayloadSeed;
    uint32_t sum = 0;
    for (size_t i = kFpgaHeaderBytes; i < kFpgaImageBytes; ++i) {
        state = XorShift32(state);
        image[i] = static_cast<uint8_t>(state);
        sum += image[i];
    }
    constexpr uint32_t payload = kFpgaImageBytes - kFpgaHeaderBytes;
    for (int b = 0; b < 4; ++b) {
        image[8 + b] = static_cast<uint8_t>(payload >> (24 - 8 * b));
        image[12 + b] = static_cast<uint8_t>(sum >> (24 - 8 * b));
    }
    return image;
}

constexpr std::array<uint8_t, kFpgaImageBytes> MakeScrambledImage() {
    auto image = MakePlainImage();
    for (auto& byte : image) byte ^= kFpgaScrambleMask;
    return image;
}

}  // namespace detail

// The image as it is stored.
std::span<const uint8_t, kFpgaImageBytes> ScrambledFpgaImage();

// Restores the plain image into `out` (exactly kFpgaImageBytes long).
void RestoreFpgaImage(std::span<uint8_t, kFpgaImageBytes> out);

// Overwrites a buffer so that no plain image is left behind in freed memory.
void WipeBuffer(std::span<uint8_t> buffer);

}  // namespace rollmode::driver
