#pragma once
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "FakeBraskControl.h"
#include "PeltaDriver.h"

namespace rollmode::driver::test {

inline constexpr uint32_t kUntouched = 0xDEADBEEF;

// A driver over the recording transport, opened and with the bring-up traffic cleared.
class DriverTest : public testing::Test {
protected:
    void SetUp() override {
        Call(kCodeFailureFlag, reinterpret_cast<uintptr_t>(&failed));
        ASSERT_EQ(driver.InitializeDevice(table.data()), kInitOk);
        fake.ClearLog();
    }

    // Opens again with the given calibration block in the EEPROM.
    void ReopenWithBlock(const std::vector<uint8_t>& block) {
        fake.SetEeprom(kCalibrationEepromBase, block);
        ASSERT_EQ(driver.InitializeDevice(table.data()), kInitOk);
        fake.ClearLog();
    }

    uint32_t Call(uint32_t code, uintptr_t value = 0, uint32_t* out = nullptr, uint16_t* data = nullptr,
                  uint8_t* version = nullptr) {
        return driver.DeviceFunction(code, data, version, value, out);
    }

    // Runs a command and returns its out-value (kUntouched when it wrote none).
    uint32_t Out(uint32_t code, uintptr_t value) {
        uint32_t out = kUntouched;
        Call(code, value, &out);
        return out;
    }

    FakeBraskControl fake;
    uint8_t failed = 0;
    PeltaDriver driver{"FakeBrask.dll"};
    std::array<uint8_t, 240> table{};
};

inline TransportCall Write(uint32_t reg, uint32_t value) { return {"USBSingleWrite", reg, value}; }
inline TransportCall WriteNoFlush(uint32_t reg, uint32_t value) { return {"USBSingleWriteWithoutFlush", reg, value}; }

}  // namespace rollmode::driver::test
