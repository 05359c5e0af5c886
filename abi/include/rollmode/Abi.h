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

// DeviceFunction command codes: the program sends them, the driver library acts on them.
enum DeviceCode : uint8_t {
    kCodeFailureFlag = 1,
    kCodeDriverVersion = 2,
    kCodeUsbDriverVersion = 3,
    kCodeProbeA = 4,
    kCodeProbeB = 5,
    kCodeCouplingA = 6,
    kCodeCouplingB = 7,
    kCodeGroundA = 8,
    kCodeGroundB = 9,
    kCodeDensityA = 10,
    kCodeDensityB = 11,
    kCodeLevelA = 12,
    kCodeLevelB = 13,
    kCodeReadData = 14,
    kCodeSampling = 15,
    kCodeTriggerSourceA = 16,
    kCodeTriggerSourceB = 17,
    kCodeTriggerLevelA = 19,
    kCodeTriggerLevelB = 20,
    kCodeTriggerUnderA = 21,
    kCodeTriggerUnderB = 22,
    kCodeArmSourceA = 24,
    kCodeArmSourceB = 25,
    kCodeArmSourceExternal = 26,
    kCodeArmLevelA = 27,
    kCodeArmLevelB = 28,
    kCodeArmUnderA = 29,
    kCodeArmUnderB = 30,
    kCodeArmUnderExternal = 31,
    kCodeMeasurementStarted = 32,
    kCodeRecordFree = 33,
    kCodeTriggerRelation = 34,
    kCodeSerialNumber = 35,
};

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
