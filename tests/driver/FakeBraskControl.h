#pragma once
// Test-side handle on the recording transport stand-in: the same loaded instance the driver uses.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/DynamicLibrary.h"

namespace rollmode::driver::test {

struct TransportCall {
    std::string name;
    uint32_t a = 0;
    uint32_t b = 0;
    bool operator==(const TransportCall&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const TransportCall& c) {
    return os << c.name << "(" << c.a << ", " << c.b << ")";
}

class FakeBraskControl {
public:
    explicit FakeBraskControl(const char* name = "FakeBrask.dll") : lib_(platform::DynamicLibrary::Load(name)) {
        EXPECT_TRUE(lib_.IsLoaded()) << lib_.Error();
        reset_ = Bind<void (*)()>("FakeBraskReset");
        clearLog_ = Bind<void (*)()>("FakeBraskClearLog");
        count_ = Bind<uint32_t (*)()>("FakeBraskCallCount");
        callName_ = Bind<const char* (*)(uint32_t)>("FakeBraskCallName");
        callArg_ = Bind<uint32_t (*)(uint32_t, uint32_t)>("FakeBraskCallArg");
        setInitResult = Bind<void (*)(uint32_t)>("FakeBraskSetInitResult");
        setEeprom_ = Bind<void (*)(uint32_t, const uint8_t*, uint32_t)>("FakeBraskSetEeprom");
        failEepromAt = Bind<void (*)(int32_t)>("FakeBraskFailEepromAt");
        failRegisterWrite = Bind<void (*)(int32_t)>("FakeBraskFailRegisterWrite");
        pushFifo_ = Bind<void (*)(const uint16_t*, uint32_t)>("FakeBraskPushFifo");
        failNextFifo = Bind<void (*)()>("FakeBraskFailNextFifo");
        fpga_ = Bind<uint32_t (*)(uint8_t*, uint32_t)>("FakeBraskFpga");
        invokeCallback = Bind<void (*)(uint8_t)>("FakeBraskInvokeCallback");
        reset_();
    }

    void ClearLog() { clearLog_(); }

    std::vector<TransportCall> Calls() const {
        std::vector<TransportCall> calls;
        for (uint32_t i = 0; i < count_(); ++i) calls.push_back({callName_(i), callArg_(i, 0), callArg_(i, 1)});
        return calls;
    }

    // Only the calls of the named entry point, in order.
    std::vector<TransportCall> CallsNamed(const std::string& name) const {
        std::vector<TransportCall> out;
        for (auto& c : Calls())
            if (c.name == name) out.push_back(c);
        return out;
    }

    void SetEeprom(uint32_t address, const std::vector<uint8_t>& bytes) {
        setEeprom_(address, bytes.data(), static_cast<uint32_t>(bytes.size()));
    }
    void PushFifo(const std::vector<uint16_t>& words) { pushFifo_(words.data(), static_cast<uint32_t>(words.size())); }
    std::vector<uint8_t> Fpga() const {
        std::vector<uint8_t> image(fpga_(nullptr, 0));
        fpga_(image.data(), static_cast<uint32_t>(image.size()));
        return image;
    }

    void (*setInitResult)(uint32_t) = nullptr;
    void (*failEepromAt)(int32_t) = nullptr;
    void (*failRegisterWrite)(int32_t) = nullptr;
    void (*failNextFifo)() = nullptr;
    void (*invokeCallback)(uint8_t) = nullptr;

private:
    template <class Fn>
    Fn Bind(const char* name) {
        Fn fn = lib_.Bind<Fn>(name);
        EXPECT_NE(fn, nullptr) << name;
        return fn;
    }

    platform::DynamicLibrary lib_;
    void (*reset_)() = nullptr;
    void (*clearLog_)() = nullptr;
    uint32_t (*count_)() = nullptr;
    const char* (*callName_)(uint32_t) = nullptr;
    uint32_t (*callArg_)(uint32_t, uint32_t) = nullptr;
    void (*setEeprom_)(uint32_t, const uint8_t*, uint32_t) = nullptr;
    void (*pushFifo_)(const uint16_t*, uint32_t) = nullptr;
    uint32_t (*fpga_)(uint8_t*, uint32_t) = nullptr;
};

// A calibration block with a correct checksum, built field by field.
struct CalibrationBlockBuilder {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(256, 0);

    void Put16(size_t at, uint32_t v) {
        bytes[at] = static_cast<uint8_t>(v >> 8);
        bytes[at + 1] = static_cast<uint8_t>(v);
    }
    void Put32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    }
    void SetW(int k, uint32_t w) { Put16(1 + 2 * k, w); }
    void SetR(int k, uint32_t r) { Put16(13 + 2 * k, r); }
    void SetBreakpoint(int channel, int cls, int j, uint32_t p) { Put16((channel == 0 ? 33 : 35) + 4 * (7 * cls + j), p); }
    void SetOffset(int k, int16_t e) { Put16(117 + 2 * k, static_cast<uint16_t>(e)); }
    void SetSerial(uint32_t s) { Put32(167, s); }
    // Writes the checksum written out longhand; `error` is added to make a broken block.
    std::vector<uint8_t> Finish(uint32_t error = 0) {
        uint32_t sum = 0;
        for (uint32_t i = 0; i < 156; ++i) sum += (i + 1) * bytes[i] + i;
        Put32(156, sum + error);
        return bytes;
    }
};

}  // namespace rollmode::driver::test
