// brask: USB transport for the single-device instrument family. One open device;
// the callers use it from one thread at a time, so the state below has no lock.
#include <algorithm>
#include <array>
#include <cstring>

#include "UsbLink.h"
#include "rollmode/Abi.h"

using rollmode::abi::UsbCallback;
using rollmode::transport::Query;
using rollmode::transport::UsbLink;

namespace {

constexpr char kInterfaceClass[] = "{710177AB-8588-4E5C-89EF-67E2A92E861E}";
constexpr size_t kCommandBufferBytes = 16384;

// JTAG read-back: each fetch brings 16 bytes (up to 128 captured TDO bits).
constexpr size_t kTdoStoreBytes = 16386;
constexpr size_t kTdoFetchBytes = 16;
constexpr uint32_t kTdoMaxPending = 128;

struct TdoStore {
    std::array<uint8_t, kTdoStoreBytes> bytes{};
    size_t writeOffset = 0;
    uint32_t pending = 0;
    size_t readByte = 0;
    uint32_t readBit = 0;
};

std::array<uint8_t, kCommandBufferBytes> g_commands;
rollmode::platform::DeviceHandle g_device;
UsbLink g_link = [] {
    UsbLink link(g_commands, /*sendWhenFull=*/true);
    link.SetDevice(&g_device);
    return link;
}();
TdoStore g_tdo;

void FetchTdo() {
    uint8_t capture[kTdoFetchBytes] = {};
    g_link.QueryBytes(Query::TdoCapture, capture, sizeof(capture));
    const uint32_t n = g_tdo.pending;
    if (n < kTdoMaxPending) {
        // The device shifts bits in from the top: move a partly filled byte down to bit 0.
        capture[n / 8] = static_cast<uint8_t>(capture[n / 8] >> ((8 - n % 8) % 8));
    }
    // A capture run that is never reset stops storing at the end of the store
    // instead of writing past it; later bits read as 0.
    if (g_tdo.writeOffset + kTdoFetchBytes <= kTdoStoreBytes) {
        std::memcpy(g_tdo.bytes.data() + g_tdo.writeOffset, capture, kTdoFetchBytes);
        g_tdo.writeOffset += kTdoFetchBytes;
    }
    g_tdo.pending = 0;
    g_link.AddCommand(0x32, 0, 0, 0);
}

}  // namespace

ROLLMODE_EXPORT uint32_t ROLLMODE_STDCALL USBInitDevice() noexcept {
    return rollmode::transport::OpenFirstDevice(kInterfaceClass, g_device, g_link);
}

ROLLMODE_EXPORT uint32_t ROLLMODE_STDCALL DeviceReady() noexcept {
    return g_link.DeviceReady();
}

ROLLMODE_EXPORT uint8_t* ROLLMODE_STDCALL GetDriverVersion(uint8_t* DrvVersion) noexcept {
    return rollmode::transport::WriteDriverVersion(DrvVersion);
}

ROLLMODE_EXPORT uint32_t ROLLMODE_STDCALL USBGetDriverVersion() noexcept { return 100; }

ROLLMODE_EXPORT void ROLLMODE_STDCALL USBFlushBuffer() noexcept { g_link.Flush(); }

ROLLMODE_EXPORT uint32_t ROLLMODE_STDCALL USBConfigureFPGA(const uint8_t* data, uint32_t length) noexcept {
    return g_link.ConfigureFpga(data, length);
}

ROLLMODE_EXPORT uint16_t ROLLMODE_STDCALL USBSingleRead(uint32_t address) noexcept {
    return g_link.SingleRead(address);
}

ROLLMODE_EXPORT void ROLLMODE_STDCALL USBSingleWrite(uint32_t address, uint32_t value) noexcept {
    g_link.SingleWrite(address, value, true);
}

ROLLMODE_EXPORT void ROLLMODE_STDCALL USBSingleWriteWithoutFlush(uint32_t address, uint32_t value) noexcept {
    g_link.SingleWrite(address, value, false);
}

ROLLMODE_EXPORT uint32_t ROLLMODE_STDCALL USBSetShift(uint32_t, uint32_t) noexcept { return 0; }

ROLLMODE_EXPORT uint32_t ROLLMODE_STDCALL USBFIFORead(uint32_t fifo, void* buffer, uint32_t length) noexcept {
    return g_link.FifoTransfer(0x27, fifo, buffer, length, true);
}

