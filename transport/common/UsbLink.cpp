#include "UsbLink.h"

#include <cstring>

namespace rollmode::transport {

bool UsbLink::Request(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outCapacity,
                      uint32_t* returned) {
    if (!device_) return false;
    return device_->Control(code, in, inLength, out, outCapacity, returned);
}

void UsbLink::Fail() {
    if (callback_) callback_(0);
}

bool UsbLink::SendBuffer(bool report) {
    if (fill_ == 0) return true;
    const bool ok = Request(kSendCommands, commands_.data(), static_cast<uint32_t>(fill_), nullptr, 0);
    fill_ = 0;
    if (!ok && report) Fail();
    return ok;
}

bool UsbLink::BulkWrite(const void* data, uint32_t length, bool report) {
    const bool ok = Request(kBulkWrite, data, length, nullptr, 0);
    if (!ok && report) Fail();
    return ok;
}

bool UsbLink::BulkRead(void* data, uint32_t length, bool report) {
    uint32_t got = 0;
    const bool ok = Request(kBulkRead, nullptr, 0, data, length, &got);
    // A short answer must not leave stale bytes that look like fresh data.
    if (ok && got < length) std::memset(static_cast<uint8_t*>(data) + got, 0, length - got);
    if (!ok && report) Fail();
    return ok;
}

bool UsbLink::QueryPacketSize(uint16_t* size, bool report) {
    uint8_t in[4];
    uint8_t out[4] = {};
    platform::PutLe32(in, packetSize_);
    uint32_t got = 0;
    const bool ok = Request(kPacketSize, in, sizeof(in), out, sizeof(out), &got) && got == sizeof(out);
    if (!ok) {
        if (report) Fail();
        return false;
    }
    *size = static_cast<uint16_t>(platform::GetLe32(out));
    return true;
}

void UsbLink::AddByte(uint8_t b) {
    if (!sendWhenFull_ && fill_ == commands_.size()) SendBuffer(true);
    commands_[fill_++] = b;
    if (sendWhenFull_ && fill_ == commands_.size()) SendBuffer(true);
}

void UsbLink::AddCommand(uint8_t op, uint8_t p1, uint8_t p2, uint8_t p3) {
    AddByte(op);
    AddByte(p1);
    AddByte(p2);
    AddByte(p3);
}

uint32_t UsbLink::ConfigureFpga(const uint8_t* data, uint32_t length) {
    const uint32_t size = packetSize_ ? packetSize_ : kInitialPacketSize;
    const uint32_t packets = length / size + (length % size ? 1 : 0);
    AddCommand(0x20, static_cast<uint8_t>(packets >> 8), static_cast<uint8_t>(packets), 0x21);
    SendBuffer(true);
    BulkWrite(data, length, true);
    uint8_t answer[4] = {};
    BulkRead(answer, sizeof(answer), true);
    return platform::GetLe32(answer);
}

uint16_t UsbLink::SingleRead(uint32_t reg) {
    AddCommand(0x24, static_cast<uint8_t>(reg), 0, 0);
    SendBuffer(true);
    uint8_t answer[4] = {};
    BulkRead(answer, sizeof(answer), true);
    return static_cast<uint16_t>(answer[0] * 256 + answer[1]);
}

void UsbLink::SingleWrite(uint32_t reg, uint32_t value, bool flush) {
    AddCommand(0x26, static_cast<uint8_t>(reg), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value));
    if (flush) SendBuffer(true);
}

uint32_t UsbLink::FifoTransfer(uint8_t op, uint32_t fifo, void* buffer, uint32_t length, bool read) {
    const uint32_t size = packetSize_ ? packetSize_ : kInitialPacketSize;
    // A length that is not a whole number of packets announces the whole packets
    // only; the transfer itself still moves every byte.
    const uint32_t packets = length / size;
    AddCommand(op, static_cast<uint8_t>(fifo), static_cast<uint8_t>(packets >> 8), static_cast<uint8_t>(packets));
    SendBuffer(true);
    const bool ok = read ? BulkRead(buffer, length, true) : BulkWrite(buffer, length, true);
    return ok ? 1 : 0;
}

uint32_t UsbLink::ReadEeprom(uint32_t address) {
    AddCommand(0x01, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address), 0x04);
    SendBuffer(true);
    uint8_t answer[4] = {};
    BulkRead(answer, sizeof(answer), true);
    return platform::GetLe32(answer);
}

void UsbLink::WriteEeprom(uint32_t address, uint32_t value) {
    AddCommand(0x02, 0x13, 0, 0);
    AddCommand(0x03, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address), static_cast<uint8_t>(value));
    SendBuffer(true);
}

bool UsbLink::QueryBytes(Query query, uint8_t* answer, uint32_t length) {
    AddCommand(0x01, 0, 0, static_cast<uint8_t>(query));
    SendBuffer(true);
    return BulkRead(answer, length, true);
}

uint32_t UsbLink::QueryWord(Query query) {
    uint8_t answer[4] = {};
    QueryBytes(query, answer, sizeof(answer));
    return platform::GetLe32(answer);
}

uint32_t UsbLink::DeviceReady() { return Request(kReadyProbe, nullptr, 0, nullptr, 0) ? 1 : 0; }

uint8_t* WriteDriverVersion(uint8_t* version) {
    if (version) {
        version[0] = 1;
        version[1] = 0;
    }
    return version;
}

}  // namespace rollmode::transport

namespace rollmode::transport {

uint32_t OpenFirstDevice(std::string_view classGuid, platform::DeviceHandle& handle, UsbLink& link) noexcept {
    constexpr uint32_t kFailed = 256;
    handle.Close();
    link.SetDevice(&handle);
    try {
        const auto interfaces = platform::EnumerateDeviceInterfaces(classGuid);
        if (!interfaces || interfaces->empty() || !interfaces->front().path) return kFailed;
        handle = platform::DeviceHandle::Open(*interfaces->front().path);
    } catch (...) {
        return kFailed;
    }
    if (!handle) return kFailed;
    uint16_t size = 0;
    // A device that reports a packet size of 0 keeps the previous one: every
    // packet count divides by it.
    if (link.QueryPacketSize(&size, true) && size != 0) link.SetPacketSize(size);
    return 0;
}

}  // namespace rollmode::transport
