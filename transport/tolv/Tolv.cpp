// tolv: USB transport for the multi-device instrument family. A table of up to 16
// open devices; one entry is active and takes every command. One thread at a time.
#include <array>

#include "UsbLink.h"
#include "rollmode/Abi.h"

using rollmode::abi::UsbCallback;
using rollmode::platform::DeviceHandle;
using rollmode::transport::Query;
using rollmode::transport::UsbLink;

namespace {

constexpr char kInterfaceClass[] = "{FEA7AA24-D4E4-4956-ADE9-A2DECC05F7C2}";
constexpr size_t kCommandBufferBytes = 81920;
constexpr uint32_t kSlots = 16;

std::array<uint8_t, kCommandBufferBytes> g_commands;
// The buffer is sent by flushes and answer-expecting calls; a caller that lets it run
// full has it sent before the command that would not fit, never written past its end.
UsbLink g_link(g_commands, /*sendWhenFull=*/false);
std::array<DeviceHandle, kSlots> g_handles;
std::array<uint16_t, kSlots> g_packetSizes = [] {
    std::array<uint16_t, kSlots> sizes{};
    sizes.fill(rollmode::transport::kInitialPacketSize);
    return sizes;
}();
uint32_t g_active = 0;

void Activate(uint32_t index) {
    g_active = index;
    g_link.SetDevice(&g_handles[index]);
    g_link.SetPacketSize(g_packetSizes[index]);
}

}  // namespace

ROLLMODE_EXPORT uint32_t ROLLMODE_STDCALL USBInitDevice() noexcept {
    // The first device of the class goes into slot 0, which becomes active.
    Activate(0);
    const uint32_t result = rollmode::transport::OpenFirstDevice(kInterfaceClass, g_handles[0], g_link);
    g_packetSizes[0] = g_link.PacketSize();
    return result;
}

ROLLMODE_EXPORT uint32_t ROLLMODE_STDCALL USBInitDevices(uint32_t* DeviceList) noexcept {
    for (uint32_t s = 0; s < kSlots; ++s) {
        if (DeviceList) DeviceList[s] = 0;
        g_handles[s].Close();
    }
    // No entry is active until USBUseDevice picks one; commands fail meanwhile
    // instead of reaching whichever device now sits behind the old entry.
    g_link.SetDevice(nullptr);
    g_link.Discard();
    try {
        const auto interfaces = rollmode::platform::EnumerateDeviceInterfaces(kInterfaceClass);
        if (!interfaces) return 256;
        uint32_t slot = 0;
        for (const auto& entry : *interfaces) {
            if (slot == kSlots) break;
            if (!entry.path) continue;
            DeviceHandle handle = DeviceHandle::Open(*entry.path);
            if (!handle) continue;
            uint8_t in[4] = {};
            uint8_t out[4] = {};
            uint32_t got = 0;
            if (handle.Control(rollmode::transport::kDeviceIdentifier, in, 4, out, 4, &got) && got == 4 && DeviceList)
                DeviceList[slot] = rollmode::platform::GetLe32(out);
            g_handles[slot] = std::move(handle);
            UsbLink probe(std::span<uint8_t>{}, false);
            probe.SetDevice(&g_handles[slot]);
            uint16_t size = 0;
            if (probe.QueryPacketSize(&size, false) && size != 0) g_packetSizes[slot] = size;
            ++slot;
        }
    } catch (...) {
        return 256;
    }
    return 0;
}

ROLLMODE_EXPORT intptr_t ROLLMODE_STDCALL USBUseDevice(uint32_t index) noexcept {
    g_link.Flush();
    if (index >= kSlots) return 0;  // no such entry: nothing changes
    Activate(index);
    return g_handles[index] ? g_handles[index].NativeHandle() : 0;
}

ROLLMODE_EXPORT uint32_t ROLLMODE_STDCALL DeviceReady() noexcept { return g_link.DeviceReady(); }

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

ROLLMODE_EXPORT uint32_t ROLLMODE_STDCALL USBSetShift(uint32_t ChannelA, uint32_t ChannelB) noexcept {
    g_link.AddCommand(0x2C, static_cast<uint8_t>(ChannelA), static_cast<uint8_t>(ChannelB), 0);
    g_link.SendBuffer(true);
    return 0;
}

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

ROLLMODE_EXPORT uint32_t ROLLMODE_STDCALL USBReadFromEEPROM(uint32_t address) noexcept {
    return g_link.ReadEeprom(address);
}

ROLLMODE_EXPORT void ROLLMODE_STDCALL USBWriteToEEPROM(uint32_t address, uint32_t value) noexcept {
    g_link.WriteEeprom(address, value);
}

ROLLMODE_EXPORT uint32_t ROLLMODE_STDCALL USBGetDeviceID() noexcept { return g_link.QueryWord(Query::DeviceId); }

ROLLMODE_EXPORT void ROLLMODE_STDCALL USBSetCallBackFunction(UsbCallback PointerToCallBack) noexcept {
    g_link.SetCallback(PointerToCallBack);
}
