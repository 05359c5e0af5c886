#pragma once
// The exports both transport libraries have, declared for the fuzz targets that link
// a library's source in.
#include <cstdint>

#include "rollmode/Abi.h"

extern "C" {
uint32_t USBInitDevice() noexcept;
uint32_t DeviceReady() noexcept;
uint8_t* GetDriverVersion(uint8_t* version) noexcept;
void USBFlushBuffer() noexcept;
uint32_t USBConfigureFPGA(const uint8_t* data, uint32_t length) noexcept;
uint16_t USBSingleRead(uint32_t address) noexcept;
void USBSingleWrite(uint32_t address, uint32_t value) noexcept;
void USBSingleWriteWithoutFlush(uint32_t address, uint32_t value) noexcept;
uint32_t USBSetShift(uint32_t channelA, uint32_t channelB) noexcept;
uint32_t USBFIFORead(uint32_t fifo, void* buffer, uint32_t length) noexcept;
uint32_t USBFIFOWrite(uint32_t fifo, const void* buffer, uint32_t length) noexcept;
uint32_t USBRollFIFORead(uint32_t fifo, void* buffer, uint32_t length) noexcept;
uint32_t USBGetPacketSize() noexcept;
uint32_t USBReadFromEEPROM(uint32_t address) noexcept;
void USBWriteToEEPROM(uint32_t address, uint32_t value) noexcept;
uint32_t USBGetDeviceID() noexcept;
void USBSetCallBackFunction(rollmode::abi::UsbCallback callback) noexcept;
}

namespace rollmode::fuzz {

// Bytes to hand the transport, and room for what it reads back.
struct TransferBuffers {
    static constexpr uint32_t kMax = 65536;
    uint8_t out[kMax];
    uint8_t in[kMax];
};

}  // namespace rollmode::fuzz
