#include "MainFormLayout.h"

namespace rollmode::shell {

void ApplyFormResize(MainFormLayout& l, int clientWidth, int clientHeight) {
    // Left column: channels, mode, grid button, brightness bar, sweep panel.
    l.channels.left = 0;
    l.channels.top = 0;
    l.mode.left = 0;
    l.mode.top = l.channels.Bottom();

    l.gridButton.left = 0;
    l.gridButton.top = l.mode.Bottom() + 2;
    l.brightnessBar.left = 0;
    l.brightnessBar.top = l.gridButton.Bottom() + 2;
    l.gridButton.width = l.mode.width;
    l.brightnessBar.width = l.mode.width;

    l.sweepPanel.left = 0;
    l.sweepPanel.top = l.brightnessBar.Bottom();
    l.sweepPanel.height = clientHeight - l.sweepPanel.top - l.savePanel.height;

    // Bottom row, centred: save, time base, record, trigger, ARM.
    const int free = clientWidth - (l.savePanel.width + l.timeBasePanel.width + l.recordPanel.width +
                                     l.triggerPanel.width + l.armPanel.width);
    l.savePanel.left = free / 2;
    l.savePanel.top = l.sweepPanel.Bottom();
    PanelRect* row[] = {&l.timeBasePanel, &l.recordPanel, &l.triggerPanel, &l.armPanel};
    const PanelRect* previous = &l.savePanel;
    for (PanelRect* panel : row) {
        panel->left = previous->Right();
        panel->top = l.savePanel.top;
        previous = panel;
    }

    // Information panels share the top row between the left and right columns.
    l.infoPanelA.top = 0;
    l.infoPanelA.left = l.channels.width;
    const int newWidth = (clientWidth - (l.channels.width + l.source.width + 4)) / 2;
    l.infoPanelAChildShift = newWidth - l.infoPanelA.width;
    l.infoPanelA.width = newWidth;
    l.infoPanelB.top = 0;
    l.infoPanelB.width = l.infoPanelA.width;
    l.infoPanelB.left = l.infoPanelA.Right() + 4;

    // Right column: source, vertical shifts, range.
    l.source.top = 0;
    l.source.left = clientWidth - l.source.width;
    l.verticalShifts.left = l.source.left;
    l.density.left = l.source.left;
    l.verticalShifts.top = l.source.Bottom();
    l.verticalShifts.height = clientHeight - l.density.height - l.source.height - l.timeBasePanel.height;

    l.upButtonA.top = 10;
    l.upButtonB.top = 10;
    l.slideA.top = l.upButtonA.Bottom() + 3;
    l.slideB.top = l.upButtonB.Bottom() + 3;
    l.slideA.height = l.verticalShifts.height - l.downButtonA.height - l.upButtonA.height - 10;
    l.slideB.height = l.slideA.height;
    l.slideBarHeightA = l.slideA.height - 15;
    l.slideBarHeightB = l.slideB.height - 15;
    l.downButtonA.top = l.slideA.Bottom() - 3;
    l.downButtonB.top = l.downButtonA.top;

    l.density.top = l.verticalShifts.Bottom();

    // The screens fill what is left in the middle.
    l.screens.top = l.infoPanelA.height;
    l.screens.left = l.mode.width + 1;
    l.screens.width = l.source.left - l.screens.left - 1;
    l.screens.height = l.timeBasePanel.top - l.screens.top;

    l.inactiveDispLabel.left = l.screens.left + (l.screens.width - l.inactiveDispLabel.width) / 2;
    l.inactiveDispLabel.top = l.screens.top + (l.screens.height - l.inactiveDispLabel.height) / 2;
}

}  // namespace rollmode::shell
