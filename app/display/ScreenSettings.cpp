#include "ScreenSettings.h"

#include "VirtualScopeLyraRM.h"

namespace rollmode::display {

TScreenSettings ReadScreenSettings(const core::TVirtualScopeLyraRM& scope) {
    TScreenSettings s;
    s.DisplayActive = scope.DisplayActive();
    s.ModeLine = scope.ModeLine();
    s.SingleMode = scope.SingleMode();
    s.MakeMaximum = scope.MakeMaximum();
    s.MakeMinimum = scope.MakeMinimum();
    s.MakeAvg = scope.MakeAvg();
    s.StatusChannelA = scope.StatusChannelA();
    s.StatusChannelB = scope.StatusChannelB();
    s.ColorChannelA = scope.ColorChannelA();
    s.ColorChannelB = scope.ColorChannelB();
    s.BackgroundColor = scope.BackgroundColor();
    s.RealGridColor = scope.RealGridColor();
    s.Grid = scope.Grid();
    s.GroundA = scope.GroundA();
    s.GroundB = scope.GroundB();
    s.MeasurementStarted = scope.MeasurementStarted();
    s.SMPSetting = scope.SMPSetting();
    s.DSPSetting = scope.DSPSetting();
    s.ZeroChannelA = scope.ZeroChannelA();
    s.ZeroChannelB = scope.ZeroChannelB();
    return s;
}

}  // namespace rollmode::display
