#include "ChannelControlsLyraRM.h"

#include "GroupConnect.h"
#include "NotificationCodes.h"

namespace rollmode::controls {

TChannelControlsLyraRM::TChannelControlsLyraRM(QObject* parent) : QObject(parent) {
    SetControlGroup(core::kGroupChannelControls);
}

void TChannelControlsLyraRM::SetChannelButtonA(TOnOffButtonLyra* b) { ConnectClick(this, a_, b); }
void TChannelControlsLyraRM::SetChannelButtonB(TOnOffButtonLyra* b) { ConnectClick(this, b_, b); }

void TChannelControlsLyraRM::HandleNotification(int32_t code, int32_t& group) {
    TWrapperComponentLyraRM::HandleNotification(code, group);
    if (code == core::kNotifyStartup || code == core::kNotifySettingsChanged) RefreshControls();
}

void TChannelControlsLyraRM::OnClick(QObject* sender) {
    core::TVirtualScopeLyraRM* scope = VirtualScope();
    if (scope == nullptr || sender == nullptr) return;
    if (sender == a_) {
        scope->SetStatusChannelA(!scope->StatusChannelA());
    } else if (sender == b_) {
        scope->SetStatusChannelB(!scope->StatusChannelB());
    } else {
        return;
    }
    scope->NotifyListeners(core::kNotifySettingsChanged, ControlGroup());
}

void TChannelControlsLyraRM::RefreshControls() {
    const core::TVirtualScopeLyraRM* scope = VirtualScope();
    if (scope == nullptr) return;
    if (a_) a_->SetDown(scope->StatusChannelA());
    if (b_) b_->SetDown(scope->StatusChannelB());
}

}  // namespace rollmode::controls
