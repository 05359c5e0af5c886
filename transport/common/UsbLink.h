#pragma once
// The command protocol that brask and tolv share: 4-byte commands collected in a
// command buffer and sent in one request, answers and bulk data over bulk
// transfers, and every failed request reported through one registered callback.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/DeviceIo.h"
#include "rollmode/Abi.h"

namespace rollmode::transport {

// Device-control codes of the kernel driver (device type 0x22, method buffered).
inline constexpr uint32_t kSendCommands = 0x220018;
inline constexpr uint32_t kBulkWrite = 0x22001C;
inline constexpr uint32_t kBulkRead = 0x220024;
inline constexpr uint32_t kReadyProbe = 0x220028;
inline constexpr uint32_t kPacketSize = 0x22002C;
inline constexpr uint32_t kDeviceIdentifier = 0x220030;

inline constexpr uint16_t kInitialPacketSize = 64;

// Query selectors (third parameter of op 0x01).
enum class Query : uint8_t {
    DeviceId = 0x2A,
    PowerState = 0x2C,
    TdoLine = 0x31,
    TdoCapture = 0x33,
    CpldId = 0x36,
};

class UsbLink {
public:
    // commands is the library's command buffer; when sendWhenFull is set the append
    // that fills it sends it. Otherwise the append that would overflow it sends the
    // full buffer first, so no command is ever written past its end.
    UsbLink(std::span<uint8_t> commands, bool sendWhenFull) : commands_(commands), sendWhenFull_(sendWhenFull) {}

    // The device every request goes to; nullptr makes every request fail.
    void SetDevice(platform::DeviceHandle* device) { device_ = device; }
    platform::DeviceHandle* Device() const { return device_; }
    void SetPacketSize(uint16_t size) { packetSize_ = size; }
    uint16_t PacketSize() const { return packetSize_; }
    void SetCallback(abi::UsbCallback callback) { callback_ = callback; }

    size_t Pending() const { return fill_; }
    void Discard() { fill_ = 0; }

    // Raw driver requests. Report=true calls the callback with 0 when they fail.
    bool Request(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outCapacity,
                 uint32_t* returned = nullptr);
    bool SendBuffer(bool report);  // sends pending commands (if any) and empties the buffer
    bool BulkWrite(const void* data, uint32_t length, bool report);
    bool BulkRead(void* data, uint32_t length, bool report);
    void Fail();

    // Asks the device for its packet size; false (and, with report, a callback) on failure.
    bool QueryPacketSize(uint16_t* size, bool report);

    void AddByte(uint8_t b);
    void AddCommand(uint8_t op, uint8_t p1, uint8_t p2, uint8_t p3);

    // Exports that brask and tolv share.
    uint32_t ConfigureFpga(const uint8_t* data, uint32_t length);
    uint16_t SingleRead(uint32_t reg);
    void SingleWrite(uint32_t reg, uint32_t value, bool flush);
    uint32_t FifoTransfer(uint8_t op, uint32_t fifo, void* buffer, uint32_t length, bool read);
    uint32_t ReadEeprom(uint32_t address);
    void WriteEeprom(uint32_t address, uint32_t value);
    uint32_t QueryWord(Query query);
    bool QueryBytes(Query query, uint8_t* answer, uint32_t length);
    void Flush() { SendBuffer(false); }
    uint32_t DeviceReady();

private:
    std::span<uint8_t> commands_;
    bool sendWhenFull_;
    size_t fill_ = 0;
    platform::DeviceHandle* device_ = nullptr;
    uint16_t packetSize_ = kInitialPacketSize;
    abi::UsbCallback callback_ = nullptr;
};

// "1, 0": driver version 1.00.
uint8_t* WriteDriverVersion(uint8_t* version);

}  // namespace rollmode::transport

namespace rollmode::transport {

// Closes handle, then opens the first present interface of the class into it and asks
// for its packet size: 0 on success, 256 when no device could be opened. A failed
// packet-size request calls the callback and keeps the previous size (still 0).
uint32_t OpenFirstDevice(std::string_view classGuid, platform::DeviceHandle& handle, UsbLink& link) noexcept;

}  // namespace rollmode::transport
