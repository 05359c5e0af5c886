#include <cstdint>

extern "C" __attribute__((visibility("default"))) int32_t RollModeTestAnswer(int32_t x) { return x * 2 + 1; }
