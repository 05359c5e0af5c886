#pragma once
// The program's only door to the instrument: loads the roll-mode driver library,
// forwards every setting change to it, reads sample words, logs settings records
// into the command batch, and synthesises two sine channels when no device is usable.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "DemoSignal.h"
#include "Relaxed.h"
#include "platform/DynamicLibrary.h"
#include "ports/MessageBoxService.h"
#include "rollmode/Abi.h"

namespace rollmode::core {

class ApplicationControl;

class TVirtualDriverLyraRM {
public:
    using DemoRandom = virtual_driver::DemoRandom;

    // Channel selectors of GetDeflection.
    static constexpr int kChannelA = 100;
    static constexpr int kChannelB = 200;

    static constexpr std::size_t kCommandBatchWords = 1025;
    static constexpr std::size_t kSnapshotWords = 51;
    // ReadData's buffer must hold this many words.
    static constexpr uint32_t kReadBufferWords = 65536;
    static constexpr uint32_t kDemoMaxSamples = 65535;
    static constexpr uint8_t kDemoStatus = 0x22;
    static constexpr uint16_t kMaxLevel = 4095;
    // Unknown InitializeDevice results retried at once before the user is asked.
    static constexpr int kMaxSilentInitRetries = 100;

    // Settings record codes.
    enum RecordCode : uint16_t {
        kRecMeasurementStarted = 1,
        kRecLevelA = 2,
        kRecLevelB = 3,
        kRecProbeA = 4,
        kRecProbeB = 5,
        kRecAcDcA = 6,
        kRecAcDcB = 7,
        kRecGroundA = 8,
        kRecGroundB = 9,
        kRecSamplesPerSecond = 10,
        kRecDeflectionA = 11,
        kRecDeflectionB = 12,
    };


    // InitializeDevice results.
    enum InitResult : int32_t {
        kInitOk = 0,
        kInitTransportMissing = 1,
        kInitDeviceNotPresent = 3,
        kInitFailed = 4,
        kInitBrokenCalibration = 5,
        kInitTransportIncomplete = 7,
    };

    using TickSource = std::function<uint32_t()>;

    explicit TVirtualDriverLyraRM(MessageBoxService* messages = nullptr, ApplicationControl* application = nullptr);
    ~TVirtualDriverLyraRM();
    TVirtualDriverLyraRM(const TVirtualDriverLyraRM&) = delete;
    TVirtualDriverLyraRM& operator=(const TVirtualDriverLyraRM&) = delete;

    // --- wiring -------------------------------------------------------------
    void SetMessageBoxService(MessageBoxService* messages) { messages_ = messages; }
    void SetApplicationControl(ApplicationControl* application) { application_ = application; }
    void SetLibraryName(std::string name) { libraryName_ = std::move(name); }
    const std::string& LibraryName() const { return libraryName_; }
    // Millisecond tick of the demo clock; an empty function restores the system tick.
    void SetTickSource(TickSource tick);
    void SeedRandom(uint64_t seed) { demo_.Seed(seed); }
    // The scope's 240-byte area that InitializeDevice fills with the range table.
    void SetRangeTablePointer(void* area) { rangeTable_ = area; }
    void* RangeTablePointer() const { return rangeTable_; }

    // --- device access ------------------------------------------------------
    // Loads and initialises the library; shows the retry dialogs. Main thread only.
    void OpenDevice();
    // Unloads the library (without DeInitializeDevice) and forgets its entry points.
    void ReleaseDriverLibrary();
    bool LibraryLoaded() const { return library_.IsLoaded(); }
    // A lost device ends the running measurement in the stream: appends record 1 with 0 when
    // one runs (the model and this driver keep it started, to resume it). False when none runs.
    bool MarkMeasurementInterrupted();
    // A re-opened library starts stopped, and the MeasurementStarted setter acts on change only:
    // after the settings pass that follows a re-open this starts a measurement that was running,
    // and the batch gets what a start gives it, record 1 with 1 and the snapshot, in place of
    // the pass's own records (the snapshot says all of them).
    void ResumeMeasurement();
    // The stream half of ResumeMeasurement, for a device that already runs: when a measurement
    // runs, the batch holds record 1 with 1 and the snapshot in place of its records.
    void RestateMeasurementStart();
    // Fills buffer (at least kReadBufferWords words) and returns the acquisition status byte.
    uint8_t ReadData(uint16_t* buffer, uint32_t& count);
    // Synthesises the demo signal; always returns kDemoStatus. At most kDemoMaxSamples words.
    uint8_t GenerateDemoData(uint16_t* buffer, uint32_t& count);
    // Millivolts per division of channel kChannelA or kChannelB (1 for anything else).
    int32_t GetDeflection(int channel) const;

