#include "MeasurementRecordControlsLyraRM.h"

#include <cmath>

#include "ArmTriggerRule.h"
#include "GroupConnect.h"
#include "NotificationCodes.h"
#include "ResourceStringsLyraRM.h"
#include "ports/MessageBoxService.h"

namespace rollmode::controls {

TMeasurementRecordControlsLyraRM::TMeasurementRecordControlsLyraRM(QObject* parent) : QObject(parent) {
    SetControlGroup(core::kGroupMeasurementRecordControls);
}

void TMeasurementRecordControlsLyraRM::SetMeasurementStart(TOnOffButtonLyra* b) { ConnectClick(this, start_, b); }
void TMeasurementRecordControlsLyraRM::SetMeasurementStop(TOnOffButtonLyra* b) { ConnectClick(this, stop_, b); }
void TMeasurementRecordControlsLyraRM::SetRecordTriggered(TOnOffButtonLyra* b) { ConnectClick(this, triggered_, b); }
void TMeasurementRecordControlsLyraRM::SetRecordFree(TOnOffButtonLyra* b) { ConnectClick(this, free_, b); }
void TMeasurementRecordControlsLyraRM::SetRecordDefined(TOnOffButtonLyra* b) { ConnectClick(this, defined_, b); }
void TMeasurementRecordControlsLyraRM::SetRecordContinuos(TOnOffButtonLyra* b) { ConnectClick(this, continuous_, b); }

void TMeasurementRecordControlsLyraRM::SetRecordTimeLength(TLongerTimeEditLyraRM* edit) {
    if (length_) length_->disconnect(this);
    length_ = edit;
    if (edit) connect(edit, &TValueEditLyra::keyReleased, this, &TMeasurementRecordControlsLyraRM::OnLengthKeyReleased);
}

void TMeasurementRecordControlsLyraRM::HandleNotification(int32_t code, int32_t& group) {
    TWrapperComponentLyraRM::HandleNotification(code, group);
    if (code == core::kNotifyStartup || code == core::kNotifySettingsChanged) RefreshControls();
}

void TMeasurementRecordControlsLyraRM::Notify() {
    if (core::TVirtualScopeLyraRM* scope = VirtualScope()) {
        scope->NotifyListeners(core::kNotifySettingsChanged, ControlGroup());
    }
}

void TMeasurementRecordControlsLyraRM::OnClick(QObject* sender) {
    core::TVirtualScopeLyraRM* scope = VirtualScope();
    if (scope == nullptr || sender == nullptr) return;
    if (sender == start_) {
        if (!scope->MeasurementStarted()) {
            if (ConfirmArmTriggerConsistent(*scope, messages_)) scope->SetMeasurementStarted(true);
        }
    } else if (sender == stop_) {
        if (scope->MeasurementStarted()) scope->SetMeasurementStarted(false);
    } else if (sender == defined_) {
        scope->SetMeasurementDefined(true);
    } else if (sender == continuous_) {
        scope->SetMeasurementDefined(false);
    } else if (sender == triggered_) {
        const bool wasTriggered = scope->RecordTriggered();
        scope->SetRecordTriggered(!wasTriggered);
        scope->SetRecordFree(wasTriggered);
    } else if (sender == free_) {
        scope->SetRecordFree(!scope->RecordFree());
        scope->SetRecordTriggered(!scope->RecordFree());
    } else {
        return;
    }
    Notify();
}

void TMeasurementRecordControlsLyraRM::OnLengthKeyReleased(int key) {
    core::TVirtualScopeLyraRM* scope = VirtualScope();
    if (scope == nullptr || length_ == nullptr || !TValueEditLyra::IsEnterKey(key)) return;
    // The program-wide rule: to nearest, halves to even (nearbyint in the default mode).
    const double ms = std::nearbyint(length_->TimeValue());
    // A length beyond the 32-bit millisecond count is kept at its largest value.
    const double clamped = ms < 0.0 ? 0.0 : (ms > 4294967295.0 ? 4294967295.0 : ms);
    scope->SetMeasurementLength(static_cast<uint32_t>(clamped));
    Notify();
}

void TMeasurementRecordControlsLyraRM::RefreshControls() {
    const core::TVirtualScopeLyraRM* scope = VirtualScope();
    if (scope == nullptr) return;
    const bool started = scope->MeasurementStarted();
    const bool defined = scope->MeasurementDefined();
    if (start_) start_->SetDown(started);
    if (stop_) stop_->SetDown(false);
    if (defined_) defined_->SetDown(defined);
    if (continuous_) continuous_->SetDown(!defined);
    if (length_) {
        length_->setEnabled(defined && !started);
        length_->SetTimeValue(scope->MeasurementLength());
    }
    if (free_) free_->SetDown(scope->RecordFree());
    if (triggered_) triggered_->SetDown(scope->RecordTriggered());
}

}  // namespace rollmode::controls
