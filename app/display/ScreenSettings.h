#pragma once
// The display settings the roll screens read, as one plain value: tests set it
// directly, the program reads it from the model.
#include <cstdint>

namespace rollmode::core {
class TVirtualScopeLyraRM;
}

namespace rollmode::display {

// Display settings the screens read from the model on every block and repaint.
// Colours are 0x00BBGGRR.
struct TScreenSettings {
    bool DisplayActive = true;
    bool ModeLine = true;
    bool SingleMode = false;
    bool MakeMaximum = true;
    bool MakeMinimum = true;
    bool MakeAvg = false;
    bool StatusChannelA = true;
    bool StatusChannelB = true;
    uint32_t ColorChannelA = 0x0000FFFF;
    uint32_t ColorChannelB = 0x0000FF00;
    uint32_t BackgroundColor = 0x00000000;
    uint32_t RealGridColor = 0x00B8B8B8;
    bool Grid = true;
    bool GroundA = false;
    bool GroundB = false;
    bool MeasurementStarted = false;
    int32_t SMPSetting = 0;
    int32_t DSPSetting = 3;
    int32_t ZeroChannelA = 128;
    int32_t ZeroChannelB = 128;
};

// The screens' settings as the model holds them now (relaxed reads of its values).
TScreenSettings ReadScreenSettings(const core::TVirtualScopeLyraRM& scope);

}  // namespace rollmode::display
