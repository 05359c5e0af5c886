#pragma once
// What the two information panels share: keeping one channel's strip at the top of
// the main window (probe ratio, coupling, deflection, trigger level, colour) in step
// with the model. The controls belong to the main window; the panel only holds
// guarded references to them.
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <cstdint>

#include "UnitValueLabel.h"
#include "WrapperComponentLyraRM.h"

namespace rollmode::display {

class TInformationPanelLyraRM : public core::TWrapperComponentLyraRM {
public:
    // `channel` is the model's selector: 100 for A, 200 for B.
    explicit TInformationPanelLyraRM(int32_t channel) : channel_(channel) {}

    void HandleNotification(int32_t code, int32_t& group) override;
    void RefreshControls() override;

protected:
    int32_t channel_;
    QPointer<QLabel> channelLabel_;   // held only
    QPointer<QLabel> icon_;           // shows the channel icon
    QPointer<QLabel> acdc_;
    QPointer<TUnitValueLabel> density_;
    QPointer<QLabel> probe_;
    QPointer<QLabel> arrows_;         // held only
    QPointer<QLabel> cursorAbsolute_; // held only
    QPointer<QLabel> cursorRelative_; // held only
    QPointer<QGroupBox> frameCanvas_; // held only
    QPointer<QWidget> channelColor_;  // filled with the channel colour
    QPointer<TUnitValueLabel> triggerLevelVoltage_;
};

}  // namespace rollmode::display
