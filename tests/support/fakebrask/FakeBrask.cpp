// A recording stand-in for the USB transport library: exports the transport's entry points, logs
// every call with its arguments, and answers from state that a test sets through the FakeBrask*
// control entry points. Built in variants that lack USBInitDevice or USBRollFIFORead.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "rollmode/Abi.h"

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Call {
    std::string name;
    uint32_t a = 0;
    uint32_t b = 0;
};

struct State {
    std::vector<Call> calls;
    std::array<uint8_t, 65536> eeprom{};
    std::deque<std::vector<uint16_t>> fifoBlocks;
    std::vector<uint8_t> fpga;
    rollmode::abi::UsbCallback callback = nullptr;
    uint32_t initResult = 0;
    int64_t failEepromAt = -1;
    int64_t failRegister = -1;
    bool failNextFifo = false;
};

State& S() {
    static State state;
    return state;
}

void Log(const char* name, uint32_t a = 0, uint32_t b = 0) { S().calls.push_back({name, a, b}); }

void Fail() {
    if (S().callback != nullptr) S().callback(0);
}

}  // namespace

// ---- transport entry points ----

#ifndef FAKEBRASK_WITHOUT_INIT
FAKE_EXPORT uint32_t ROLLMODE_STDCALL USBInitDevice() {
    Log("USBInitDevice");
    return S().initResult;
}
#endif

FAKE_EXPORT uint32_t ROLLMODE_STDCALL DeviceReady() {
    Log("DeviceReady");
    return 1;
}

FAKE_EXPORT uint8_t* ROLLMODE_STDCALL GetDriverVersion(uint8_t* version) {
    Log("GetDriverVersion");
    version[0] = 1;
    version[1] = 0;
    return version;
}

FAKE_EXPORT uint32_t ROLLMODE_STDCALL USBGetDriverVersion() {
    Log("USBGetDriverVersion");
    return 100;
}

FAKE_EXPORT void ROLLMODE_STDCALL USBFlushBuffer() { Log("USBFlushBuffer"); }

FAKE_EXPORT uint32_t ROLLMODE_STDCALL USBConfigureFPGA(const uint8_t* data, uint32_t length) {
    Log("USBConfigureFPGA", length);
    S().fpga.assign(data, data + length);
    return 0;
}

FAKE_EXPORT uint16_t ROLLMODE_STDCALL USBSingleRead(uint32_t address) {
    Log("USBSingleRead", address);
    return 0;
}

FAKE_EXPORT void ROLLMODE_STDCALL USBSingleWrite(uint32_t address, uint32_t value) {
    Log("USBSingleWrite", address, value);
    if (S().failRegister == address) Fail();
}

FAKE_EXPORT void ROLLMODE_STDCALL USBSingleWriteWithoutFlush(uint32_t address, uint32_t value) {
    Log("USBSingleWriteWithoutFlush", address, value);
    if (S().failRegister == address) Fail();
}

FAKE_EXPORT uint32_t ROLLMODE_STDCALL USBSetShift(uint32_t a, uint32_t b) {
    Log("USBSetShift", a, b);
    return 0;
}

FAKE_EXPORT uint32_t ROLLMODE_STDCALL USBFIFORead(uint32_t fifo, void*, uint32_t length) {
    Log("USBFIFORead", fifo, length);
    return 1;
}

FAKE_EXPORT uint32_t ROLLMODE_STDCALL USBFIFOWrite(uint32_t fifo, const void*, uint32_t length) {
    Log("USBFIFOWrite", fifo, length);
    return 1;
}

#ifndef FAKEBRASK_WITHOUT_ROLLREAD
// Delivers the next queued block followed by empty positions; a failed transfer leaves the
// buffer as it was.
FAKE_EXPORT uint32_t ROLLMODE_STDCALL USBRollFIFORead(uint32_t fifo, void* buffer, uint32_t length) {
    Log("USBRollFIFORead", fifo, length);
    if (S().failNextFifo) {
        S().failNextFifo = false;
        Fail();
        return 0;
    }
    auto* words = static_cast<uint16_t*>(buffer);
    const uint32_t capacity = length / 2;
    std::fill(words, words + capacity, uint16_t{0});
    if (!S().fifoBlocks.empty()) {
        const auto& block = S().fifoBlocks.front();
        std::copy_n(block.begin(), std::min<size_t>(block.size(), capacity), words);
        S().fifoBlocks.pop_front();
    }
    return 1;
}
#endif