ROLLMODE_EXPORT uint32_t ROLLMODE_STDCALL USBFIFOWrite(uint32_t fifo, const void* buffer, uint32_t length) noexcept {
    return g_link.FifoTransfer(0x29, fifo, const_cast<void*>(buffer), length, false);
}

ROLLMODE_EXPORT uint32_t ROLLMODE_STDCALL USBRollFIFORead(uint32_t fifo, void* buffer, uint32_t length) noexcept {
    return g_link.FifoTransfer(0x2B, fifo, buffer, length, true);
}

ROLLMODE_EXPORT uint32_t ROLLMODE_STDCALL USBGetPacketSize() noexcept {
    uint16_t size = g_link.PacketSize();
    g_link.QueryPacketSize(&size, true);
    return size;
}

ROLLMODE_EXPORT uint32_t ROLLMODE_STDCALL USBRawWrite(const void* data, uint32_t length) noexcept {
    g_link.SendBuffer(false);
    return g_link.BulkWrite(data, length, false) ? 1 : 0;
}

ROLLMODE_EXPORT uint32_t ROLLMODE_STDCALL USBReadFromEEPROM(uint32_t address) noexcept {
    return g_link.ReadEeprom(address);
}

ROLLMODE_EXPORT void ROLLMODE_STDCALL USBWriteToEEPROM(uint32_t address, uint32_t value) noexcept {
    g_link.WriteEeprom(address, value);
}

ROLLMODE_EXPORT uint32_t ROLLMODE_STDCALL USBGetDeviceID() noexcept { return g_link.QueryWord(Query::DeviceId); }

ROLLMODE_EXPORT uint32_t ROLLMODE_STDCALL USBGetPowerState() noexcept {
    return g_link.QueryWord(Query::PowerState);
}

ROLLMODE_EXPORT void ROLLMODE_STDCALL USBSetCPLDPort(uint32_t Port) noexcept {
    g_link.AddCommand(0x30, static_cast<uint8_t>(Port), 0, 0);
}

ROLLMODE_EXPORT uint32_t ROLLMODE_STDCALL USBGetTDO() noexcept {
    return g_link.QueryWord(Query::TdoLine) != 0 ? 1 : 0;
}

ROLLMODE_EXPORT void ROLLMODE_STDCALL USBResetTDOBuffer() noexcept {
    g_link.AddCommand(0x32, 0, 0, 0);
    g_tdo.writeOffset = 0;
    g_tdo.pending = 0;
    g_tdo.readByte = 0;
    g_tdo.readBit = 0;
}

ROLLMODE_EXPORT void ROLLMODE_STDCALL USBAddTDOToBuffer() noexcept {
    if (g_tdo.pending >= kTdoMaxPending) FetchTdo();
    g_link.AddCommand(0x34, 0, 0, 0);
    ++g_tdo.pending;
}

ROLLMODE_EXPORT uint32_t ROLLMODE_STDCALL USBGetTDOFromBuffer() noexcept {
    if (g_tdo.pending > 0) FetchTdo();
    // Nothing captured at this position (or the store ran full): read 0, stay put.
    if (g_tdo.readByte >= g_tdo.writeOffset) return 0;
    const uint32_t bit = (g_tdo.bytes[g_tdo.readByte] >> g_tdo.readBit) & 1u;
    if (++g_tdo.readBit == 8) {
        g_tdo.readBit = 0;
        ++g_tdo.readByte;
    }
    return bit;
}

ROLLMODE_EXPORT void ROLLMODE_STDCALL USBWaitMs(uint32_t milliseconds) noexcept {
    while (milliseconds > 0) {
        const uint32_t chunk = std::min<uint32_t>(milliseconds, 250);
        g_link.AddCommand(0x35, static_cast<uint8_t>(chunk), 0, 0);
        milliseconds -= chunk;
    }
}

ROLLMODE_EXPORT uint32_t ROLLMODE_STDCALL USBGetCPLDID() noexcept {
    return g_link.QueryWord(Query::CpldId) & 0xFFu;
}

ROLLMODE_EXPORT void ROLLMODE_STDCALL USBSetCallBackFunction(UsbCallback PointerToCallBack) noexcept {
    g_link.SetCallback(PointerToCallBack);
}
