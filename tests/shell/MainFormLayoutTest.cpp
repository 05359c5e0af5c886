#include "MainFormLayout.h"

#include <gtest/gtest.h>

using rollmode::shell::ApplyFormResize;
using rollmode::shell::MainFormLayout;
using rollmode::shell::PanelRect;

// Expected values worked out by hand from the rules: bottom row widths add up to
// 121 + 193 + 186 + 145 + 145 = 790; the information panels share the client width
// less 86 + 86 + 4; the left column ends at 57 + 90 + 2 + 22 + 2 + 14 = 187.

TEST(FormResize, MinimumWindowCentresTheBottomRow) {
    MainFormLayout l;
    ApplyFormResize(l, 792, 600);

    EXPECT_EQ(l.channels, (PanelRect{0, 0, 86, 57}));
    EXPECT_EQ(l.mode, (PanelRect{0, 57, 86, 90}));
    EXPECT_EQ(l.gridButton, (PanelRect{0, 149, 86, 22}));
    EXPECT_EQ(l.brightnessBar, (PanelRect{0, 173, 86, 14}));
    EXPECT_EQ(l.sweepPanel, (PanelRect{0, 187, 86, 317}));

    EXPECT_EQ(l.savePanel, (PanelRect{1, 504, 121, 96}));
    EXPECT_EQ(l.timeBasePanel, (PanelRect{122, 504, 193, 96}));
    EXPECT_EQ(l.recordPanel, (PanelRect{315, 504, 186, 96}));
    EXPECT_EQ(l.triggerPanel, (PanelRect{501, 504, 145, 96}));
    EXPECT_EQ(l.armPanel, (PanelRect{646, 504, 145, 96}));

    EXPECT_EQ(l.infoPanelA, (PanelRect{86, 0, 308, 57}));
    EXPECT_EQ(l.infoPanelB, (PanelRect{398, 0, 308, 57}));
    EXPECT_EQ(l.infoPanelAChildShift, 308 - 386);

    EXPECT_EQ(l.source, (PanelRect{706, 0, 86, 93}));
    EXPECT_EQ(l.verticalShifts, (PanelRect{706, 93, 86, 340}));
    EXPECT_EQ(l.density, (PanelRect{706, 433, 86, 71}));

    EXPECT_EQ(l.screens, (PanelRect{87, 57, 618, 447}));
    EXPECT_EQ(l.inactiveDispLabel, (PanelRect{354, 268, 84, 24}));
}

TEST(FormResize, VerticalShiftsFillTheRightColumn) {
    MainFormLayout l;
    ApplyFormResize(l, 792, 600);
    // Slides run from below the up buttons to just above the down buttons.
    EXPECT_EQ(l.upButtonA.top, 10);
    EXPECT_EQ(l.upButtonB.top, 10);
    EXPECT_EQ(l.slideA.top, 35);
    EXPECT_EQ(l.slideA.height, 340 - 22 - 22 - 10);
    EXPECT_EQ(l.slideB.height, l.slideA.height);
    EXPECT_EQ(l.slideBarHeightA, 271);
    EXPECT_EQ(l.slideBarHeightB, 271);
    EXPECT_EQ(l.downButtonA.top, 35 + 286 - 3);
    EXPECT_EQ(l.downButtonB.top, l.downButtonA.top);
    // The range panel closes the column exactly where the bottom row starts.
    EXPECT_EQ(l.density.Bottom(), l.timeBasePanel.top);
}

TEST(FormResize, InitialWindowAndOddWidths) {
    MainFormLayout l;
    ApplyFormResize(l, 824, 600);
    EXPECT_EQ(l.savePanel.left, 17);
    EXPECT_EQ(l.armPanel.Right(), 824 - 17);
    EXPECT_EQ(l.infoPanelA.width, 324);
    EXPECT_EQ(l.infoPanelB.left, 414);
    EXPECT_EQ(l.infoPanelB.Right(), 738);
    EXPECT_EQ(l.screens, (PanelRect{87, 57, 650, 447}));
    EXPECT_EQ(l.inactiveDispLabel.left, 87 + 283);

    // Halves are truncated: one spare pixel stays on the right.
    ApplyFormResize(l, 793, 600);
    EXPECT_EQ(l.savePanel.left, 1);
    EXPECT_EQ(l.infoPanelA.width, 308);
    EXPECT_EQ(l.infoPanelB.Right() + 1, l.source.left);

    ApplyFormResize(l, 800, 600);
    EXPECT_EQ(l.savePanel.left, 5);
    EXPECT_EQ(l.infoPanelA.width, 312);
}

TEST(FormResize, ChildShiftIsRelativeToThePreviousWidth) {
    MainFormLayout l;
    ApplyFormResize(l, 824, 600);
    EXPECT_EQ(l.infoPanelAChildShift, 324 - 386);
    ApplyFormResize(l, 792, 600);
    EXPECT_EQ(l.infoPanelAChildShift, 308 - 324);
    ApplyFormResize(l, 792, 600);
    EXPECT_EQ(l.infoPanelAChildShift, 0);
}

TEST(FormResize, TallerWindowGrowsOnlyTheStretchingPanels) {
    MainFormLayout l;
    ApplyFormResize(l, 792, 700);
    EXPECT_EQ(l.sweepPanel.height, 417);
    EXPECT_EQ(l.savePanel.top, 604);
    EXPECT_EQ(l.verticalShifts.height, 440);
    EXPECT_EQ(l.screens.height, 547);
    EXPECT_EQ(l.source.height, 93);
    EXPECT_EQ(l.density.height, 71);
}
