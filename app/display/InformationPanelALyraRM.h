#pragma once
// Keeps channel A's information strip in step with the model (group 1 on the main
// window). Assign the controls, then ControlGroup, then VirtualScope.
#include "InformationPanelLyraRM.h"

namespace rollmode::display {

class TInformationPanelALyraRM : public TInformationPanelLyraRM {
public:
    TInformationPanelALyraRM() : TInformationPanelLyraRM(core::TVirtualScopeLyraRM::kChannelA) {}

    QLabel* ChannelA() const { return channelLabel_; }
    void SetChannelA(QLabel* v) { channelLabel_ = v; }
    QLabel* IconA() const { return icon_; }
    void SetIconA(QLabel* v) { icon_ = v; }
    QLabel* AcdcA() const { return acdc_; }
    void SetAcdcA(QLabel* v) { acdc_ = v; }
    TUnitValueLabel* DensityA() const { return density_; }
    void SetDensityA(TUnitValueLabel* v) { density_ = v; }
    QLabel* ProbeA() const { return probe_; }
    void SetProbeA(QLabel* v) { probe_ = v; }
    QLabel* ArrowsA() const { return arrows_; }
    void SetArrowsA(QLabel* v) { arrows_ = v; }
    QLabel* CursorAbsoluteA() const { return cursorAbsolute_; }
    void SetCursorAbsoluteA(QLabel* v) { cursorAbsolute_ = v; }
    QLabel* CursorRelativeA() const { return cursorRelative_; }
    void SetCursorRelativeA(QLabel* v) { cursorRelative_ = v; }
    QGroupBox* FrameCanvasA() const { return frameCanvas_; }
    void SetFrameCanvasA(QGroupBox* v) { frameCanvas_ = v; }
    QWidget* ChannelColorA() const { return channelColor_; }
    void SetChannelColorA(QWidget* v) { channelColor_ = v; }
    TUnitValueLabel* TriggerLevelVoltageA() const { return triggerLevelVoltage_; }
    void SetTriggerLevelVoltageA(TUnitValueLabel* v) { triggerLevelVoltage_ = v; }
};

}  // namespace rollmode::display