    // --- command batch ------------------------------------------------------
    void ClearCommandBatch();
    // Copies the pending words to destination, reports their number, empties the batch.
    void TakeCommandBatch(uint16_t* destination, uint32_t& count);
    uint32_t CommandBatchSize() const { return batchIndex_; }
    const uint16_t* CommandBatchData() const { return batch_.data(); }
    // Appends record 2 and 3, 4..9, 10, 11, 12: the settings in force (51 words).
    void AppendSettingsSnapshot();

    // --- measurement sample counter (acquisition thread) --------------------
    int64_t SampleCounter() const { return sampleCounter_.get(); }
    void SetSampleCounter(int64_t value) { sampleCounter_.set(value); }
    void ResetSampleCounter() { sampleCounter_.set(0); }
    // Adds n and returns the new count.
    int64_t AdvanceSampleCounter(uint32_t n);
    int64_t MeasurementLengthInSamples() const { return lengthInSamples_.get(); }
    bool MeasurementLengthReached() const { return sampleCounter_.get() >= lengthInSamples_.get(); }

    // --- published properties -----------------------------------------------
    bool DeviceCalibrationOK() const { return deviceCalibrationOK_.get(); }
    void SetDeviceCalibrationOK(bool v) { deviceCalibrationOK_.set(v); }
    bool TerminateApplication() const { return terminateApplication_.get(); }
    bool USBFailed() const { return usbFailed_.load(std::memory_order_relaxed) != 0; }
    // Written and read on the main thread only (OpenDevice, About dialog).
    const std::string& DeviceDriverVersion() const { return deviceDriverVersion_; }
    const std::string& USBDriverVersion() const { return usbDriverVersion_; }

    bool ARMSourceA() const { return armSourceA_.get(); }
    void SetARMSourceA(bool v);
    bool ARMSourceB() const { return armSourceB_.get(); }
    void SetARMSourceB(bool v);
    bool ARMSourceExternal() const { return armSourceExternal_.get(); }
    void SetARMSourceExternal(bool v);
    double ARMLevelA() const { return armLevelA_.get(); }
    void SetARMLevelA(double v);
    double ARMLevelB() const { return armLevelB_.get(); }
    void SetARMLevelB(double v);
    bool ARMUnderA() const { return armUnderA_.get(); }
    void SetARMUnderA(bool v);
    bool ARMUnderB() const { return armUnderB_.get(); }
    void SetARMUnderB(bool v);
    bool ARMUnderExternal() const { return armUnderExternal_.get(); }
    void SetARMUnderExternal(bool v);

    bool TriggerSourceA() const { return triggerSourceA_.get(); }
    void SetTriggerSourceA(bool v);
    bool TriggerSourceB() const { return triggerSourceB_.get(); }
    void SetTriggerSourceB(bool v);
    double TriggerLevelA() const { return triggerLevelA_.get(); }
    void SetTriggerLevelA(double v);
    double TriggerLevelB() const { return triggerLevelB_.get(); }
    void SetTriggerLevelB(double v);
    bool TriggerUnderA() const { return triggerUnderA_.get(); }
    void SetTriggerUnderA(bool v);
    bool TriggerUnderB() const { return triggerUnderB_.get(); }
    void SetTriggerUnderB(bool v);
    bool TriggerRelation() const { return triggerRelation_.get(); }
    void SetTriggerRelation(bool v);

    bool StatusChannelA() const { return statusChannelA_.get(); }
    void SetStatusChannelA(bool v) { statusChannelA_.set(v); }
    bool StatusChannelB() const { return statusChannelB_.get(); }
    void SetStatusChannelB(bool v) { statusChannelB_.set(v); }

    uint16_t DensityChannelA() const { return densityA_.get(); }
    void SetDensityChannelA(uint16_t v);
    uint16_t DensityChannelB() const { return densityB_.get(); }
    void SetDensityChannelB(uint16_t v);

