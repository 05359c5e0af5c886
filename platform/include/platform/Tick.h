#pragma once
#include <cstdint>

namespace rollmode::platform {

// Milliseconds from the steady clock, wrapping modulo 2^32 like the system tick.
uint32_t TickCount();

// Sleeps the calling thread.
void SleepMs(uint32_t milliseconds);

}  // namespace rollmode::platform
