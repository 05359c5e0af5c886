#pragma once
// A scan over a run of 16-bit stream words for the rare word that needs attention (an empty
// position, a record's word 0, a mark), 32 words a step with the compiler's portable vectors.
// Blocks at high rates are long runs of samples, and a word-by-word loop over them costs
// several times what the scan does.
#include <cstdint>
#include <cstring>

namespace rollmode::platform {

// Index of the first word at most `limit` in words[i .. end-1], or end.
inline uint32_t FirstWordAtMost(const uint16_t* words, uint32_t i, uint32_t end, uint16_t limit) {
    using Words8 = uint16_t __attribute__((vector_size(16)));
    const Words8 top = Words8{} + limit;
    const auto load = [words](uint32_t k) {
        Words8 v;
        std::memcpy(&v, words + k, sizeof v);
        return v;
    };
    for (; i + 32 <= end; i += 32) {
        const auto hit = (load(i) <= top) | (load(i + 8) <= top) | (load(i + 16) <= top) | (load(i + 24) <= top);
        uint64_t half[2];
        std::memcpy(half, &hit, sizeof half);
        if ((half[0] | half[1]) != 0) break;
    }
    while (i < end && words[i] > limit) ++i;
    return i;
}

}  // namespace rollmode::platform
