#pragma once
// Panel geometry of the main window and the resize rules that place the panels.
// Plain values, so the rules can be checked without a display.

namespace rollmode::shell {

struct PanelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    int Right() const { return left + width; }
    int Bottom() const { return top + height; }
    bool operator==(const PanelRect&) const = default;
};

// Every placed control, at its design size. The resize rules change positions and
// the sizes they name; everything else keeps its size.
struct MainFormLayout {
    PanelRect channels{0, 0, 86, 57};
    PanelRect mode{0, 57, 86, 90};
    PanelRect gridButton{0, 149, 81, 22};
    PanelRect brightnessBar{0, 173, 84, 14};
    PanelRect sweepPanel{0, 187, 86, 103};
    PanelRect savePanel{0, 0, 121, 96};
    PanelRect timeBasePanel{0, 0, 193, 96};
    PanelRect recordPanel{0, 0, 186, 96};
    PanelRect triggerPanel{0, 0, 145, 96};
    PanelRect armPanel{0, 0, 145, 96};
    PanelRect infoPanelA{86, 0, 386, 57};
    PanelRect infoPanelB{0, 0, 296, 57};
    PanelRect source{0, 0, 86, 93};
    PanelRect verticalShifts{0, 93, 86, 280};
    PanelRect density{0, 0, 86, 71};
    // Inside `verticalShifts`, relative to it.
    PanelRect upButtonA{6, 10, 36, 22};
    PanelRect upButtonB{44, 10, 36, 22};
    PanelRect slideA{11, 35, 25, 200};
    PanelRect slideB{49, 35, 25, 200};
    PanelRect downButtonA{6, 232, 36, 22};
    PanelRect downButtonB{44, 232, 36, 22};
    int slideBarHeightA = 185;
    int slideBarHeightB = 185;
    // Both screens share one place.
    PanelRect screens{87, 57, 618, 290};
    PanelRect inactiveDispLabel{0, 0, 84, 24};
    // How far the last resize moved the children of `infoPanelA` to the right.
    int infoPanelAChildShift = 0;
};

// Places the panels for a client area of the given size.
void ApplyFormResize(MainFormLayout& layout, int clientWidth, int clientHeight);

}  // namespace rollmode::shell
