#include "VirtualDriverLyraRM.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "RateTables.h"
#include "ResourceStringsLyraRM.h"
#include "platform/Tick.h"
#include "ports/ApplicationControl.h"

namespace rollmode::core {

namespace {

uintptr_t BoolArg(bool v) { return v ? 1u : 0u; }

// A level passed to the library: nearest integer, ties to even (default rounding
// mode), kept inside 32 bits; not-a-number counts as 0.
int32_t RoundLevel(double v) {
    if (std::isnan(v)) return 0;
    const double r = std::nearbyint(v);
    if (r <= static_cast<double>(std::numeric_limits<int32_t>::min())) return std::numeric_limits<int32_t>::min();
    if (r >= static_cast<double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(r);
}

uintptr_t Int32Arg(int32_t v) { return static_cast<uintptr_t>(static_cast<uint32_t>(v)); }

// counter * s1 / s0 in 64-bit signed arithmetic without the intermediate product
// overflowing: split the counter into whole multiples of s0 and a remainder.
int64_t Rescale(int64_t counter, int64_t s1, int64_t s0) {
    const int64_t q = counter / s0;
    const int64_t r = counter % s0;
    return q * s1 + r * s1 / s0;
}

int32_t ProbeFactor(int32_t probe) {
    switch (probe) {
        case 2: return 10;
        case 3: return 100;
        case 4: return 1000;
        default: return 1;
    }
}

}  // namespace

TVirtualDriverLyraRM::TVirtualDriverLyraRM(MessageBoxService* messages, ApplicationControl* application)
    : messages_(messages), application_(application), libraryName_(strings::kDriverLibraryName),
      tick_(&platform::TickCount) {}

TVirtualDriverLyraRM::~TVirtualDriverLyraRM() { ReleaseDriverLibrary(); }

void TVirtualDriverLyraRM::SetTickSource(TickSource tick) {
    tick_ = tick ? std::move(tick) : TickSource(&platform::TickCount);
}

// ---------------------------------------------------------------------------
// Device access

MsgResult TVirtualDriverLyraRM::Ask(const char* text, MsgButtons buttons, MsgResult defaultAnswer) {
    if (!messages_) return defaultAnswer;
    return messages_->Show(text, buttons, MsgIcon::Error);
}

void TVirtualDriverLyraRM::RequestTerminate() {
    if (application_) application_->RequestTerminate();
}

void TVirtualDriverLyraRM::OpenDevice() {
    setBackRequested_.set(false);
    usbFailed_.store(0, std::memory_order_relaxed);
    demoMode_.set(false);
    terminateApplication_.set(false);
    sampleCounter_.set(0);
    lengthInSamples_.set(0);
    ClearCommandBatch();

    ReleaseDriverLibrary();
    library_ = platform::DynamicLibrary::Load(libraryName_);
    if (!library_.IsLoaded()) {
        // Without a message service the program goes on in demo mode.
        if (Ask(strings::kDriverNotPresent, MsgButtons::YesNo, MsgResult::Yes) == MsgResult::No)
            RequestTerminate();
        else
            demoMode_.set(true);
        ReadSerialNumber();
        return;
    }

    initializeDevice_ = library_.Bind<abi::InitializeDeviceFn>("InitializeDevice");
    deInitializeDevice_ = library_.Bind<abi::DeInitializeDeviceFn>("DeInitializeDevice");
    deviceFunction_ = library_.Bind<abi::DeviceFunctionFn>("DeviceFunction");

    if (deviceFunction_) {
        uint32_t result = 0;
        deviceFunction_(abi::kCodeFailureFlag, nullptr, 0, nullptr, 0, reinterpret_cast<uintptr_t>(&usbFailed_), &result);
    }
    if (initializeDevice_) RunInitializeLoop();
    ReadSerialNumber();
}

void TVirtualDriverLyraRM::RunInitializeLoop() {
    // The library writes 240 bytes there; without the scope's area it gets a scratch one.
    void* area = rangeTable_ ? rangeTable_ : scratchRangeTable_.data();
    auto giveUp = [this] {
        deviceInitialized_.set(false);
        demoMode_.set(true);
        deviceCalibrationOK_.set(false);
    };
    // Retries as long as the library asks for it (unknown results) or the user does.
    // A library that answers unknown results without end would hang the program at
    // start-up; after a burst of them the user is asked as for a failed start.
    int unknownInARow = 0;
    for (;;) {
        int32_t result = initializeDevice_(area);
        if (result == kInitOk || result == kInitTransportMissing || result == kInitDeviceNotPresent ||
            result == kInitFailed || result == kInitBrokenCalibration || result == kInitTransportIncomplete) {
            unknownInARow = 0;
        } else if (++unknownInARow >= kMaxSilentInitRetries) {
            unknownInARow = 0;
            result = kInitFailed;
        }
        switch (result) {
            case kInitOk:
                deviceInitialized_.set(true);
                demoMode_.set(false);
                deviceCalibrationOK_.set(true);
                ReadVersions();
                return;
            case kInitTransportMissing:
                Ask(strings::kBraskNotInstalled, MsgButtons::Ok, MsgResult::Ok);
                giveUp();
                return;
            case kInitTransportIncomplete:
                Ask(strings::kUsbDriverMissingFunction, MsgButtons::Ok, MsgResult::Ok);
                giveUp();
                return;
            case kInitDeviceNotPresent:
            case kInitFailed: {
                const char* text = strings::kDeviceNotPresentRetry;
                if (result == kInitFailed) text = strings::kDeviceInitFailedRetry;
                // Without a message service nobody can say Yes: no endless retry.
                const MsgResult answer = Ask(text, MsgButtons::YesNoCancel, MsgResult::No);
                if (answer == MsgResult::Cancel) {
                    terminateApplication_.set(true);
                    RequestTerminate();
                    return;
                }
                if (answer == MsgResult::No) {
                    giveUp();
                    return;
                }
                continue;  // Yes or any other answer: try again
            }
            case kInitBrokenCalibration:
                Ask(strings::kBrokenCalibration, MsgButtons::Ok, MsgResult::Ok);
                deviceInitialized_.set(true);
                demoMode_.set(false);
                deviceCalibrationOK_.set(false);
                return;
            default:
                continue;
        }
    }
}

void TVirtualDriverLyraRM::ReadVersions() {
    uint8_t version[2] = {0, 0};
    uint32_t result = 0;
    char text[16];
    if (!deviceFunction_) return;
    deviceFunction_(abi::kCodeDriverVersion, nullptr, 0, version, 0, 0, &result);
    std::snprintf(text, sizeof text, "%d.%d", version[0], version[1]);
    deviceDriverVersion_ = text;
    version[0] = version[1] = 0;
    deviceFunction_(abi::kCodeUsbDriverVersion, nullptr, 0, version, 0, 0, &result);
    std::snprintf(text, sizeof text, "%d.%.2d", version[0], version[1]);
    usbDriverVersion_ = text;
}

void TVirtualDriverLyraRM::ReadSerialNumber() {
    if (demoMode_.get() || !deviceFunction_) {
        deviceSerialNumber_ = strings::kNotAvailable;
        return;
    }
    uint32_t serial = 0;
    deviceFunction_(abi::kCodeSerialNumber, nullptr, 0, nullptr, 0, 0, &serial);
    if (serial == 0) {
        deviceSerialNumber_ = strings::kNotAvailable;
        return;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%.8u", serial);
    deviceSerialNumber_ = text;
}

void TVirtualDriverLyraRM::ReleaseDriverLibrary() {
    initializeDevice_ = nullptr;
    deInitializeDevice_ = nullptr;
    deviceFunction_ = nullptr;
    library_.Unload();
}

uint32_t TVirtualDriverLyraRM::CallDevice(uint32_t code, uintptr_t value, uint32_t* result) {
    if (!deviceInitialized_.get() || !deviceFunction_) return 0;
    uint32_t ignored = 0;
    return deviceFunction_(code, nullptr, 0, nullptr, 0, value, result ? result : &ignored);
}

uint8_t TVirtualDriverLyraRM::ReadData(uint16_t* buffer, uint32_t& count) {
    if (!deviceInitialized_.get() || demoMode_.get() || !deviceFunction_) return GenerateDemoData(buffer, count);
    // The library leaves the count alone when it is not running.
    count = 0;
    const uint32_t status = deviceFunction_(abi::kCodeReadData, buffer, 0, nullptr, 0, 0, &count);
    if (count > kReadBufferWords) count = kReadBufferWords;
    return static_cast<uint8_t>(status);
}

int32_t TVirtualDriverLyraRM::GetDeflection(int channel) const {
    if (channel == kChannelA) return Deflection(probeA_.get(), densityA_.get());
    if (channel == kChannelB) return Deflection(probeB_.get(), densityB_.get());
    return 1;
}

// ---------------------------------------------------------------------------
// Command batch

void TVirtualDriverLyraRM::ClearCommandBatch() {
    batch_.fill(0);
    batchIndex_ = 0;
}

void TVirtualDriverLyraRM::TakeCommandBatch(uint16_t* destination, uint32_t& count) {
    count = batchIndex_;
    if (count) std::memcpy(destination, batch_.data(), count * sizeof(uint16_t));
    ClearCommandBatch();
}

// A record that does not fit in the rest of the batch is dropped whole, never cut:
// a partial record would corrupt every word after it in the stream. One settings pass
// needs at most 118 words and the batch is emptied after each pass, so this only
// happens when nobody takes the batch.
bool TVirtualDriverLyraRM::Reserve(uint16_t length) { return batchIndex_ + length <= kCommandBatchWords; }

void TVirtualDriverLyraRM::Append4(uint16_t code, uint16_t arg) {
    if (!Reserve(4)) return;
    uint16_t* w = batch_.data() + batchIndex_;
    w[0] = 0;
    w[1] = 4;
    w[2] = code;
    w[3] = arg;
    batchIndex_ += 4;
}

void TVirtualDriverLyraRM::Append5(uint16_t code, uint32_t arg) {
    if (!Reserve(5)) return;
    uint16_t* w = batch_.data() + batchIndex_;
    w[0] = 0;
    w[1] = 5;
    w[2] = code;
    w[3] = static_cast<uint16_t>(arg);
    w[4] = static_cast<uint16_t>(arg >> 16);
    batchIndex_ += 5;
}

void TVirtualDriverLyraRM::Append6(uint16_t code, uint16_t arg1, uint16_t arg2) {
    if (!Reserve(6)) return;
    uint16_t* w = batch_.data() + batchIndex_;
    w[0] = 0;
    w[1] = 6;
    w[2] = code;
    w[3] = arg1;
    w[4] = arg2;
    w[5] = 0;
    batchIndex_ += 6;
}

void TVirtualDriverLyraRM::AppendSettingsSnapshot() {
    Append6(kRecLevelA, levelA_.get(), static_cast<uint16_t>(zeroA_.get()));
    Append6(kRecLevelB, levelB_.get(), static_cast<uint16_t>(zeroB_.get()));
    Append4(kRecProbeA, static_cast<uint16_t>(probeA_.get()));
    Append4(kRecProbeB, static_cast<uint16_t>(probeB_.get()));
    Append4(kRecAcDcA, acdcA_.get() ? 1 : 0);
    Append4(kRecAcDcB, acdcB_.get() ? 1 : 0);
    Append4(kRecGroundA, groundA_.get() ? 1 : 0);
    Append4(kRecGroundB, groundB_.get() ? 1 : 0);
    Append5(kRecSamplesPerSecond, static_cast<uint32_t>(SamplesPerSecond(smpSetting_.get())));
    Append5(kRecDeflectionA, static_cast<uint32_t>(GetDeflection(kChannelA)));
    Append5(kRecDeflectionB, static_cast<uint32_t>(GetDeflection(kChannelB)));
}

// ---------------------------------------------------------------------------
// Measurement sample counter

int64_t TVirtualDriverLyraRM::AdvanceSampleCounter(uint32_t n) {
    const int64_t v = sampleCounter_.get() + n;
    sampleCounter_.set(v);
    return v;
}

// ---------------------------------------------------------------------------
// Setters

void TVirtualDriverLyraRM::SetFlag(Relaxed<bool>& field, bool v, uint32_t code) {
    if (!Acts(field.get() != v)) return;
    field.set(v);
    CallDevice(code, BoolArg(v));
}

void TVirtualDriverLyraRM::SetLevel(Relaxed<double>& field, double v, uint32_t code) {
    if (!Acts(field.get() != v)) return;
    const int32_t r = RoundLevel(v);
    field.set(static_cast<double>(r));
    CallDevice(code, Int32Arg(r));
}

void TVirtualDriverLyraRM::SetFlagWithRecord(Relaxed<bool>& field, bool v, uint32_t code, uint16_t record) {
    if (!Acts(field.get() != v)) return;
    field.set(v);
    Append4(record, v ? 1 : 0);
    CallDevice(code, BoolArg(v));
}

void TVirtualDriverLyraRM::SetProbe(Relaxed<int32_t>& field, int32_t v, uint32_t code, uint16_t record) {
    if (!Acts(field.get() != v)) return;
    field.set(v);
    Append4(record, static_cast<uint16_t>(v));
    CallDevice(code, Int32Arg(v));
}

void TVirtualDriverLyraRM::SetARMSourceA(bool v) { SetFlag(armSourceA_, v, abi::kCodeArmSourceA); }
void TVirtualDriverLyraRM::SetARMSourceB(bool v) { SetFlag(armSourceB_, v, abi::kCodeArmSourceB); }
void TVirtualDriverLyraRM::SetARMSourceExternal(bool v) { SetFlag(armSourceExternal_, v, abi::kCodeArmSourceExternal); }
void TVirtualDriverLyraRM::SetARMLevelA(double v) { SetLevel(armLevelA_, v, abi::kCodeArmLevelA); }
void TVirtualDriverLyraRM::SetARMLevelB(double v) { SetLevel(armLevelB_, v, abi::kCodeArmLevelB); }
void TVirtualDriverLyraRM::SetARMUnderA(bool v) { SetFlag(armUnderA_, v, abi::kCodeArmUnderA); }
void TVirtualDriverLyraRM::SetARMUnderB(bool v) { SetFlag(armUnderB_, v, abi::kCodeArmUnderB); }
void TVirtualDriverLyraRM::SetARMUnderExternal(bool v) { SetFlag(armUnderExternal_, v, abi::kCodeArmUnderExternal); }
void TVirtualDriverLyraRM::SetTriggerSourceA(bool v) { SetFlag(triggerSourceA_, v, abi::kCodeTriggerSourceA); }
void TVirtualDriverLyraRM::SetTriggerSourceB(bool v) { SetFlag(triggerSourceB_, v, abi::kCodeTriggerSourceB); }
void TVirtualDriverLyraRM::SetTriggerLevelA(double v) { SetLevel(triggerLevelA_, v, abi::kCodeTriggerLevelA); }
void TVirtualDriverLyraRM::SetTriggerLevelB(double v) { SetLevel(triggerLevelB_, v, abi::kCodeTriggerLevelB); }
void TVirtualDriverLyraRM::SetTriggerUnderA(bool v) { SetFlag(triggerUnderA_, v, abi::kCodeTriggerUnderA); }
void TVirtualDriverLyraRM::SetTriggerUnderB(bool v) { SetFlag(triggerUnderB_, v, abi::kCodeTriggerUnderB); }
void TVirtualDriverLyraRM::SetTriggerRelation(bool v) { SetFlag(triggerRelation_, v, abi::kCodeTriggerRelation); }

void TVirtualDriverLyraRM::SetRecordFree(bool v) {
    if (!Acts(recordFree_.get() != v)) return;
    recordFree_.set(v);
    recordTriggered_.set(!v);
    CallDevice(abi::kCodeRecordFree, BoolArg(v));
}

void TVirtualDriverLyraRM::SetMeasurementStarted(bool v) {
    if (measurementStarted_.get() == v) return;  // on change only, even when forced
    measurementStarted_.set(v);
    Append4(kRecMeasurementStarted, v ? 1 : 0);
    if (v) {
        AppendSettingsSnapshot();
        const uint32_t now = tick_();
        lastTick_ = now;
        startTick_ = now;
    }
    CallDevice(abi::kCodeMeasurementStarted, BoolArg(v));
}

bool TVirtualDriverLyraRM::MarkMeasurementInterrupted() {
    if (!measurementStarted_.get()) return false;
    Append4(kRecMeasurementStarted, 0);
    return true;
}

void TVirtualDriverLyraRM::ResumeMeasurement() {
    if (!measurementStarted_.get()) return;
    RestateMeasurementStart();
    CallDevice(abi::kCodeMeasurementStarted, BoolArg(true));
}

void TVirtualDriverLyraRM::RestateMeasurementStart() {
    if (!measurementStarted_.get()) return;
    ClearCommandBatch();
    Append4(kRecMeasurementStarted, 1);
    AppendSettingsSnapshot();
}

void TVirtualDriverLyraRM::SetMeasurementLength(uint32_t ms) {
    measurementLength_.set(ms);
    lengthInSamples_.set(static_cast<int64_t>(ms / 1000) * SamplesPerSecond(smpSetting_.get()));
}

void TVirtualDriverLyraRM::SetSourceACDC_A(bool v) { SetFlagWithRecord(acdcA_, v, abi::kCodeCouplingA, kRecAcDcA); }
void TVirtualDriverLyraRM::SetSourceACDC_B(bool v) { SetFlagWithRecord(acdcB_, v, abi::kCodeCouplingB, kRecAcDcB); }
void TVirtualDriverLyraRM::SetGroundA(bool v) { SetFlagWithRecord(groundA_, v, abi::kCodeGroundA, kRecGroundA); }
void TVirtualDriverLyraRM::SetGroundB(bool v) { SetFlagWithRecord(groundB_, v, abi::kCodeGroundB, kRecGroundB); }
void TVirtualDriverLyraRM::SetSourceProbeA(int32_t v) { SetProbe(probeA_, v, abi::kCodeProbeA, kRecProbeA); }
void TVirtualDriverLyraRM::SetSourceProbeB(int32_t v) { SetProbe(probeB_, v, abi::kCodeProbeB, kRecProbeB); }

void TVirtualDriverLyraRM::SetVerticalLevel(Relaxed<uint16_t>& level, Relaxed<int32_t>& zero, uint16_t scopeLevel,
                                            uint32_t code, uint16_t record) {
    // A scope level above the range would wrap the device level; the register holds 0..4095.
    const auto d = static_cast<uint16_t>(kMaxLevel - std::min(scopeLevel, kMaxLevel));
    if (!(d != level.get() || forceSettings_.get() || settingsToFile_.get())) return;
    level.set(d);
    if (deviceInitialized_.get() && deviceFunction_) {
        // The library leaves the result untouched when the write failed: keep the old zero.
        uint32_t result = static_cast<uint32_t>(zero.get());
        CallDevice(code, d, &result);
        zero.set(static_cast<int32_t>(result));
    }
    if (settingsToFile_.get()) Append6(record, d, static_cast<uint16_t>(zero.get()));
}

void TVirtualDriverLyraRM::SetVerticalLevelChannelA(uint16_t scopeLevel) {
    SetVerticalLevel(levelA_, zeroA_, scopeLevel, abi::kCodeLevelA, kRecLevelA);
}

void TVirtualDriverLyraRM::SetVerticalLevelChannelB(uint16_t scopeLevel) {
    SetVerticalLevel(levelB_, zeroB_, scopeLevel, abi::kCodeLevelB, kRecLevelB);
}

void TVirtualDriverLyraRM::SetDensity(int channel, uint16_t v) {
    const bool isA = channel == kChannelA;
    Relaxed<uint16_t>& density = isA ? densityA_ : densityB_;
    if (!Acts(density.get() != v)) return;
    density.set(v);
    if (!deviceInitialized_.get()) return;

    // The library always works with the 1:1 step; the probe goes separately.
    const int32_t probe = isA ? probeA_.get() : probeB_.get();
    const int32_t unscaled = GetDeflection(channel) / ProbeFactor(probe);
    const Relaxed<uint16_t>& level = isA ? levelA_ : levelB_;
    uint32_t newLevel = level.get();  // kept if the library does not answer
    CallDevice(isA ? abi::kCodeDensityA : abi::kCodeDensityB, Int32Arg(unscaled), &newLevel);

    if (deviceCalibrationOK_.get()) {
        // Re-centre: the library answers the device level that keeps the trace in place.
        const auto deviceLevel = std::min<uint16_t>(static_cast<uint16_t>(newLevel), kMaxLevel);
        settingsToFile_.set(true);
        const auto scopeLevel = static_cast<uint16_t>(kMaxLevel - deviceLevel);
        if (isA)
            SetVerticalLevelChannelA(scopeLevel);
        else
            SetVerticalLevelChannelB(scopeLevel);
        setBackRequested_.set(true);
        settingsToFile_.set(false);
    }
    Append5(isA ? kRecDeflectionA : kRecDeflectionB, static_cast<uint32_t>(GetDeflection(channel)));
}

void TVirtualDriverLyraRM::SetDensityChannelA(uint16_t v) { SetDensity(kChannelA, v); }
void TVirtualDriverLyraRM::SetDensityChannelB(uint16_t v) { SetDensity(kChannelB, v); }

void TVirtualDriverLyraRM::SetSMPSetting(int32_t v) {
    if (!Acts(smpSetting_.get() != v)) return;
    // Steps outside the table count as its nearest end; the stored value is the one written.
    const int64_t s0 = SamplesPerSecond(smpSetting_.get());
    smpSetting_.set(v);
    const int64_t s1 = SamplesPerSecond(v);
    Append5(kRecSamplesPerSecond, static_cast<uint32_t>(s1));
    CallDevice(abi::kCodeSampling, Int32Arg((kSmpSteps - 1) - ClampSmpStep(v)));
    sampleCounter_.set(Rescale(sampleCounter_.get(), s1, s0));
    lengthInSamples_.set(static_cast<int64_t>(measurementLength_.get() / 1000) * s1);
}

// ---------------------------------------------------------------------------
// Demo generator

TVirtualDriverLyraRM::DemoChannel TVirtualDriverLyraRM::PrepareDemoChannel(int32_t period, int32_t amplitude,
                                                                           int32_t noise, int channel,
                                                                           uint16_t deviceLevel,
                                                                           uint32_t samplesPerSecond) const {
    DemoChannel c{};
    // A period below 1 ms would divide by zero; it counts as 1 ms.
    const int32_t p = std::max<int32_t>(period, 1);
    // The table never yields 0; kept safe should it ever change.
    const int32_t deflection = std::max<int32_t>(GetDeflection(channel), 1);
    const double dt = 1.0 / samplesPerSecond;
    c.period = p;
    c.gain = (static_cast<double>(amplitude) * 255.0) / (static_cast<double>(deflection) * 8.0);
    c.offset = static_cast<double>((lastTick_ - startTick_) % static_cast<uint32_t>(p)) / 1000.0 / dt;
    c.level = static_cast<double>((4096 - deviceLevel) >> 2);
    // Negative noise means none (the range would be negative).
    const int32_t n = std::max<int32_t>(noise, 0);
    c.noiseRange = 2u * static_cast<uint32_t>(n);
    c.noise = n;
    return c;
}

uint8_t TVirtualDriverLyraRM::GenerateDemoData(uint16_t* buffer, uint32_t& count) {
    count = 0;
    const uint32_t now = tick_();
    const uint32_t elapsed = now - lastTick_;
    if (elapsed == 0) return kDemoStatus;
    const int64_t s = SamplesPerSecond(smpSetting_.get());
    const int64_t n = static_cast<int64_t>(elapsed) * s / 1000;
    if (n == 0) return kDemoStatus;  // time accumulates until a whole sample is due
    if (n > kDemoMaxSamples) {
        lastTick_ = now;  // a long pause restarts the clock instead of producing a burst
        return kDemoStatus;
    }
    // Only whole sample periods are consumed; the fraction carries over.
    const uint32_t nextLastTick = lastTick_ + static_cast<uint32_t>(n * 1000 / s);

    const DemoChannel a = PrepareDemoChannel(periodA_.get(), amplitudeA_.get(), noiseA_.get(), kChannelA,
                                             levelA_.get(), static_cast<uint32_t>(s));
    const DemoChannel b = PrepareDemoChannel(periodB_.get(), amplitudeB_.get(), noiseB_.get(), kChannelB,
                                             levelB_.get(), static_cast<uint32_t>(s));
    demo_.Generate(a, b, static_cast<double>(s), static_cast<uint32_t>(n), buffer);

    lastTick_ = nextLastTick;
    count = static_cast<uint32_t>(n);
    return kDemoStatus;
}

}  // namespace rollmode::core