FAKE_EXPORT uint32_t ROLLMODE_STDCALL USBGetPacketSize() {
    Log("USBGetPacketSize");
    return 64;
}

FAKE_EXPORT uint32_t ROLLMODE_STDCALL USBRawWrite(const void*, uint32_t length) {
    Log("USBRawWrite", length);
    return 1;
}

// Answers carry noise above the low byte: only the low 8 bits are the EEPROM byte.
FAKE_EXPORT uint32_t ROLLMODE_STDCALL USBReadFromEEPROM(uint32_t address) {
    Log("USBReadFromEEPROM", address);
    if (S().failEepromAt == address) Fail();
    return 0x5A00u | S().eeprom[address & 0xFFFF];
}

FAKE_EXPORT void ROLLMODE_STDCALL USBWriteToEEPROM(uint32_t address, uint32_t value) {
    Log("USBWriteToEEPROM", address, value);
}

FAKE_EXPORT uint32_t ROLLMODE_STDCALL USBGetDeviceID() {
    Log("USBGetDeviceID");
    return 0;
}

FAKE_EXPORT uint32_t ROLLMODE_STDCALL USBGetPowerState() {
    Log("USBGetPowerState");
    return 0;
}

FAKE_EXPORT void ROLLMODE_STDCALL USBSetCPLDPort(uint32_t port) { Log("USBSetCPLDPort", port); }

FAKE_EXPORT uint32_t ROLLMODE_STDCALL USBGetTDO() {
    Log("USBGetTDO");
    return 0;
}

FAKE_EXPORT void ROLLMODE_STDCALL USBResetTDOBuffer() { Log("USBResetTDOBuffer"); }

FAKE_EXPORT void ROLLMODE_STDCALL USBAddTDOToBuffer() { Log("USBAddTDOToBuffer"); }

FAKE_EXPORT uint32_t ROLLMODE_STDCALL USBGetTDOFromBuffer() {
    Log("USBGetTDOFromBuffer");
    return 0;
}

FAKE_EXPORT void ROLLMODE_STDCALL USBWaitMs(uint32_t ms) { Log("USBWaitMs", ms); }

FAKE_EXPORT uint32_t ROLLMODE_STDCALL USBGetCPLDID() {
    Log("USBGetCPLDID");
    return 0;
}

FAKE_EXPORT void ROLLMODE_STDCALL USBSetCallBackFunction(rollmode::abi::UsbCallback callback) {
    Log("USBSetCallBackFunction");
    S().callback = callback;
}

// ---- test control ----

FAKE_EXPORT void FakeBraskReset() { S() = State{}; }
FAKE_EXPORT void FakeBraskClearLog() { S().calls.clear(); }
FAKE_EXPORT uint32_t FakeBraskCallCount() { return static_cast<uint32_t>(S().calls.size()); }
FAKE_EXPORT const char* FakeBraskCallName(uint32_t i) { return S().calls.at(i).name.c_str(); }
FAKE_EXPORT uint32_t FakeBraskCallArg(uint32_t i, uint32_t which) {
    return which == 0 ? S().calls.at(i).a : S().calls.at(i).b;
}
FAKE_EXPORT void FakeBraskSetInitResult(uint32_t result) { S().initResult = result; }
FAKE_EXPORT void FakeBraskSetEeprom(uint32_t address, const uint8_t* data, uint32_t length) {
    for (uint32_t i = 0; i < length && address + i < S().eeprom.size(); ++i) S().eeprom[address + i] = data[i];
}
FAKE_EXPORT void FakeBraskFailEepromAt(int32_t address) { S().failEepromAt = address; }
FAKE_EXPORT void FakeBraskFailRegisterWrite(int32_t reg) { S().failRegister = reg; }
FAKE_EXPORT void FakeBraskPushFifo(const uint16_t* words, uint32_t count) {
    S().fifoBlocks.emplace_back(words, words + count);
}
FAKE_EXPORT void FakeBraskFailNextFifo() { S().failNextFifo = true; }
FAKE_EXPORT uint32_t FakeBraskFpga(uint8_t* out, uint32_t capacity) {
    const auto& image = S().fpga;
    if (out != nullptr && capacity > 0) std::memcpy(out, image.data(), std::min<size_t>(capacity, image.size()));
    return static_cast<uint32_t>(image.size());
}
FAKE_EXPORT void FakeBraskInvokeCallback(uint8_t status) {
    if (S().callback != nullptr) S().callback(status);
}
