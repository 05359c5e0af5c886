#include "FpgaImage.h"

#include <cstring>

namespace rollmode::driver {

namespace {
constexpr auto kScrambledImage = detail::MakeScrambledImage();
}  // namespace

std::span<const uint8_t, kFpgaImageBytes> ScrambledFpgaImage() { return kScrambledImage; }

void RestoreFpgaImage(std::span<uint8_t, kFpgaImageBytes> out) {
    for (size_t i = 0; i < kFpgaImageBytes; ++i) out[i] = kScrambledImage[i] ^ kFpgaScrambleMask;
}

void WipeBuffer(std::span<uint8_t> buffer) {
    std::memset(buffer.data(), 0, buffer.size());
    // Keep the compiler from dropping the stores to memory that is about to be freed.
    __asm__ __volatile__("" : : "r"(buffer.data()) : "memory");
}

}  // namespace rollmode::driver
