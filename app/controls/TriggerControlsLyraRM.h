#pragma once
// The trigger control group: per channel a source switch, an under/over choice and a
// level; the AND/OR relation of the two sources. The group keeps no state: a click
// toggles the model, and the refresh of the broadcast that follows redraws the
// widgets. During a measurement the trigger cannot be changed.
#include <QAbstractButton>
#include <QObject>

#include "ControlGroupLink.h"
#include "OnOffButtonLyra.h"
#include "VoltageValueEditLyra.h"
#include "WrapperComponentLyraRM.h"

namespace rollmode::controls {

class TTriggerControlsLyraRM : public QObject, public core::TWrapperComponentLyraRM {
    Q_OBJECT

public:
    explicit TTriggerControlsLyraRM(QObject* parent = nullptr);

    // Widgets of the main window. A button gets the group as its click handler, a
    // level edit as its key-release handler.
    TOnOffButtonLyra* TriggerSourceA() const { return triggerSourceA_.get(); }
    void SetTriggerSourceA(TOnOffButtonLyra* button);
    TOnOffButtonLyra* TriggerSourceB() const { return triggerSourceB_.get(); }
    void SetTriggerSourceB(TOnOffButtonLyra* button);
    QAbstractButton* TrigUnderOverA() const { return trigUnderOverA_.get(); }
    void SetTrigUnderOverA(QAbstractButton* button);
    QAbstractButton* TrigUnderOverB() const { return trigUnderOverB_.get(); }
    void SetTrigUnderOverB(QAbstractButton* button);
    TVoltageValueEditLyra* TriggerLevelEditA() const { return triggerLevelEditA_.get(); }
    void SetTriggerLevelEditA(TVoltageValueEditLyra* edit);
    TVoltageValueEditLyra* TriggerLevelEditB() const { return triggerLevelEditB_.get(); }
    void SetTriggerLevelEditB(TVoltageValueEditLyra* edit);
    QAbstractButton* TrigRelation() const { return trigRelation_.get(); }
    void SetTrigRelation(QAbstractButton* button);

    // Code 3 leaves the model; codes 1 and 2 refresh.
    void HandleNotification(int32_t code, int32_t& group) override;
    void RefreshControls() override;

private:
    enum class Control { SourceA, SourceB, UnderOverA, UnderOverB, Relation };
    void Clicked(Control control);
    void LevelKeyReleased(bool channelA, int key);
    template <typename W>
    void LinkButton(ControlGroupLink<W>& link, W* button, Control control);

    ControlGroupLink<TOnOffButtonLyra> triggerSourceA_;
    ControlGroupLink<TOnOffButtonLyra> triggerSourceB_;
    ControlGroupLink<QAbstractButton> trigUnderOverA_;
    ControlGroupLink<QAbstractButton> trigUnderOverB_;
    ControlGroupLink<TVoltageValueEditLyra> triggerLevelEditA_;
    ControlGroupLink<TVoltageValueEditLyra> triggerLevelEditB_;
    ControlGroupLink<QAbstractButton> trigRelation_;
};

}  // namespace rollmode::controls
