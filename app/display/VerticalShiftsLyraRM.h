#pragma once
// The vertical position group (group 4): per channel an up button, a down button and
// a slide. Clicks step the level by one, a press on the slide's track steps by five
// and the timer repeats the step while the pointer is held; a press on the knob drags
// it. While the pointer is held the model's SettingsToFile is off, so the levels
// passed on the way are not logged as settings; the release logs the final one.
// The controls and the timer belong to the main window.
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <cstdint>

#include "ChannelIndicationButtonLyra.h"
#include "VerticalSlideLyra.h"
#include "WrapperComponentLyraRM.h"

namespace rollmode::display {

class TVerticalShiftsLyraRM : public QObject, public core::TWrapperComponentLyraRM {
    Q_OBJECT

public:
    explicit TVerticalShiftsLyraRM(QObject* parent = nullptr);

    // Assigning a control connects its events to the group.
    TChannelIndicationButtonLyra* SlideUpButtonA() const { return upA_; }
    void SetSlideUpButtonA(TChannelIndicationButtonLyra* button);
    TChannelIndicationButtonLyra* SlideUpButtonB() const { return upB_; }
    void SetSlideUpButtonB(TChannelIndicationButtonLyra* button);
    TChannelIndicationButtonLyra* SlideDownButtonA() const { return downA_; }
    void SetSlideDownButtonA(TChannelIndicationButtonLyra* button);
    TChannelIndicationButtonLyra* SlideDownButtonB() const { return downB_; }
    void SetSlideDownButtonB(TChannelIndicationButtonLyra* button);
    TVerticalSlideLyra* VerticalSlideA() const { return slideA_; }
    void SetVerticalSlideA(TVerticalSlideLyra* slide);
    TVerticalSlideLyra* VerticalSlideB() const { return slideB_; }
    void SetVerticalSlideB(TVerticalSlideLyra* slide);
    // Connects its tick to the group and stops it; the interval stays the owner's.
    QTimer* Timer() const { return timer_; }
    void SetTimer(QTimer* timer);

    void HandleNotification(int32_t code, int32_t& group) override;
    void RefreshControls() override;

    // Event handlers, public so that the main window and tests can drive them.
    void OnClick(QObject* sender);
    void OnMouseDown(QObject* sender, int y);
    void OnMouseMove(QObject* sender, int y);
    void OnMouseUp(QObject* sender);
    void OnTimer();

    bool DraggingA() const noexcept { return dragA_; }
    bool DraggingB() const noexcept { return dragB_; }
    int32_t RepeatStep() const noexcept { return repeatStep_; }

    // A press on the track this far or more from the knob's top steps the level.
    static constexpr int kKnobGrip = 10;
    static constexpr int32_t kTrackStep = 5;

private:
    void Release(QObject* control);
    void ConnectButton(TChannelIndicationButtonLyra* button);
    void ConnectSlide(TVerticalSlideLyra* slide);
    void Notify();
    // Adds `delta` to the channel's level; the model ignores results outside 1..4095.
    void StepLevel(int32_t channel, int32_t delta);
    bool IsOwnControl(const QObject* sender) const;

    QPointer<TChannelIndicationButtonLyra> upA_, upB_, downA_, downB_;
    QPointer<TVerticalSlideLyra> slideA_, slideB_;
    QPointer<QTimer> timer_;
    bool dragA_ = false;
    bool dragB_ = false;
    int32_t repeatChannel_ = core::TVirtualScopeLyraRM::kChannelA;
    int32_t repeatStep_ = 0;
};

}  // namespace rollmode::display
