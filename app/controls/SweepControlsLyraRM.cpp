#include "SweepControlsLyraRM.h"

#include "NotificationCodes.h"
#include "VirtualScopeLyraRM.h"

namespace rollmode::controls {

TSweepControlsLyraRM::TSweepControlsLyraRM(QObject* parent) : QObject(parent) {
    SetControlGroup(core::kGroupSweepControls);
}

void TSweepControlsLyraRM::Link(ControlGroupLink<TOnOffButtonLyra>& link, TOnOffButtonLyra* button, Control control) {
    link.Set(button, [this, control](TOnOffButtonLyra* b) {
        return connect(b, &QAbstractButton::clicked, this, [this, control] { Clicked(control); });
    });
}

void TSweepControlsLyraRM::SetMakeMaximumButton(TOnOffButtonLyra* b) { Link(makeMaximumButton_, b, Control::Maximum); }
void TSweepControlsLyraRM::SetMakeAvgButton(TOnOffButtonLyra* b) { Link(makeAvgButton_, b, Control::Average); }
void TSweepControlsLyraRM::SetMakeMinimumButton(TOnOffButtonLyra* b) { Link(makeMinimumButton_, b, Control::Minimum); }
void TSweepControlsLyraRM::SetSingleButton(TOnOffButtonLyra* b) { Link(singleButton_, b, Control::Single); }
void TSweepControlsLyraRM::SetCalcButton(TOnOffButtonLyra* b) { Link(calcButton_, b, Control::Calc); }
void TSweepControlsLyraRM::SetClearScreenButton(TOnOffButtonLyra* b) {
    Link(clearScreenButton_, b, Control::ClearScreen);
}

void TSweepControlsLyraRM::Clicked(Control control) {
    core::TVirtualScopeLyraRM* m = VirtualScope();
    if (m == nullptr) return;
    // The trace flags are display settings the screens read on their own: written
    // without the settings lock.
    switch (control) {
        case Control::ClearScreen:
            // A request, not a state: the button never stays pressed. The flow
            // manager clears the screen on the notification below.
            if (clearScreenButton_) clearScreenButton_->SetDown(false);
            m->SetClearScreenRequested(true);
            break;
        case Control::Minimum:
            m->SetMakeMinimum(!m->MakeMinimum());
            m->SetMakeAvg(false);
            break;
        case Control::Maximum:
            m->SetMakeMaximum(!m->MakeMaximum());
            m->SetMakeAvg(false);
            break;
        case Control::Average:
            m->SetMakeAvg(true);
            m->SetMakeMaximum(false);
            m->SetMakeMinimum(false);
            break;
        case Control::Single: m->SetSingleMode(true); break;
        case Control::Calc: m->SetSingleMode(false); break;
    }
    // Some trace is always drawn: with none chosen, the average.
    if (!m->MakeAvg() && !m->MakeMaximum() && !m->MakeMinimum()) m->SetMakeAvg(true);
    m->NotifyListeners(core::kNotifySettingsChanged, ControlGroup());
}

void TSweepControlsLyraRM::HandleNotification(int32_t code, int32_t& group) {
    TWrapperComponentLyraRM::HandleNotification(code, group);
    if (code == core::kNotifyStartup || code == core::kNotifySettingsChanged) RefreshControls();
}

void TSweepControlsLyraRM::RefreshControls() {
    const core::TVirtualScopeLyraRM* m = VirtualScope();
    if (m == nullptr) return;
    const bool single = m->SingleMode();
    if (makeMinimumButton_) makeMinimumButton_->SetDown(m->MakeMinimum());
    if (makeMaximumButton_) makeMaximumButton_->SetDown(m->MakeMaximum());
    if (makeAvgButton_) makeAvgButton_->SetDown(m->MakeAvg());
    if (singleButton_) singleButton_->SetDown(single);
    if (calcButton_) calcButton_->SetDown(!single);
    // Real samples have no calculated traces to choose from.
    for (TOnOffButtonLyra* b : {makeMinimumButton_.get(), makeMaximumButton_.get(), makeAvgButton_.get()}) {
        if (b != nullptr) b->setEnabled(!single);
    }
}

}  // namespace rollmode::controls
