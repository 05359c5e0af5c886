#pragma once
// The driver library's state and command set: bring-up, the numbered device functions and the
// register traffic they cause. One instance serves the exported entry points; tests make their own
// with another transport library name.
#include <array>
#include <cstdint>
#include <string>

#include "FailureFlag.h"
#include "RangeModel.h"
#include "RollDataPath.h"
#include "Transport.h"

namespace rollmode::driver {

// InitializeDevice results.
inline constexpr int32_t kInitOk = 0;
inline constexpr int32_t kInitTransportMissing = 1;
inline constexpr int32_t kInitNoDevice = 3;
inline constexpr int32_t kInitTransportIncomplete = 7;

// Device registers.
inline constexpr uint32_t kRegMode = 1;
inline constexpr uint32_t kRegExternalArm = 2;
inline constexpr uint32_t kRegGainA = 8;
inline constexpr uint32_t kRegLevelA = 9;
inline constexpr uint32_t kRegGainB = 11;
inline constexpr uint32_t kRegLevelB = 12;
inline constexpr uint32_t kRegInputControl = 15;

inline constexpr uint16_t kModeRunBit = 0x8000;
inline constexpr uint32_t kExternalArmInitial = 0x24;

// DeviceFunction codes, shared with the program.
using Code = abi::DeviceCode;
using enum abi::DeviceCode;

struct ChannelSettings {
    uint8_t probe = 0;
    uint32_t deflection = 0;
    uint16_t control = 0;
    uint16_t gain = 0;
    int32_t level = 0;
    int32_t zeroCode = 0;
};

class PeltaDriver {
public:
    explicit PeltaDriver(std::string transportName);
    ~PeltaDriver();
    PeltaDriver(const PeltaDriver&) = delete;
    PeltaDriver& operator=(const PeltaDriver&) = delete;

    int32_t InitializeDevice(void* rangeTable);
    bool DeInitializeDevice();
    uint32_t DeviceFunction(uint32_t code, uint16_t* data, uint8_t* version, uintptr_t value, uint32_t* result);

    // Bring-up steps.
    void ConfigureFpga();
    void ReadCalibration();

    // Conversions for the channel's present level and deflection.
    double ZeroCode(int channel) const;
    int32_t LevelForZero(int channel) const;
    void UpdateThresholds();

    // Read-only views for tests and diagnostics.
    const RangeModel& Model() const { return model_; }
    const RollDataPath& DataPath() const { return path_; }
    const ChannelSettings& Settings(int channel) const { return channel_[channel]; }
    uint32_t ModeShadow() const { return modeShadow_; }
    uint32_t ExternalArmShadow() const { return externalArmShadow_; }
    bool Running() const { return running_; }
    int32_t TriggerLevel(int channel) const { return triggerLevel_[channel]; }
    int32_t ArmLevel(int channel) const { return armLevel_[channel]; }

private:
    static void ROLLMODE_STDCALL TransportCallback(uint8_t status);

    void SelectRange(int channel, uint32_t deflection);
    void WriteInputControl();
    void WriteRegister(uint32_t reg, uint32_t value);
    void ResetCommandState();
    uint32_t SetLevel(int channel, int32_t level, uint32_t* result);

    const std::string transportName_;
    Transport transport_;
    FailureFlag failure_;
    RangeModel model_;
    RollDataPath path_;

    std::array<ChannelSettings, 2> channel_{};
    uint32_t modeShadow_ = 0;
    uint32_t externalArmShadow_ = kExternalArmInitial;
    std::array<int32_t, 2> triggerLevel_{};
    std::array<int32_t, 2> armLevel_{};
    bool running_ = false;
    uint32_t modelIndex_ = 0;
};

}  // namespace rollmode::driver
