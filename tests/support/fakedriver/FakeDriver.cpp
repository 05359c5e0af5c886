// A stand-in for the roll-mode driver library: records every call and answers as the
// test scripted. Built twice: with and without InitializeDevice (FAKE_DRIVER_NO_INIT).
#include <atomic>
#include <cstring>
#include <thread>

#include "FakeDriverControl.h"
#include "rollmode/Abi.h"

using fakedriver::Call;

namespace {

struct State {
    int32_t initResults[64];
    uint32_t initResultCount;
    uint32_t initCalls;
    void* lastRangeTable;
    uint32_t results[fakedriver::kCodes];
    bool hasResult[fakedriver::kCodes];
    uint32_t returns[fakedriver::kCodes];
    uint8_t versions[fakedriver::kCodes][2];
    uint16_t readData[65536];
    uint32_t readCount;
    Call calls[fakedriver::kMaxCalls];
    uint32_t callCount;
    uint8_t* failureFlag;
};

State g;

}  // namespace

ROLLMODE_EXPORT void FakeDriver_Reset() { std::memset(&g, 0, sizeof g); }

ROLLMODE_EXPORT void FakeDriver_SetInitResults(const int32_t* results, uint32_t n) {
    if (n > 64) n = 64;
    std::memcpy(g.initResults, results, n * sizeof(int32_t));
    g.initResultCount = n;
    g.initCalls = 0;
}

ROLLMODE_EXPORT uint32_t FakeDriver_InitCallCount() { return g.initCalls; }

ROLLMODE_EXPORT void FakeDriver_SetResult(uint32_t code, uint32_t value) {
    if (code >= fakedriver::kCodes) return;
    g.results[code] = value;
    g.hasResult[code] = true;
}

ROLLMODE_EXPORT void FakeDriver_SetReturn(uint32_t code, uint32_t value) {
    if (code < fakedriver::kCodes) g.returns[code] = value;
}

ROLLMODE_EXPORT void FakeDriver_SetVersion(uint32_t code, uint8_t major, uint8_t minor) {
    if (code >= fakedriver::kCodes) return;
    g.versions[code][0] = major;
    g.versions[code][1] = minor;
}

ROLLMODE_EXPORT void FakeDriver_SetReadData(const uint16_t* words, uint32_t n) {
    if (n > 65536) n = 65536;
    std::memcpy(g.readData, words, n * sizeof(uint16_t));
    g.readCount = n;
}

ROLLMODE_EXPORT uint32_t FakeDriver_CallCount() { return g.callCount; }

ROLLMODE_EXPORT int32_t FakeDriver_Call(uint32_t index, Call* out) {
    if (index >= g.callCount || !out) return 0;
    *out = g.calls[index];
    return 1;
}

ROLLMODE_EXPORT uintptr_t FakeDriver_FailureFlag() { return reinterpret_cast<uintptr_t>(g.failureFlag); }

ROLLMODE_EXPORT void FakeDriver_FailUsb() {
    uint8_t* flag = g.failureFlag;
    if (!flag) return;
    // A one-byte relaxed store: the host polls the byte from its acquisition thread.
    std::thread([flag] { std::atomic_ref<uint8_t>(*flag).store(1, std::memory_order_relaxed); }).join();
}

ROLLMODE_EXPORT void* FakeDriver_LastRangeTable() { return g.lastRangeTable; }

#ifndef FAKE_DRIVER_NO_INIT
ROLLMODE_EXPORT int32_t ROLLMODE_STDCALL InitializeDevice(void* rangeTable) {
    g.lastRangeTable = rangeTable;
    const uint32_t i = g.initCalls++;
    if (g.initResultCount == 0) return 0;
    const int32_t result = g.initResults[i < g.initResultCount ? i : g.initResultCount - 1];
    if (result == 0 && rangeTable) {
        auto* bytes = static_cast<uint8_t*>(rangeTable);
        for (uint32_t k = 0; k < rollmode::abi::kRangeTableBytes; ++k) bytes[k] = static_cast<uint8_t>(k + 1);
    }
    return result;
}
#endif

ROLLMODE_EXPORT uint8_t ROLLMODE_STDCALL DeInitializeDevice() { return 1; }

ROLLMODE_EXPORT uint32_t ROLLMODE_STDCALL DeviceFunction(uint32_t code, uint16_t* data, uint32_t spare1,
                                                         uint8_t* version, uint32_t spare2, uintptr_t value,
                                                         uint32_t* result) {
    if (g.callCount < fakedriver::kMaxCalls) {
        g.calls[g.callCount++] = Call{code,
                                      value,
                                      spare1,
                                      spare2,
                                      static_cast<uint8_t>(data != nullptr),
                                      static_cast<uint8_t>(version != nullptr),
                                      static_cast<uint8_t>(result != nullptr)};
    }
    if (code == 1) g.failureFlag = reinterpret_cast<uint8_t*>(value);
    if ((code == 2 || code == 3) && version) {
        version[0] = g.versions[code][0];
        version[1] = g.versions[code][1];
    }
    if (code == 14 && data && result) {
        std::memcpy(data, g.readData, g.readCount * sizeof(uint16_t));
        *result = g.readCount;
    } else if (code < fakedriver::kCodes && g.hasResult[code] && result) {
        *result = g.results[code];
    }
    return code < fakedriver::kCodes ? g.returns[code] : 0;
}
