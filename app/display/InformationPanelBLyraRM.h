#pragma once
// Keeps channel B's information strip in step with the model (group 1 on the main
// window). Assign the controls, then ControlGroup, then VirtualScope.
#include "InformationPanelLyraRM.h"

namespace rollmode::display {

class TInformationPanelBLyraRM : public TInformationPanelLyraRM {
public:
    TInformationPanelBLyraRM() : TInformationPanelLyraRM(core::TVirtualScopeLyraRM::kChannelB) {}

    QLabel* ChannelB() const { return channelLabel_; }
    void SetChannelB(QLabel* v) { channelLabel_ = v; }
    QLabel* IconB() const { return icon_; }
    void SetIconB(QLabel* v) { icon_ = v; }
    QLabel* AcdcB() const { return acdc_; }
    void SetAcdcB(QLabel* v) { acdc_ = v; }
    TUnitValueLabel* DensityB() const { return density_; }
    void SetDensityB(TUnitValueLabel* v) { density_ = v; }
    QLabel* ProbeB() const { return probe_; }
    void SetProbeB(QLabel* v) { probe_ = v; }
    QLabel* ArrowsB() const { return arrows_; }
    void SetArrowsB(QLabel* v) { arrows_ = v; }
    QLabel* CursorAbsoluteB() const { return cursorAbsolute_; }
    void SetCursorAbsoluteB(QLabel* v) { cursorAbsolute_ = v; }
    QLabel* CursorRelativeB() const { return cursorRelative_; }
    void SetCursorRelativeB(QLabel* v) { cursorRelative_ = v; }
    QGroupBox* FrameCanvasB() const { return frameCanvas_; }
    void SetFrameCanvasB(QGroupBox* v) { frameCanvas_ = v; }
    QWidget* ChannelColorB() const { return channelColor_; }
    void SetChannelColorB(QWidget* v) { channelColor_ = v; }
    TUnitValueLabel* TriggerLevelVoltageB() const { return triggerLevelVoltage_; }
    void SetTriggerLevelVoltageB(TUnitValueLabel* v) { triggerLevelVoltage_ = v; }
};

}  // namespace rollmode::display
