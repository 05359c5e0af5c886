// The library's three exports. Nothing else is visible, and nothing leaves as an exception.
#include <cstdint>

#include "PeltaDriver.h"
#include "rollmode/Abi.h"

namespace {

// Its destructor runs when the library is unloaded and releases the transport, so a host may
// simply unload the library without calling DeInitializeDevice.
rollmode::driver::PeltaDriver g_driver("brask.dll");

rollmode::driver::PeltaDriver& Driver() { return g_driver; }

}  // namespace

ROLLMODE_EXPORT int32_t ROLLMODE_STDCALL InitializeDevice(void* rangeTable) {
    try {
        return Driver().InitializeDevice(rangeTable);
    } catch (...) {
        return 4;  // initialisation failed; the host offers a retry
    }
}

ROLLMODE_EXPORT uint8_t ROLLMODE_STDCALL DeInitializeDevice() {
    try {
        return Driver().DeInitializeDevice() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

ROLLMODE_EXPORT uint32_t ROLLMODE_STDCALL DeviceFunction(uint32_t code, uint16_t* data, uint32_t /*spare1*/,
                                                         uint8_t* version, uint32_t /*spare2*/, uintptr_t value,
                                                         uint32_t* result) {
    try {
        return Driver().DeviceFunction(code, data, version, value, result);
    } catch (...) {
        return 0;
    }
}
