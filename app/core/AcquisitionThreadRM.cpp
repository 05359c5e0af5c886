#include "AcquisitionThreadRM.h"

#include <mutex>

#include "DataSourceModuleLyraRM.h"
#include "FlowManagerLyraRM.h"
#include "NotificationCodes.h"
#include "VirtualDriverLyraRM.h"
#include "VirtualScopeLyraRM.h"
#include "platform/Tick.h"
#include "ports/IndicatorLamp.h"

namespace rollmode::core {

namespace {
constexpr uint32_t kIdleSleepMs = 2;
// A demo generator or device that had nothing to give: wait a little rather than
// spin a core on empty reads.
constexpr uint32_t kEmptyReadSleepMs = 1;
}  // namespace

TAcquisitionThreadRM::TAcquisitionThreadRM(TFlowManagerLyraRM& flow) : flow_(flow) {}

TAcquisitionThreadRM::~TAcquisitionThreadRM() { Join(nullptr); }

void TAcquisitionThreadRM::SetLamps(IndicatorLamp* arm, IndicatorLamp* trigger) {
    armLed_.store(arm, std::memory_order_relaxed);
    triggerLed_.store(trigger, std::memory_order_relaxed);
}

void TAcquisitionThreadRM::TransferSettings() {
    TVirtualScopeLyraRM& s = *flow_.VirtualScope();
    TVirtualDriverLyraRM& d = *flow_.Driver();
    {
        std::lock_guard guard(s.SettingsLock());
        d.SetRecordFree(s.RecordFree());
        d.SetSettingsToFile(s.SettingsToFile());
        d.SetMeasurementDefined(s.MeasurementDefined());
        d.SetMeasurementLength(s.MeasurementLength());
        d.SetMeasurementStarted(s.MeasurementStarted());
        d.SetTriggerSourceA(s.TriggerSourceA());
        d.SetTriggerSourceB(s.TriggerSourceB());
        d.SetTriggerLevelA(s.TriggerLevelA());
        d.SetTriggerLevelB(s.TriggerLevelB());
        d.SetTriggerUnderA(s.TriggerUnderA());
        d.SetTriggerUnderB(s.TriggerUnderB());
        d.SetTriggerRelation(s.TriggerRelation());
        d.SetARMSourceA(s.ARMSourceA());
        d.SetARMSourceB(s.ARMSourceB());
        d.SetARMSourceExternal(s.ARMSourceExternal());
        d.SetARMLevelA(s.ARMLevelA());
        d.SetARMLevelB(s.ARMLevelB());
        d.SetARMUnderA(s.ARMUnderA());
        d.SetARMUnderB(s.ARMUnderB());
        d.SetARMUnderExternal(s.ARMUnderExternal());
        d.SetSMPSetting(s.SMPSetting());
        d.SetSourceProbeA(s.SourceProbeA());
        d.SetSourceProbeB(s.SourceProbeB());
        d.SetStatusChannelA(s.StatusChannelA());
        d.SetStatusChannelB(s.StatusChannelB());
        d.SetVerticalLevelChannelA(s.VerticalLevelChannelA());
        d.SetVerticalLevelChannelB(s.VerticalLevelChannelB());
        d.SetDensityChannelA(s.DensityChannelA());
        d.SetDensityChannelB(s.DensityChannelB());
        d.SetSourceACDC_A(s.SourceACDC_A());
        d.SetSourceACDC_B(s.SourceACDC_B());
        d.SetGroundA(s.GroundA());
        d.SetGroundB(s.GroundB());
        d.SetPeriodA(s.PeriodA());
        d.SetPeriodB(s.PeriodB());
        d.SetAmplitudeA(s.AmplitudeA());
        d.SetAmplitudeB(s.AmplitudeB());
        d.SetNoiseA(s.NoiseA());
        d.SetNoiseB(s.NoiseB());
    }
    if (d.SetBackRequested() && Running()) {
        s.SetVerticalLevelChannelA(static_cast<uint16_t>(4095 - d.VerticalLevelChannelA()));
        s.SetVerticalLevelChannelB(static_cast<uint16_t>(4095 - d.VerticalLevelChannelB()));
    }
    d.SetForceSettings(false);
    s.SetZeroChannelA(d.ZeroChannelA());
    s.SetZeroChannelB(d.ZeroChannelB());
}

void TAcquisitionThreadRM::ForcedTransfer() {
    flow_.Driver()->SetForceSettings(true);
    TransferSettings();
}

void TAcquisitionThreadRM::Execute() {
    running_.store(true, std::memory_order_relaxed);
    TVirtualDriverLyraRM& d = *flow_.Driver();
    // A measurement the start-up transfers already started (one that runs on over a restart
    // of the threads) has its start record in the batch emptied here: it is stated again.
    const bool runsOn = d.MeasurementStarted();
    d.ClearCommandBatch();
    ForcedTransfer();
    if (runsOn) d.RestateMeasurementStart();
    flow_.VirtualScope()->SetSettingsToFile(false);
    while (!Terminated()) {
        if (!Pass()) break;
    }
}

bool TAcquisitionThreadRM::ShouldRead() const {
    const TVirtualDriverLyraRM& d = *flow_.Driver();
    return d.MeasurementStarted() &&
           (d.RecordFree() || (d.RecordTriggered() && (d.TriggerSourceA() || d.TriggerSourceB())));
}

bool TAcquisitionThreadRM::Pass() {
    TVirtualScopeLyraRM& s = *flow_.VirtualScope();
    TVirtualDriverLyraRM& d = *flow_.Driver();
    TDataSourceModuleLyraRM& ring = *flow_.DataSourceInstance();

    if (!ShouldRead()) {
        platform::SleepMs(kIdleSleepMs);
        d.ResetSampleCounter();
    } else {
        // Records a transfer left in the batch (a measurement started by the forced transfer
        // at the start or after a re-open) describe the samples about to be read: they go
        // into the stream first, or a reader would meet samples before their start record.
        if (d.CommandBatchSize() != 0) CommitCommandBatch();
        uint16_t* p = ring.GetWriteBuffer();
        if (!p) return false;
        uint32_t n = 0;
        const uint8_t status = d.ReadData(p, n);
        s.SetDataAcquisitionStatus(status);
        ring.CommitWrite(static_cast<int32_t>(n));
        lastBlockCount_.store(static_cast<int32_t>(n), std::memory_order_relaxed);
        if (d.MeasurementDefined()) {
            d.AdvanceSampleCounter(n);
            if (d.MeasurementLengthReached()) {
                d.ResetSampleCounter();
                s.SetDataAcquisitionStatus(0);
                flow_.SetScopeSettingsDirty(true);
            }
        }
        if (s.CachedDataStatus() != s.DataAcquisitionStatus()) UpdateIndicators();
        if (n == 0) platform::SleepMs(kEmptyReadSleepMs);
    }

    if (flow_.ScopeSettingsDirty() && !Terminated()) CopySettingsRecords();

    if (d.USBFailed() && !Terminated()) RecoverDevice();
    return true;
}

void TAcquisitionThreadRM::CommitCommandBatch() {
    TDataSourceModuleLyraRM& ring = *flow_.DataSourceInstance();
    uint16_t* p = ring.GetWriteBuffer();
    if (!p) return;
    uint32_t n = 0;
    flow_.Driver()->TakeCommandBatch(p, n);
    ring.CommitWrite(static_cast<int32_t>(n));
}

void TAcquisitionThreadRM::CopySettingsRecords() {
    TVirtualDriverLyraRM& d = *flow_.Driver();
    TransferSettings();
    CommitCommandBatch();
    flow_.SetScopeSettingsDirty(false);
    flow_.InvokeInUi([this, &d] {
        if (d.SetBackRequested()) {
            flow_.VirtualScope()->NotifyListeners(kNotifySetBackLevels, kGroupAcquisitionThread);
            d.SetSetBackRequested(false);
        }
    });
}

void TAcquisitionThreadRM::UpdateIndicators() {
    TVirtualScopeLyraRM& s = *flow_.VirtualScope();
    s.SetCachedDataStatus(s.DataAcquisitionStatus());
    auto paint = [](IndicatorLamp* lamp, int32_t state) {
        if (lamp && state >= 0 && state <= 2) lamp->SetState(state);
    };
    paint(armLed_.load(std::memory_order_relaxed), s.ARMLEDStatus());
    paint(triggerLed_.load(std::memory_order_relaxed), s.TriggerLEDStatus());
    if (s.CachedDataStatus() == 0 && !Terminated()) {
        flow_.InvokeInUi([this] {
            if (auto* scope = flow_.VirtualScope())
                scope->NotifyListeners(kNotifySettingsChanged, kGroupAcquisitionThread);
        });
    }
    flow_.SetScopeSettingsDirty(true);
}

void TAcquisitionThreadRM::RecoverDevice() {
    TVirtualDriverLyraRM& d = *flow_.Driver();
    // The gap shows in the stream as a stop here and a start with the full snapshot where
    // the samples resume, so a reader does not join the two runs into one. Re-opening
    // empties the batch: the stop goes into the stream first.
    const bool measuring = d.MarkMeasurementInterrupted();
    if (measuring) CommitCommandBatch();
    // Re-opening also zeroes the count of a defined-length measurement, which goes on with
    // the samples it still misses.
    const int64_t counted = d.SampleCounter();
    flow_.InvokeInUi([&d] { d.ReleaseDriverLibrary(); });
    flow_.InvokeInUi([this] {
        if (auto* scope = flow_.VirtualScope())
            scope->NotifyListeners(kNotifyDeviceReopened, kGroupAcquisitionThread);
    });
    d.SetRangeTablePointer(flow_.VirtualScope()->RangeTable());
    flow_.InvokeInUi([&d] { d.OpenDevice(); });
    if (!d.TerminateApplication()) {
        // Before the settings pass, which rescales the count should the rate have changed.
        d.SetSampleCounter(counted);
        ForcedTransfer();
        // Rate, ranges and levels are in place: only now let the device run again.
        d.ResumeMeasurement();
        if (measuring) CommitCommandBatch();
    }
}

}  // namespace rollmode::core
