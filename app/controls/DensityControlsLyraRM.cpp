#include "DensityControlsLyraRM.h"

#include "GroupConnect.h"
#include "NotificationCodes.h"

namespace rollmode::controls {

TDensityControlsLyraRM::TDensityControlsLyraRM(QObject* parent) : QObject(parent) {
    SetControlGroup(core::kGroupDensityControls);
}

void TDensityControlsLyraRM::SetDensityUpButtonA(Button* b) { ConnectClick(this, upA_, b); }
void TDensityControlsLyraRM::SetDensityUpButtonB(Button* b) { ConnectClick(this, upB_, b); }
void TDensityControlsLyraRM::SetDensityDownButtonA(Button* b) { ConnectClick(this, downA_, b); }
void TDensityControlsLyraRM::SetDensityDownButtonB(Button* b) { ConnectClick(this, downB_, b); }

void TDensityControlsLyraRM::HandleNotification(int32_t code, int32_t& group) {
    TWrapperComponentLyraRM::HandleNotification(code, group);
    if (code == core::kNotifyStartup || code == core::kNotifySettingsChanged) RefreshControls();
}

void TDensityControlsLyraRM::OnClick(QObject* sender) {
    core::TVirtualScopeLyraRM* scope = VirtualScope();
    if (scope == nullptr || sender == nullptr) return;
    // Step 1 minus one is 0 and the model makes it 1 again; 9 plus one becomes 9.
    if (sender == upA_) {
        scope->SetDensityChannelA(static_cast<uint16_t>(scope->DensityChannelA() + 1));
    } else if (sender == downA_) {
        scope->SetDensityChannelA(static_cast<uint16_t>(scope->DensityChannelA() - 1));
    } else if (sender == upB_) {
        scope->SetDensityChannelB(static_cast<uint16_t>(scope->DensityChannelB() + 1));
    } else if (sender == downB_) {
        scope->SetDensityChannelB(static_cast<uint16_t>(scope->DensityChannelB() - 1));
    } else {
        return;
    }
    scope->NotifyListeners(core::kNotifySettingsChanged, ControlGroup());
}

void TDensityControlsLyraRM::RefreshControls() {
    const core::TVirtualScopeLyraRM* scope = VirtualScope();
    if (scope == nullptr) return;
    for (Button* b : {upA_.data(), downA_.data()}) {
        if (b) b->SetChannelColor(scope->ColorChannelA());
    }
    for (Button* b : {upB_.data(), downB_.data()}) {
        if (b) b->SetChannelColor(scope->ColorChannelB());
    }
}

}  // namespace rollmode::controls
