#include "VerticalShiftsLyraRM.h"

#include "NotificationCodes.h"

namespace rollmode::display {

using core::TVirtualScopeLyraRM;

TVerticalShiftsLyraRM::TVerticalShiftsLyraRM(QObject* parent) : QObject(parent) {}

// A control replaced by another no longer drives the group.
void TVerticalShiftsLyraRM::Release(QObject* control) {
    if (control != nullptr) disconnect(control, nullptr, this, nullptr);
}

void TVerticalShiftsLyraRM::ConnectButton(TChannelIndicationButtonLyra* button) {
    if (button == nullptr) return;
    connect(button, &QAbstractButton::clicked, this, [this, button] { OnClick(button); });
    connect(button, &TChannelIndicationButtonLyra::mousePressed, this,
            [this, button](int y) { OnMouseDown(button, y); });
    connect(button, &TChannelIndicationButtonLyra::mouseReleased, this,
            [this, button](int) { OnMouseUp(button); });
}

void TVerticalShiftsLyraRM::ConnectSlide(TVerticalSlideLyra* slide) {
    if (slide == nullptr) return;
    connect(slide, &TVerticalSlideLyra::clicked, this, [this, slide] { OnClick(slide); });
    connect(slide, &TVerticalSlideLyra::mousePressed, this, [this, slide](int y) { OnMouseDown(slide, y); });
    connect(slide, &TVerticalSlideLyra::mouseReleased, this, [this, slide](int) { OnMouseUp(slide); });
    connect(slide, &TVerticalSlideLyra::mouseMoved, this, [this, slide](int y) { OnMouseMove(slide, y); });
}

void TVerticalShiftsLyraRM::SetSlideUpButtonA(TChannelIndicationButtonLyra* button) {
    Release(upA_);
    upA_ = button;
    ConnectButton(button);
}

void TVerticalShiftsLyraRM::SetSlideUpButtonB(TChannelIndicationButtonLyra* button) {
    Release(upB_);
    upB_ = button;
    ConnectButton(button);
}

void TVerticalShiftsLyraRM::SetSlideDownButtonA(TChannelIndicationButtonLyra* button) {
    Release(downA_);
    downA_ = button;
    ConnectButton(button);
}

void TVerticalShiftsLyraRM::SetSlideDownButtonB(TChannelIndicationButtonLyra* button) {
    Release(downB_);
    downB_ = button;
    ConnectButton(button);
}

void TVerticalShiftsLyraRM::SetVerticalSlideA(TVerticalSlideLyra* slide) {
    Release(slideA_);
    slideA_ = slide;
    ConnectSlide(slide);
}

void TVerticalShiftsLyraRM::SetVerticalSlideB(TVerticalSlideLyra* slide) {
    Release(slideB_);
    slideB_ = slide;
    ConnectSlide(slide);
}

void TVerticalShiftsLyraRM::SetTimer(QTimer* timer) {
    Release(timer_);
    timer_ = timer;
    if (timer == nullptr) return;
    connect(timer, &QTimer::timeout, this, &TVerticalShiftsLyraRM::OnTimer);
    timer->stop();
}

void TVerticalShiftsLyraRM::HandleNotification(int32_t code, int32_t& group) {
    TWrapperComponentLyraRM::HandleNotification(code, group);
    switch (code) {
        case core::kNotifyStartup:
        case core::kNotifySettingsChanged:
        case core::kNotifySetBackLevels:
        case core::kNotifyLayoutChanged:
        case core::kNotifyLoadStartupSettings:
            RefreshControls();
            break;
        default:
            break;
    }
}

void TVerticalShiftsLyraRM::RefreshControls() {
    TVirtualScopeLyraRM* scope = VirtualScope();
    if (scope == nullptr) return;
    if (slideA_) scope->SetMaxChannelA(slideA_->BarHeight());
    if (slideB_) scope->SetMaxChannelB(slideB_->BarHeight());
    if (slideA_) {
        slideA_->SetBarColor(scope->ColorChannelA());
        slideA_->SetBarPosition(scope->ScaledLevelChannelA());
        slideA_->setToolTip(QString::number(4095 - static_cast<int>(scope->VerticalLevelChannelA())));
    }
    if (slideB_) {
        slideB_->SetBarColor(scope->ColorChannelB());
        slideB_->SetBarPosition(scope->ScaledLevelChannelB());
        slideB_->setToolTip(QString::number(4095 - static_cast<int>(scope->VerticalLevelChannelB())));
    }
    for (TChannelIndicationButtonLyra* button : {upA_.data(), downA_.data()})
        if (button != nullptr) button->SetChannelColor(scope->ColorChannelA());
    for (TChannelIndicationButtonLyra* button : {upB_.data(), downB_.data()})
        if (button != nullptr) button->SetChannelColor(scope->ColorChannelB());
}

void TVerticalShiftsLyraRM::Notify() {
    if (TVirtualScopeLyraRM* scope = VirtualScope()) scope->NotifyListeners(core::kNotifySettingsChanged, ControlGroup());
}

void TVerticalShiftsLyraRM::StepLevel(int32_t channel, int32_t delta) {
    TVirtualScopeLyraRM* scope = VirtualScope();
    if (scope == nullptr || delta == 0) return;
    const bool isB = channel == TVirtualScopeLyraRM::kChannelB;
    const int32_t level = static_cast<int32_t>(isB ? scope->VerticalLevelChannelB() : scope->VerticalLevelChannelA());
    const int32_t next = level + delta;
    // The setters would take a wrapped negative value as a large one and ignore it;
    // saying it here keeps the rule visible.
    if (next < 1 || next > 4095) return;
    if (isB) scope->SetVerticalLevelChannelB(static_cast<uint16_t>(next));
    else scope->SetVerticalLevelChannelA(static_cast<uint16_t>(next));
}

bool TVerticalShiftsLyraRM::IsOwnControl(const QObject* sender) const {
    return sender != nullptr && (sender == upA_ || sender == upB_ || sender == downA_ || sender == downB_ ||
                                 sender == slideA_ || sender == slideB_);
}

void TVerticalShiftsLyraRM::OnClick(QObject* sender) {
    if (sender == upA_) StepLevel(TVirtualScopeLyraRM::kChannelA, -1);
    else if (sender == upB_) StepLevel(TVirtualScopeLyraRM::kChannelB, -1);
    else if (sender == downA_) StepLevel(TVirtualScopeLyraRM::kChannelA, +1);
    else if (sender == downB_) StepLevel(TVirtualScopeLyraRM::kChannelB, +1);
    Notify();
}

void TVerticalShiftsLyraRM::OnMouseDown(QObject* sender, int y) {
    TVirtualScopeLyraRM* scope = VirtualScope();
    if (scope == nullptr) return;
    scope->SetSettingsToFile(false);

    if (sender != nullptr && (sender == slideA_ || sender == slideB_)) {
        const bool isB = sender == slideB_;
        const int32_t channel = isB ? TVirtualScopeLyraRM::kChannelB : TVirtualScopeLyraRM::kChannelA;
        const int k = isB ? scope->ScaledLevelChannelB() : scope->ScaledLevelChannelA();
        bool& drag = isB ? dragB_ : dragA_;
        if (k - kKnobGrip < y && y < k + kKnobGrip) {
            drag = true;
            Notify();
            return;
        }
        drag = false;
        // A press exactly kKnobGrip away neither grabs nor steps; the timer then
        // repeats nothing rather than a step left over from an earlier press.
        repeatStep_ = 0;
        if (y > k + kKnobGrip) repeatStep_ = +kTrackStep;
        if (y < k - kKnobGrip) repeatStep_ = -kTrackStep;
        StepLevel(channel, repeatStep_);
        repeatChannel_ = channel;
    } else if (sender != nullptr && (sender == upA_ || sender == upB_)) {
        repeatChannel_ = sender == upB_ ? TVirtualScopeLyraRM::kChannelB : TVirtualScopeLyraRM::kChannelA;
        repeatStep_ = -1;
    } else if (sender != nullptr && (sender == downA_ || sender == downB_)) {
        repeatChannel_ = sender == downB_ ? TVirtualScopeLyraRM::kChannelB : TVirtualScopeLyraRM::kChannelA;
        repeatStep_ = +1;
    } else {
        Notify();
        return;
    }
    if (timer_) timer_->start();
    Notify();
}

void TVerticalShiftsLyraRM::OnMouseMove(QObject* sender, int y) {
    TVirtualScopeLyraRM* scope = VirtualScope();
    if (scope == nullptr) return;
    if (sender != nullptr && sender == slideA_ && dragA_) {
        scope->SetScaledLevelChannelA(y);
        slideA_->SetBarPosition(scope->ScaledLevelChannelA());
        Notify();
    } else if (sender != nullptr && sender == slideB_ && dragB_) {
        scope->SetScaledLevelChannelB(y);
        slideB_->SetBarPosition(scope->ScaledLevelChannelB());
        Notify();
    }
}

void TVerticalShiftsLyraRM::OnMouseUp(QObject* sender) {
    dragA_ = false;
    dragB_ = false;
    if (IsOwnControl(sender)) {
        if (TVirtualScopeLyraRM* scope = VirtualScope()) scope->SetSettingsToFile(true);
        Notify();
    }
    if (timer_) timer_->stop();
}

void TVerticalShiftsLyraRM::OnTimer() {
    StepLevel(repeatChannel_, repeatStep_);
    Notify();
}

}  // namespace rollmode::display
