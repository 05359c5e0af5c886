#pragma once
// The test-control side of the fake driver library: what it recorded and how a
// test scripts its answers. The tests bind these by name like the real entry points.
#include <cstdint>

namespace fakedriver {

struct Call {
    uint32_t code;
    uintptr_t value;
    uint32_t spare1;
    uint32_t spare2;
    uint8_t hadData;     // data pointer was not null
    uint8_t hadVersion;  // version pointer was not null
    uint8_t hadResult;   // result pointer was not null
};

inline constexpr uint32_t kMaxCalls = 8192;
inline constexpr uint32_t kCodes = 64;

using ResetFn = void (*)();
// InitializeDevice answers these in turn, then the last one again; an empty list answers 0.
using SetInitResultsFn = void (*)(const int32_t* results, uint32_t n);
using InitCallCountFn = uint32_t (*)();
// Out-value a code writes through its result pointer; codes without one leave it alone.
using SetResultFn = void (*)(uint32_t code, uint32_t value);
// Return value of a code (default 0).
using SetReturnFn = void (*)(uint32_t code, uint32_t value);
// Bytes codes 2 and 3 write through the version pointer.
using SetVersionFn = void (*)(uint32_t code, uint8_t major, uint8_t minor);
// Words code 14 copies into the data buffer; it reports their number as the count.
using SetReadDataFn = void (*)(const uint16_t* words, uint32_t n);
using CallCountFn = uint32_t (*)();
using GetCallFn = int32_t (*)(uint32_t index, Call* out);
// The failure flag's address given with code 1 (0 before).
using FailureFlagFn = uintptr_t (*)();
// Writes 1 into the failure flag from a thread of its own, as the transport does.
using FailUsbFn = void (*)();
// The range-table area last passed to InitializeDevice.
using LastRangeTableFn = void* (*)();

}  // namespace fakedriver