    bool RecordTriggered() const { return recordTriggered_.get(); }
    void SetRecordTriggered(bool v) { recordTriggered_.set(v); }
    bool RecordFree() const { return recordFree_.get(); }
    void SetRecordFree(bool v);
    bool MeasurementStarted() const { return measurementStarted_.get(); }
    void SetMeasurementStarted(bool v);
    uint32_t MeasurementLength() const { return measurementLength_.get(); }
    void SetMeasurementLength(uint32_t ms);
    bool MeasurementDefined() const { return measurementDefined_.get(); }
    void SetMeasurementDefined(bool v) { measurementDefined_.set(v); }

    // Reads back the device level (4095 minus the scope level written).
    uint16_t VerticalLevelChannelA() const { return levelA_.get(); }
    void SetVerticalLevelChannelA(uint16_t scopeLevel);
    uint16_t VerticalLevelChannelB() const { return levelB_.get(); }
    void SetVerticalLevelChannelB(uint16_t scopeLevel);

    int32_t SMPSetting() const { return smpSetting_.get(); }
    void SetSMPSetting(int32_t v);
    // The display rate does not concern the instrument: the setter ignores the value.
    int32_t DSPSetting() const { return 0; }
    void SetDSPSetting(int32_t) {}

    bool SourceACDC_A() const { return acdcA_.get(); }
    void SetSourceACDC_A(bool v);
    bool SourceACDC_B() const { return acdcB_.get(); }
    void SetSourceACDC_B(bool v);
    int32_t SourceProbeA() const { return probeA_.get(); }
    void SetSourceProbeA(int32_t v);
    int32_t SourceProbeB() const { return probeB_.get(); }
    void SetSourceProbeB(int32_t v);
    bool GroundA() const { return groundA_.get(); }
    void SetGroundA(bool v);
    bool GroundB() const { return groundB_.get(); }
    void SetGroundB(bool v);

    bool SetBackRequested() const { return setBackRequested_.get(); }
    void SetSetBackRequested(bool v) { setBackRequested_.set(v); }
    bool ForceSettings() const { return forceSettings_.get(); }
    void SetForceSettings(bool v) { forceSettings_.set(v); }
    int32_t ZeroChannelA() const { return zeroA_.get(); }
    void SetZeroChannelA(int32_t v) { zeroA_.set(v); }
    int32_t ZeroChannelB() const { return zeroB_.get(); }
    void SetZeroChannelB(int32_t v) { zeroB_.set(v); }
    const std::string& DeviceSerialNumber() const { return deviceSerialNumber_; }
    void SetDeviceSerialNumber(std::string v) { deviceSerialNumber_ = std::move(v); }
    bool SettingsToFile() const { return settingsToFile_.get(); }
    void SetSettingsToFile(bool v) { settingsToFile_.set(v); }
    bool DeviceInitialized() const { return deviceInitialized_.get(); }
    void SetDeviceInitialized(bool v) { deviceInitialized_.set(v); }

    int32_t PeriodA() const { return periodA_.get(); }
    void SetPeriodA(int32_t v) { StoreOnly(periodA_, v); }
    int32_t PeriodB() const { return periodB_.get(); }
    void SetPeriodB(int32_t v) { StoreOnly(periodB_, v); }
    int32_t AmplitudeA() const { return amplitudeA_.get(); }
    void SetAmplitudeA(int32_t v) { StoreOnly(amplitudeA_, v); }
    int32_t AmplitudeB() const { return amplitudeB_.get(); }
    void SetAmplitudeB(int32_t v) { StoreOnly(amplitudeB_, v); }
    int32_t NoiseA() const { return noiseA_.get(); }
    void SetNoiseA(int32_t v) { StoreOnly(noiseA_, v); }
    int32_t NoiseB() const { return noiseB_.get(); }
    void SetNoiseB(int32_t v) { StoreOnly(noiseB_, v); }

    bool DemoMode() const { return demoMode_.get(); }
    void SetDemoMode(bool v) { demoMode_.set(v); }

private:
    using DemoChannel = virtual_driver::DemoWave;

