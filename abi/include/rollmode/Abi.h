#pragma once
// C binary interfaces of the driver library (PeltaRMDrv) and the USB transport
// libraries (brask, tolv): the entry-point types the callers bind by name.
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define ROLLMODE_STDCALL __stdcall
#else
#define ROLLMODE_STDCALL
#endif

#define ROLLMODE_EXPORT extern "C" __attribute__((visibility("default")))

namespace rollmode::abi {

inline constexpr uint32_t kRangeTableBytes = 240;

// PeltaRMDrv
using InitializeDeviceFn = int32_t(ROLLMODE_STDCALL*)(void* rangeTable);
using DeInitializeDeviceFn = uint8_t(ROLLMODE_STDCALL*)();
using DeviceFunctionFn = uint32_t(ROLLMODE_STDCALL*)(uint32_t code, uint16_t* data, uint32_t spare1,
                                                     uint8_t* version, uint32_t spare2, uintptr_t value,
                                                     uint32_t* result);

// brask / tolv
using UsbCallback = void(ROLLMODE_STDCALL*)(uint8_t status);
using USBInitDeviceFn = uint32_t(ROLLMODE_STDCALL*)();
using DeviceReadyFn = uint32_t(ROLLMODE_STDCALL*)();
using GetDriverVersionFn = uint8_t*(ROLLMODE_STDCALL*)(uint8_t* drvVersion);
using USBGetDriverVersionFn = uint32_t(ROLLMODE_STDCALL*)();
using USBFlushBufferFn = void(ROLLMODE_STDCALL*)();
using USBConfigureFPGAFn = uint32_t(ROLLMODE_STDCALL*)(const uint8_t* data, uint32_t length);
using USBSingleReadFn = uint16_t(ROLLMODE_STDCALL*)(uint32_t address);
using USBSingleWriteFn = void(ROLLMODE_STDCALL*)(uint32_t address, uint32_t value);
using USBSingleWriteWithoutFlushFn = void(ROLLMODE_STDCALL*)(uint32_t address, uint32_t value);
using USBSetShiftFn = uint32_t(ROLLMODE_STDCALL*)(uint32_t channelA, uint32_t channelB);
using USBFIFOReadFn = uint32_t(ROLLMODE_STDCALL*)(uint32_t fifo, void* buffer, uint32_t length);
using USBFIFOWriteFn = uint32_t(ROLLMODE_STDCALL*)(uint32_t fifo, const void* buffer, uint32_t length);
using USBRollFIFOReadFn = uint32_t(ROLLMODE_STDCALL*)(uint32_t fifo, void* buffer, uint32_t length);
using USBGetPacketSizeFn = uint32_t(ROLLMODE_STDCALL*)();
using USBRawWriteFn = uint32_t(ROLLMODE_STDCALL*)(const void* data, uint32_t length);
using USBReadFromEEPROMFn = uint32_t(ROLLMODE_STDCALL*)(uint32_t address);
using USBWriteToEEPROMFn = void(ROLLMODE_STDCALL*)(uint32_t address, uint32_t value);
using USBGetDeviceIDFn = uint32_t(ROLLMODE_STDCALL*)();
using USBGetPowerStateFn = uint32_t(ROLLMODE_STDCALL*)();
using USBSetCPLDPortFn = void(ROLLMODE_STDCALL*)(uint32_t port);
using USBGetTDOFn = uint32_t(ROLLMODE_STDCALL*)();
using USBResetTDOBufferFn = void(ROLLMODE_STDCALL*)();
using USBAddTDOToBufferFn = void(ROLLMODE_STDCALL*)();
using USBGetTDOFromBufferFn = uint32_t(ROLLMODE_STDCALL*)();
using USBWaitMsFn = void(ROLLMODE_STDCALL*)(uint32_t milliseconds);
using USBGetCPLDIDFn = uint32_t(ROLLMODE_STDCALL*)();
using USBSetCallBackFunctionFn = void(ROLLMODE_STDCALL*)(UsbCallback callback);
using USBInitDevicesFn = uint32_t(ROLLMODE_STDCALL*)(uint32_t* deviceList);
using USBUseDeviceFn = intptr_t(ROLLMODE_STDCALL*)(uint32_t index);

}  // namespace rollmode::abi
