#include "PeltaDriver.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>

#include "FpgaImage.h"

namespace rollmode::driver {

namespace {

// The transport's callback carries no context, so it reaches the driver that registered it here.
std::atomic<PeltaDriver*> g_callbackOwner{nullptr};
std::atomic<FailureFlag*> g_callbackFlag{nullptr};

bool BoolValue(uintptr_t value) { return (value & 0xFF) != 0; }
uint32_t Value32(uintptr_t value) { return static_cast<uint32_t>(value); }

uint8_t SetBit(uint8_t flags, uint8_t bit, bool on) {
    return static_cast<uint8_t>(on ? (flags | bit) : (flags & ~bit));
}

int32_t ProbeFactor(uint8_t probe) {
    switch (probe) {
        case 2: return 10;
        case 3: return 100;
        case 4: return 1000;
        default: return 1;
    }
}

constexpr uint32_t kGainRegister[2] = {kRegGainA, kRegGainB};
constexpr uint32_t kLevelRegister[2] = {kRegLevelA, kRegLevelB};
constexpr uint8_t kDriverVersion[2] = {1, 1};
constexpr int32_t kMaxLevel = 4095;

}  // namespace

PeltaDriver::PeltaDriver(std::string transportName) : transportName_(std::move(transportName)) {
    path_.SetSource(nullptr, &failure_);
}

PeltaDriver::~PeltaDriver() {
    DeInitializeDevice();
    PeltaDriver* self = this;
    if (g_callbackOwner.compare_exchange_strong(self, nullptr, std::memory_order_relaxed)) {
        g_callbackFlag.store(nullptr, std::memory_order_relaxed);
    }
}

void ROLLMODE_STDCALL PeltaDriver::TransportCallback(uint8_t status) {
    // Status 0 is an I/O failure: the flag gets the negation of the status.
    if (FailureFlag* flag = g_callbackFlag.load(std::memory_order_relaxed)) flag->Store(status == 0);
}

int32_t PeltaDriver::InitializeDevice(void* rangeTable) {
    path_.SetSource(nullptr, &failure_);
    switch (transport_.Load(transportName_)) {
        case BindResult::LibraryMissing: return kInitTransportMissing;
        case BindResult::EntryMissing: return kInitTransportIncomplete;
        case BindResult::Bound: break;
    }
    path_.SetSource(transport_.RollFIFORead, &failure_);
    if (transport_.InitDevice == nullptr) return kInitOk;

    g_callbackOwner.store(this, std::memory_order_relaxed);
    g_callbackFlag.store(&failure_, std::memory_order_relaxed);
    transport_.SetCallBackFunction(&PeltaDriver::TransportCallback);

    if (transport_.InitDevice() != 0) return kInitNoDevice;

    modelIndex_ = kDeviceModelIndex;
    ConfigureFpga();
    ReadCalibration();
    model_.BuildRangeTable(modelIndex_);

    if (rangeTable != nullptr) {
        const auto bytes = model_.SerializeRangeTable();
        std::memcpy(rangeTable, bytes.data(), bytes.size());
    }
    ResetCommandState();
    return kInitOk;
}

bool PeltaDriver::DeInitializeDevice() {
    path_.SetSource(nullptr, &failure_);
    return transport_.Unload();
}

void PeltaDriver::ResetCommandState() {
    externalArmShadow_ = kExternalArmInitial;
    modeShadow_ = 0;
    path_.processor = Processor::PlainCompaction;
    path_.read = ReadStage::FirstRead;
    path_.entry = EntryStage::Plain;
    triggerLevel_ = {};
    path_.triggerThreshold = {};
    path_.armThreshold = {};
    path_.recordFree = true;
    path_.previousArmStatus = kStatusWaiting;
}

void PeltaDriver::ConfigureFpga() {
    auto plain = std::make_unique<uint8_t[]>(kFpgaImageBytes);
    const std::span<uint8_t, kFpgaImageBytes> buffer(plain.get(), kFpgaImageBytes);
    RestoreFpgaImage(buffer);
    transport_.ConfigureFPGA(plain.get(), kFpgaImageBytes);
    WipeBuffer(buffer);
}

void PeltaDriver::ReadCalibration() {
    model_.Clear();
    std::array<uint8_t, kCalibrationBlockBytes> block{};
    for (uint32_t i = 0; i < kCalibrationBlockBytes; ++i) {
        block[i] = static_cast<uint8_t>(transport_.ReadFromEEPROM(kCalibrationEepromBase + i));
        if (failure_.IsSet()) return;
    }
    model_.LoadBlock(block);
}

double PeltaDriver::ZeroCode(int channel) const {
    const auto& ch = channel_[channel];
    return model_.ZeroCode(channel, ch.level, ch.deflection);
}

int32_t PeltaDriver::LevelForZero(int channel) const {
    const auto& ch = channel_[channel];
    return model_.LevelForZero(channel, ch.zeroCode, ch.deflection);
}

void PeltaDriver::UpdateThresholds() {
    for (int c = 0; c < 2; ++c) {
        const auto& ch = channel_[c];
        // Level change per sample code: eight divisions over 255 codes.
        const double m = ProbeFactor(ch.probe) * static_cast<double>(ch.deflection) * 8.0 / 255.0;
        if (m != 0) {
            const double zero = ZeroCode(c);
            path_.triggerThreshold[c] = ThresholdForLevel(zero, m, triggerLevel_[c]);
            path_.armThreshold[c] = ThresholdForLevel(zero, m, armLevel_[c]);
        } else {
            path_.triggerThreshold[c] = 0;
            path_.armThreshold[c] = 0;
        }
    }
}

void PeltaDriver::WriteRegister(uint32_t reg, uint32_t value) {
    if (transport_.SingleWrite != nullptr) transport_.SingleWrite(reg, value);
}

void PeltaDriver::WriteInputControl() {
    const uint32_t value = ((channel_[kChannelB].control & 0xFFu) << 8) | (channel_[kChannelA].control & 0xFFu);
    if (transport_.SingleWriteWithoutFlush != nullptr) transport_.SingleWriteWithoutFlush(kRegInputControl, value);
}

void PeltaDriver::SelectRange(int channel, uint32_t deflection) {
    auto& ch = channel_[channel];
    ch.deflection = deflection;
    ch.control = static_cast<uint16_t>(ch.control & ~0x1Eu);
    const RangeEntry* entry = model_.FindEntry(deflection);
    if (entry != nullptr) {
        const auto& fields = entry->channel[channel];
        ch.control = static_cast<uint16_t>(ch.control | fields.control);
        if (!model_.CalibrationValid()) {
            ch.gain = fields.gainUncalibrated;
        } else {
            ch.gain = ch.probe == 1 ? fields.gainProbe1 : fields.gainOtherProbe;
        }
    } else {
        ch.gain = 0;
    }
    WriteInputControl();
    if (failure_.IsSet()) return;
    WriteRegister(kGainRegister[channel], ch.gain);
}

uint32_t PeltaDriver::SetLevel(int channel, int32_t level, uint32_t* result) {
    auto& ch = channel_[channel];
    ch.level = level;
    ch.zeroCode = static_cast<int32_t>(std::nearbyint(ZeroCode(channel)));
    path_.groundZeroCode[channel] = ch.zeroCode;
    WriteRegister(kLevelRegister[channel], static_cast<uint32_t>(level));
    if (failure_.IsSet()) return 0;
    if (result != nullptr) *result = static_cast<uint32_t>(ch.zeroCode);
    UpdateThresholds();
    return 0;
}

uint32_t PeltaDriver::DeviceFunction(uint32_t code, uint16_t* data, uint8_t* version, uintptr_t value,
                                     uint32_t* result) {
    // The command code is 8 bits: whatever the host puts above them is dropped here, once,
    // so the command and its channel are read from the same code.
    code &= 0xFFu;
    const bool on = BoolValue(value);
    switch (code) {
        case kCodeFailureFlag:
            failure_.Bind(reinterpret_cast<uint8_t*>(value));
            break;
        case kCodeDriverVersion:
            if (version != nullptr) std::memcpy(version, kDriverVersion, sizeof kDriverVersion);
            break;
        case kCodeUsbDriverVersion:
            if (version != nullptr && transport_.GetDriverVersion != nullptr) transport_.GetDriverVersion(version);
            break;
        case kCodeProbeA:
        case kCodeProbeB: {
            const int c = code == kCodeProbeA ? kChannelA : kChannelB;
            channel_[c].probe = static_cast<uint8_t>(value);
            SelectRange(c, channel_[c].deflection);
            UpdateThresholds();
            break;
        }
        case kCodeCouplingA:
        case kCodeCouplingB: {
            auto& ch = channel_[code == kCodeCouplingA ? kChannelA : kChannelB];
            // Bit 0 set means AC coupling, i.e. the DC setting is off.
            ch.control = static_cast<uint16_t>(on ? (ch.control & ~1u) : (ch.control | 1u));
            WriteInputControl();
            break;
        }
        case kCodeGroundA:
        case kCodeGroundB:
            path_.ground[code == kCodeGroundA ? 0 : 1] = on;
            path_.SelectEntry();
            break;
        case kCodeDensityA:
        case kCodeDensityB: {
            const int c = code == kCodeDensityA ? kChannelA : kChannelB;
            SelectRange(c, Value32(value));
            UpdateThresholds();
            // The level register holds 0..4095; a curve extrapolated past it cannot be written.
            if (result != nullptr) *result = static_cast<uint32_t>(std::clamp(LevelForZero(c), 0, kMaxLevel));
            break;
        }
        case kCodeLevelA:
        case kCodeLevelB:
            return SetLevel(code == kCodeLevelA ? kChannelA : kChannelB, static_cast<int32_t>(Value32(value)), result);
        case kCodeReadData:
            if (!running_ || data == nullptr || result == nullptr) return 0;
            return path_.RunEntry(data, result, 0, kRollBlockWords);
        case kCodeSampling:
            modeShadow_ = Value32(value) | (modeShadow_ & kModeRunBit);
            WriteRegister(kRegMode, modeShadow_);
            break;
        case kCodeTriggerSourceA:
            path_.triggerFlags = SetBit(path_.triggerFlags, kTrigSourceA, on);
            UpdateThresholds();
            break;
        case kCodeTriggerSourceB:
            path_.triggerFlags = SetBit(path_.triggerFlags, kTrigSourceB, on);
            UpdateThresholds();
            break;
        case kCodeTriggerLevelA:
        case kCodeTriggerLevelB:
            triggerLevel_[code == kCodeTriggerLevelA ? 0 : 1] = static_cast<int32_t>(Value32(value));
            UpdateThresholds();
            break;
        case kCodeTriggerUnderA:
            path_.triggerFlags = SetBit(path_.triggerFlags, kTrigUnderA, on);
            break;
        case kCodeTriggerUnderB:
            path_.triggerFlags = SetBit(path_.triggerFlags, kTrigUnderB, on);
            break;
        case kCodeArmSourceA:
        case kCodeArmSourceB:
            path_.armFlags = SetBit(path_.armFlags, code == kCodeArmSourceA ? kArmSourceA : kArmSourceB, on);
            UpdateThresholds();
            path_.SelectProcessor();
            break;
        case kCodeArmSourceExternal:
            path_.armFlags = SetBit(path_.armFlags, kArmSourceExternal, on);
            externalArmShadow_ = on ? (externalArmShadow_ & 0xF0) + 0x04 : (externalArmShadow_ & 0xF0);
            WriteRegister(kRegExternalArm, externalArmShadow_);
            break;
        case kCodeArmLevelA:
        case kCodeArmLevelB:
            armLevel_[code == kCodeArmLevelA ? 0 : 1] = static_cast<int32_t>(Value32(value));
            UpdateThresholds();
            break;
        case kCodeArmUnderA:
            path_.armFlags = SetBit(path_.armFlags, kArmUnderA, on);
            break;
        case kCodeArmUnderB:
            path_.armFlags = SetBit(path_.armFlags, kArmUnderB, on);
            break;
        case kCodeArmUnderExternal:
            path_.armFlags = SetBit(path_.armFlags, kArmUnderExternal, on);
            externalArmShadow_ = on ? (externalArmShadow_ & 0x0F) + 0x20 : (externalArmShadow_ & 0x0F);
            WriteRegister(kRegExternalArm, externalArmShadow_);
            break;
        case kCodeMeasurementStarted:
            if (on) {
                path_.triggerState = {kTriggerState1, kTriggerState1};
                path_.SelectProcessor();
                path_.triggerFound = false;
                modeShadow_ = (modeShadow_ & 0x7FFF) + kModeRunBit;
            } else {
                modeShadow_ &= 0x7FFF;
                path_.read = ReadStage::FirstRead;
            }
            WriteRegister(kRegMode, modeShadow_);
            running_ = on;
            break;
        case kCodeRecordFree:
            path_.recordFree = on;
            break;
        case kCodeTriggerRelation:
            path_.triggerRelationAnd = on;
            break;
        case kCodeSerialNumber:
            if (result != nullptr) *result = model_.CalibrationValid() ? model_.SerialNumber() : 0;
            break;
        default:
            break;
    }
    return 0;
}

}  // namespace rollmode::driver