    bool Acts(bool differs) const { return differs || forceSettings_.get(); }
    template <class T>
    void StoreOnly(Relaxed<T>& field, T v) {
        if (Acts(field.get() != v)) field.set(v);
    }
    // One DeviceFunction call with the value as sixth argument, while initialised.
    uint32_t CallDevice(uint32_t code, uintptr_t value, uint32_t* result = nullptr);
    void SetFlag(Relaxed<bool>& field, bool v, uint32_t code);
    void SetLevel(Relaxed<double>& field, double v, uint32_t code);
    void SetFlagWithRecord(Relaxed<bool>& field, bool v, uint32_t code, uint16_t record);
    void SetProbe(Relaxed<int32_t>& field, int32_t v, uint32_t code, uint16_t record);
    void SetVerticalLevel(Relaxed<uint16_t>& level, Relaxed<int32_t>& zero, uint16_t scopeLevel, uint32_t code,
                          uint16_t record);
    void SetDensity(int channel, uint16_t v);

    void Append4(uint16_t code, uint16_t arg);
    void Append5(uint16_t code, uint32_t arg);
    void Append6(uint16_t code, uint16_t arg1, uint16_t arg2);
    bool Reserve(uint16_t length);

    void RunInitializeLoop();
    void ReadVersions();
    void ReadSerialNumber();
    // Error box; without a message service the answer is defaultAnswer.
    MsgResult Ask(const char* text, MsgButtons buttons, MsgResult defaultAnswer);
    void RequestTerminate();

    DemoChannel PrepareDemoChannel(int32_t period, int32_t amplitude, int32_t noise, int channel,
                                   uint16_t deviceLevel, uint32_t samplesPerSecond) const;

    MessageBoxService* messages_ = nullptr;
    ApplicationControl* application_ = nullptr;
    std::string libraryName_;
    TickSource tick_;
    virtual_driver::DemoSynthesizer demo_;

    platform::DynamicLibrary library_;
    abi::InitializeDeviceFn initializeDevice_ = nullptr;
    abi::DeInitializeDeviceFn deInitializeDevice_ = nullptr;
    abi::DeviceFunctionFn deviceFunction_ = nullptr;
    void* rangeTable_ = nullptr;
    std::array<uint8_t, abi::kRangeTableBytes> scratchRangeTable_{};

    // The library writes this byte (0/1) from its own calls; the acquisition thread polls it.
    std::atomic<uint8_t> usbFailed_{0};
    static_assert(std::atomic<uint8_t>::is_always_lock_free && sizeof(std::atomic<uint8_t>) == 1,
                  "the failure flag must be one plain byte the library can write");

    // Demo clock (acquisition thread).
    uint32_t lastTick_ = 0;
    uint32_t startTick_ = 0;

    Relaxed<int64_t> sampleCounter_;
    Relaxed<int64_t> lengthInSamples_;

    std::array<uint16_t, kCommandBatchWords> batch_{};
    uint32_t batchIndex_ = 0;

    Relaxed<bool> deviceCalibrationOK_, terminateApplication_;
    std::string deviceDriverVersion_, usbDriverVersion_, deviceSerialNumber_;
    Relaxed<bool> armSourceA_, armSourceB_, armSourceExternal_;
    Relaxed<double> armLevelA_, armLevelB_;
    Relaxed<bool> armUnderA_, armUnderB_, armUnderExternal_;
    Relaxed<bool> triggerSourceA_, triggerSourceB_;
    Relaxed<double> triggerLevelA_, triggerLevelB_;
    Relaxed<bool> triggerUnderA_, triggerUnderB_, triggerRelation_;
    Relaxed<bool> statusChannelA_, statusChannelB_;
    Relaxed<uint16_t> densityA_, densityB_;
    Relaxed<bool> recordTriggered_, recordFree_, measurementStarted_;
    Relaxed<uint32_t> measurementLength_;
    Relaxed<bool> measurementDefined_;
    Relaxed<uint16_t> levelA_, levelB_;
    Relaxed<int32_t> smpSetting_;
    Relaxed<bool> acdcA_, acdcB_;
    Relaxed<int32_t> probeA_, probeB_;
    Relaxed<bool> groundA_, groundB_;
    Relaxed<bool> setBackRequested_, forceSettings_;
    Relaxed<int32_t> zeroA_, zeroB_;
    Relaxed<bool> settingsToFile_, deviceInitialized_;
    Relaxed<int32_t> periodA_, periodB_, amplitudeA_, amplitudeB_, noiseA_, noiseB_;
    Relaxed<bool> demoMode_;
};

}  // namespace rollmode::core
