#pragma once
// The ARM control group: arm sources A, B and external, an under/over choice for
// each (the external input's polarity "0"/"1") and arm levels for A and B. Like the
// trigger group it keeps no state; unlike it, it stays usable during a measurement.
#include <QAbstractButton>
#include <QObject>

#include "ControlGroupLink.h"
#include "OnOffButtonLyra.h"
#include "VoltageValueEditLyra.h"
#include "WrapperComponentLyraRM.h"

namespace rollmode::controls {

class TArmControlsLyraRM : public QObject, public core::TWrapperComponentLyraRM {
    Q_OBJECT

public:
    explicit TArmControlsLyraRM(QObject* parent = nullptr);

    TOnOffButtonLyra* ArmSourceA() const { return armSourceA_.get(); }
    void SetArmSourceA(TOnOffButtonLyra* button);
    TOnOffButtonLyra* ArmSourceB() const { return armSourceB_.get(); }
    void SetArmSourceB(TOnOffButtonLyra* button);
    TOnOffButtonLyra* ExternalSource() const { return externalSource_.get(); }
    void SetExternalSource(TOnOffButtonLyra* button);
    QAbstractButton* TrigUnderOverA() const { return trigUnderOverA_.get(); }
    void SetTrigUnderOverA(QAbstractButton* button);
    QAbstractButton* TrigUnderOverB() const { return trigUnderOverB_.get(); }
    void SetTrigUnderOverB(QAbstractButton* button);
    QAbstractButton* TrigUnderOverExternal() const { return trigUnderOverExternal_.get(); }
    void SetTrigUnderOverExternal(QAbstractButton* button);
    TVoltageValueEditLyra* ArmLevelEditA() const { return armLevelEditA_.get(); }
    void SetArmLevelEditA(TVoltageValueEditLyra* edit);
    TVoltageValueEditLyra* ArmLevelEditB() const { return armLevelEditB_.get(); }
    void SetArmLevelEditB(TVoltageValueEditLyra* edit);

    // Code 3 leaves the model; codes 1 and 2 refresh.
    void HandleNotification(int32_t code, int32_t& group) override;
    void RefreshControls() override;

private:
    enum class Control { SourceA, SourceB, SourceExternal, UnderOverA, UnderOverB, UnderOverExternal };
    void Clicked(Control control);
    void LevelKeyReleased(bool channelA, int key);
    template <typename W>
    void LinkButton(ControlGroupLink<W>& link, W* button, Control control);

    ControlGroupLink<TOnOffButtonLyra> armSourceA_;
    ControlGroupLink<TOnOffButtonLyra> armSourceB_;
    ControlGroupLink<TOnOffButtonLyra> externalSource_;
    ControlGroupLink<QAbstractButton> trigUnderOverA_;
    ControlGroupLink<QAbstractButton> trigUnderOverB_;
    ControlGroupLink<QAbstractButton> trigUnderOverExternal_;
    ControlGroupLink<TVoltageValueEditLyra> armLevelEditA_;
    ControlGroupLink<TVoltageValueEditLyra> armLevelEditB_;
};

}  // namespace rollmode::controls
