#pragma once
// The sweep control group: which traces each screen column shows (maximum, average,
// minimum), real samples instead of the calculated traces, and clear screen. The
// trace choice is always the average alone or a non-empty set of maximum and
// minimum; the model holds it, the buttons only show it.
#include <QObject>

#include "ControlGroupLink.h"
#include "OnOffButtonLyra.h"
#include "WrapperComponentLyraRM.h"

namespace rollmode::controls {

class TSweepControlsLyraRM : public QObject, public core::TWrapperComponentLyraRM {
    Q_OBJECT

public:
    explicit TSweepControlsLyraRM(QObject* parent = nullptr);

    TOnOffButtonLyra* MakeMaximumButton() const { return makeMaximumButton_.get(); }
    void SetMakeMaximumButton(TOnOffButtonLyra* button);
    TOnOffButtonLyra* MakeAvgButton() const { return makeAvgButton_.get(); }
    void SetMakeAvgButton(TOnOffButtonLyra* button);
    TOnOffButtonLyra* MakeMinimumButton() const { return makeMinimumButton_.get(); }
    void SetMakeMinimumButton(TOnOffButtonLyra* button);
    TOnOffButtonLyra* SingleButton() const { return singleButton_.get(); }
    void SetSingleButton(TOnOffButtonLyra* button);
    TOnOffButtonLyra* CalcButton() const { return calcButton_.get(); }
    void SetCalcButton(TOnOffButtonLyra* button);
    TOnOffButtonLyra* ClearScreenButton() const { return clearScreenButton_.get(); }
    void SetClearScreenButton(TOnOffButtonLyra* button);

    // Code 3 leaves the model; codes 1 and 2 refresh.
    void HandleNotification(int32_t code, int32_t& group) override;
    void RefreshControls() override;

private:
    enum class Control { Maximum, Average, Minimum, Single, Calc, ClearScreen };
    void Clicked(Control control);
    void Link(ControlGroupLink<TOnOffButtonLyra>& link, TOnOffButtonLyra* button, Control control);

    ControlGroupLink<TOnOffButtonLyra> makeMaximumButton_;
    ControlGroupLink<TOnOffButtonLyra> makeAvgButton_;
    ControlGroupLink<TOnOffButtonLyra> makeMinimumButton_;
    ControlGroupLink<TOnOffButtonLyra> singleButton_;
    ControlGroupLink<TOnOffButtonLyra> calcButton_;
    ControlGroupLink<TOnOffButtonLyra> clearScreenButton_;
};

}  // namespace rollmode::controls
