#include "SourceControlsLyraRM.h"

#include "GroupConnect.h"
#include "NotificationCodes.h"

namespace rollmode::controls {

namespace {
// Probe steps 1, 2, 3, 4, 1, ...
int32_t NextProbe(int32_t step) { return step >= 1 && step < 4 ? step + 1 : 1; }
}  // namespace

TSourceControlsLyraRM::TSourceControlsLyraRM(QObject* parent) : QObject(parent) {
    SetControlGroup(core::kGroupSourceControls);
}

void TSourceControlsLyraRM::SetProbeButtonA(Button* b) { ConnectClick(this, probeA_, b); }
void TSourceControlsLyraRM::SetProbeButtonB(Button* b) { ConnectClick(this, probeB_, b); }
void TSourceControlsLyraRM::SetACDCButtonA(Button* b) { ConnectClick(this, acdcA_, b); }
void TSourceControlsLyraRM::SetACDCButtonB(Button* b) { ConnectClick(this, acdcB_, b); }
void TSourceControlsLyraRM::SetGroundA(Button* b) { ConnectClick(this, groundA_, b); }
void TSourceControlsLyraRM::SetGroundB(Button* b) { ConnectClick(this, groundB_, b); }

void TSourceControlsLyraRM::HandleNotification(int32_t code, int32_t& group) {
    TWrapperComponentLyraRM::HandleNotification(code, group);
    if (code == core::kNotifyStartup || code == core::kNotifySettingsChanged) RefreshControls();
}

void TSourceControlsLyraRM::OnClick(QObject* sender) {
    core::TVirtualScopeLyraRM* scope = VirtualScope();
    if (scope == nullptr || sender == nullptr) return;
    if (sender == acdcA_) {
        scope->SetSourceACDC_A(!scope->SourceACDC_A());
    } else if (sender == acdcB_) {
        scope->SetSourceACDC_B(!scope->SourceACDC_B());
    } else if (sender == probeA_) {
        scope->SetSourceProbeA(NextProbe(scope->SourceProbeA()));
    } else if (sender == probeB_) {
        scope->SetSourceProbeB(NextProbe(scope->SourceProbeB()));
    } else if (sender == groundA_) {
        scope->SetGroundA(groundA_->isChecked());
    } else if (sender == groundB_) {
        scope->SetGroundB(groundB_->isChecked());
    } else {
        return;
    }
    scope->NotifyListeners(core::kNotifySettingsChanged, ControlGroup());
}

void TSourceControlsLyraRM::RefreshControls() {
    const core::TVirtualScopeLyraRM* scope = VirtualScope();
    if (scope == nullptr) return;
    const uint32_t colorA = scope->ColorChannelA();
    const uint32_t colorB = scope->ColorChannelB();
    for (Button* b : {probeA_.data(), acdcA_.data(), groundA_.data()}) {
        if (b) b->SetChannelColor(colorA);
    }
    for (Button* b : {probeB_.data(), acdcB_.data(), groundB_.data()}) {
        if (b) b->SetChannelColor(colorB);
    }
    using core::TVirtualScopeLyraRM;
    if (probeA_) probeA_->setText(QString::fromStdString(scope->ProbeText(TVirtualScopeLyraRM::kChannelA)));
    if (probeB_) probeB_->setText(QString::fromStdString(scope->ProbeText(TVirtualScopeLyraRM::kChannelB)));
    if (acdcA_) acdcA_->setChecked(scope->SourceACDC_A());
    if (acdcB_) acdcB_->setChecked(scope->SourceACDC_B());
}

}  // namespace rollmode::controls
