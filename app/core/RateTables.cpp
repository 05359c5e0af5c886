#include "RateTables.h"

namespace rollmode::core {
static_assert(SamplesPerSecond(0) == 50 && SamplesPerSecond(15) == 5000000);
static_assert(Deflection(4, 9) == 5000000 && Deflection(1, 0) == 1);
}  // namespace rollmode::core
