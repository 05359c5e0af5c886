#include "ModeDisplayLyraRM.h"

#include "GroupConnect.h"
#include "NotificationCodes.h"

namespace rollmode::controls {

TModeDisplayLyraRM::TModeDisplayLyraRM(QObject* parent) : QObject(parent) {
    SetControlGroup(core::kGroupModeDisplayControls);
}

void TModeDisplayLyraRM::SetBeamFinder(TOnOffButtonLyra* b) { ConnectClick(this, beamFinder_, b); }
void TModeDisplayLyraRM::SetLineModeDisplay(TOnOffButtonLyra* b) { ConnectClick(this, line_, b); }
void TModeDisplayLyraRM::SetEKGModeDisplay(TOnOffButtonLyra* b) { ConnectClick(this, ekg_, b); }
void TModeDisplayLyraRM::SetRollModeDisplay(TOnOffButtonLyra* b) { ConnectClick(this, roll_, b); }
void TModeDisplayLyraRM::SetDisplayButton(TOnOffButtonLyra* b) { ConnectClick(this, display_, b); }
void TModeDisplayLyraRM::SetGridButton(TOnOffButtonLyra* b) { ConnectClick(this, grid_, b); }

void TModeDisplayLyraRM::SetGridScroll(QScrollBar* bar) {
    if (gridScroll_) QObject::disconnect(gridScroll_, nullptr, this, nullptr);
    gridScroll_ = bar;
    if (bar) {
        // User actions only: the refresh's own setValue must not send 14 again.
        connect(bar, &QAbstractSlider::actionTriggered, this, [this, bar] { OnScroll(bar->sliderPosition()); });
    }
}

void TModeDisplayLyraRM::HandleNotification(int32_t code, int32_t& group) {
    TWrapperComponentLyraRM::HandleNotification(code, group);
    if (code == core::kNotifyStartup || code == core::kNotifySettingsChanged ||
        code == core::kNotifyCardiogramDisplay || code == core::kNotifyRollDisplay) {
        RefreshControls();
    }
}

void TModeDisplayLyraRM::OnClick(QObject* sender) {
    core::TVirtualScopeLyraRM* scope = VirtualScope();
    if (scope == nullptr || sender == nullptr) return;
    int32_t code = core::kNotifySettingsChanged;
    if (sender == beamFinder_) {
        scope->SetModeBF(!scope->ModeBF());
    } else if (sender == line_) {
        scope->SetModeLine(!scope->ModeLine());
    } else if (sender == ekg_) {
        scope->SetModeEKG(true);
        code = core::kNotifyCardiogramDisplay;
    } else if (sender == roll_) {
        scope->SetModeEKG(false);
        code = core::kNotifyRollDisplay;
    } else if (sender == display_) {
        scope->SetDisplayActive(!scope->DisplayActive());
    } else if (sender == grid_) {
        scope->SetGrid(!scope->Grid());
    } else {
        return;
    }
    scope->NotifyListeners(code, ControlGroup());
}

void TModeDisplayLyraRM::OnScroll(int position) {
    core::TVirtualScopeLyraRM* scope = VirtualScope();
    if (scope == nullptr) return;
    scope->SetGridBrightness(position);
    scope->NotifyListeners(core::kNotifyGridBrightness, ControlGroup());
}

void TModeDisplayLyraRM::RefreshControls() {
    const core::TVirtualScopeLyraRM* scope = VirtualScope();
    if (scope == nullptr) return;
    if (gridScroll_) {
        gridScroll_->setEnabled(!scope->MeasurementStarted());
        gridScroll_->setValue(scope->GridBrightness());
    }
    if (grid_) grid_->SetDown(scope->Grid());
    if (display_) display_->SetDown(scope->DisplayActive());
    if (beamFinder_) beamFinder_->SetDown(scope->ModeBF());
    if (line_) line_->SetDown(scope->ModeLine());
    if (ekg_) ekg_->SetDown(scope->ModeEKG());
    if (roll_) roll_->SetDown(!scope->ModeEKG());
}

}  // namespace rollmode::controls
