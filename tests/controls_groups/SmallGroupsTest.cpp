// The channel, source, range and display-mode groups driven through their widgets.
#include <gtest/gtest.h>

#include <cstdlib>

#include <QScrollBar>
#include <QTest>

#include "ChannelControlsLyraRM.h"
#include "DensityControlsLyraRM.h"
#include "GroupTestSupport.h"
#include "ModeDisplayLyraRM.h"
#include "NotificationCodes.h"
#include "SourceControlsLyraRM.h"

using namespace rollmode;
using controls::TOnOffButtonLyra;
using display::TChannelIndicationButtonLyra;
using grouptest::Recorder;

namespace {

void Click(QAbstractButton& b) { QTest::mouseClick(&b, Qt::LeftButton); }

// A model with a recorder listening after the group under test.
class GroupFixture : public ::testing::Test {
protected:
    void Listen() {
        scope.RegisterListener(99, &recorder, &recorder);
        host.show();
        Refresh();
        recorder.seen.clear();
    }
    void TearDown() override { scope.UnregisterListener(&recorder, &recorder); }
    void Refresh() { scope.NotifyListeners(core::kNotifySettingsChanged, core::kGroupScope); }

    GroupFixture() { grouptest::PassFirstNotification(scope); }
    core::TVirtualScopeLyraRM scope;
    QWidget host;
    Recorder recorder;
};

class ChannelAndSourceTest : public GroupFixture {
protected:
    void SetUp() override {
        for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{&chA, &chB, &probeA, &probeB, &acdcA,
                                                                          &acdcB, &gndA, &gndB}) {
            b->setParent(&host);
        }
        for (TChannelIndicationButtonLyra* b : {&acdcA, &acdcB, &gndA, &gndB}) b->setCheckable(true);
        channels.SetChannelButtonA(&chA);
        channels.SetChannelButtonB(&chB);
        channels.SetVirtualScope(&scope);
        source.SetProbeButtonA(&probeA);
        source.SetProbeButtonB(&probeB);
        source.SetACDCButtonA(&acdcA);
        source.SetACDCButtonB(&acdcB);
        source.SetGroundA(&gndA);
        source.SetGroundB(&gndB);
        source.SetVirtualScope(&scope);
        scope.SetSourceProbeA(1);
        scope.SetSourceProbeB(1);
        Listen();
    }
    TOnOffButtonLyra chA, chB;
    TChannelIndicationButtonLyra probeA, probeB, acdcA, acdcB, gndA, gndB;
    controls::TChannelControlsLyraRM channels;
    controls::TSourceControlsLyraRM source;
};

TEST_F(ChannelAndSourceTest, ChannelButtonsToggleTheChannels) {
    const bool a = scope.StatusChannelA();
    Click(chA);
    EXPECT_EQ(scope.StatusChannelA(), !a);
    EXPECT_EQ(chA.Down(), !a);
    Click(chB);
    Click(chB);
    EXPECT_EQ(chB.Down(), scope.StatusChannelB());
    ASSERT_EQ(recorder.seen.size(), 3u);
    EXPECT_EQ(recorder.seen[0], std::make_pair(core::kNotifySettingsChanged, core::kGroupChannelControls));
}

TEST_F(ChannelAndSourceTest, FourProbeClicksComeBackToOneToOne) {
    EXPECT_EQ(probeA.text(), "    1:1");
    const char* expected[] = {"  1:10", "1:100", "1:1000", "    1:1"};
    for (const char* caption : expected) {
        Click(probeA);
        EXPECT_EQ(probeA.text(), caption);
    }
    EXPECT_EQ(scope.SourceProbeA(), 1);
    EXPECT_EQ(scope.SourceProbeB(), 1);
    ASSERT_EQ(recorder.seen.size(), 4u);
    EXPECT_EQ(recorder.seen[3], std::make_pair(core::kNotifySettingsChanged, core::kGroupSourceControls));
}

TEST_F(ChannelAndSourceTest, GroundButtonsAreTheTruthAndCouplingFollowsTheModel) {
    Click(gndB);
    EXPECT_TRUE(gndB.isChecked());
    EXPECT_TRUE(scope.GroundB());
    // The refresh leaves the ground buttons alone, even when the model disagrees.
    scope.SetGroundB(false);
    scope.SetGroundA(true);
    Refresh();
    EXPECT_TRUE(gndB.isChecked());
    EXPECT_FALSE(gndA.isChecked());

    const bool dc = scope.SourceACDC_A();
    Click(acdcA);
    EXPECT_EQ(scope.SourceACDC_A(), !dc);
    EXPECT_EQ(acdcA.isChecked(), !dc);
    scope.SetSourceACDC_A(dc);
    Refresh();
    EXPECT_EQ(acdcA.isChecked(), dc);
}

TEST_F(ChannelAndSourceTest, ChannelColoursReachTheButtonsAtTheNextRefresh) {
    scope.SetColorChannelA(0x00123456);
    scope.SetColorChannelB(0x00654321);
    EXPECT_NE(probeA.ChannelColor(), 0x00123456u);
    Refresh();
    for (TChannelIndicationButtonLyra* b : {&probeA, &acdcA, &gndA}) EXPECT_EQ(b->ChannelColor(), 0x00123456u);
    for (TChannelIndicationButtonLyra* b : {&probeB, &acdcB, &gndB}) EXPECT_EQ(b->ChannelColor(), 0x00654321u);
}

class DensityTest : public GroupFixture {
protected:
    void SetUp() override {
        for (TChannelIndicationButtonLyra* b : {&upA, &upB, &downA, &downB}) b->setParent(&host);
        density.SetDensityUpButtonA(&upA);
        density.SetDensityUpButtonB(&upB);
        density.SetDensityDownButtonA(&downA);
        density.SetDensityDownButtonB(&downB);
        density.SetVirtualScope(&scope);
        Listen();
    }
    TChannelIndicationButtonLyra upA, upB, downA, downB;
    controls::TDensityControlsLyraRM density;
};

TEST_F(DensityTest, StepsStopAtTheEndsButStillRefresh) {
    scope.SetDensityChannelA(1);
    scope.SetDensityChannelB(9);
    Click(downA);
    EXPECT_EQ(scope.DensityChannelA(), 1);
    Click(upB);
    EXPECT_EQ(scope.DensityChannelB(), 9);
    ASSERT_EQ(recorder.seen.size(), 2u);
    EXPECT_EQ(recorder.seen[1], std::make_pair(core::kNotifySettingsChanged, core::kGroupDensityControls));

    Click(upA);
    Click(upA);
    EXPECT_EQ(scope.DensityChannelA(), 3);
    Click(downB);
    EXPECT_EQ(scope.DensityChannelB(), 8);

    scope.SetColorChannelB(0x000000FF);
    Refresh();
    EXPECT_EQ(upB.ChannelColor(), 0x000000FFu);
    EXPECT_EQ(downB.ChannelColor(), 0x000000FFu);
}

class ModeDisplayTest : public GroupFixture {
protected:
    void SetUp() override {
        for (TOnOffButtonLyra* b : {&bf, &line, &rew, &roll, &display, &grid}) b->setParent(&host);
        bar.setParent(&host);
        bar.setRange(25, 100);
        bar.setPageStep(5);
        mode.SetBeamFinder(&bf);
        mode.SetLineModeDisplay(&line);
        mode.SetEKGModeDisplay(&rew);
        mode.SetRollModeDisplay(&roll);
        mode.SetDisplayButton(&display);
        mode.SetGridButton(&grid);
        mode.SetGridScroll(&bar);
        mode.SetVirtualScope(&scope);
        Listen();
    }
    TOnOffButtonLyra bf, line, rew, roll, display, grid;
    QScrollBar bar{Qt::Horizontal};
    controls::TModeDisplayLyraRM mode;
};

TEST_F(ModeDisplayTest, RewAndRollSendTheirOwnCodesEveryTime) {
    scope.SetModeEKG(true);
    Refresh();
    recorder.seen.clear();
    Click(rew);  // already the cardiogram: sent again
    Click(roll);
    Click(roll);
    EXPECT_FALSE(scope.ModeEKG());
    EXPECT_TRUE(roll.Down());
    EXPECT_FALSE(rew.Down());
    Click(rew);
    EXPECT_TRUE(rew.Down());
    EXPECT_FALSE(roll.Down());
    const std::vector<std::pair<int32_t, int32_t>> expected = {
        {core::kNotifyCardiogramDisplay, core::kGroupModeDisplayControls},
        {core::kNotifyRollDisplay, core::kGroupModeDisplayControls},
        {core::kNotifyRollDisplay, core::kGroupModeDisplayControls},
        {core::kNotifyCardiogramDisplay, core::kGroupModeDisplayControls}};
    EXPECT_EQ(recorder.seen, expected);
}

TEST_F(ModeDisplayTest, TogglesSendTheRefreshAndDisplayOffClearsTheScreen) {
    const bool bfBefore = scope.ModeBF(), lineBefore = scope.ModeLine(), gridBefore = scope.Grid();
    Click(bf);
    Click(line);
    Click(grid);
    EXPECT_EQ(scope.ModeBF(), !bfBefore);
    EXPECT_EQ(scope.ModeLine(), !lineBefore);
    EXPECT_EQ(scope.Grid(), !gridBefore);
    EXPECT_EQ(grid.Down(), scope.Grid());

    scope.SetDisplayActive(true);
    scope.SetClearScreenRequested(false);
    Refresh();
    recorder.seen.clear();
    Click(display);
    EXPECT_FALSE(scope.DisplayActive());
    EXPECT_TRUE(scope.ClearScreenRequested());
    EXPECT_FALSE(display.Down());
    ASSERT_EQ(recorder.seen.size(), 1u);
    EXPECT_EQ(recorder.seen[0], std::make_pair(core::kNotifySettingsChanged, core::kGroupModeDisplayControls));
}

TEST_F(ModeDisplayTest, BrightnessFollowsTheBarAndOnlyUserMovesSendIt) {
    scope.SetGridBrightness(50);
    Refresh();
    EXPECT_EQ(bar.value(), 50);
    EXPECT_TRUE(recorder.seen.size() == 1u && recorder.seen[0].first == core::kNotifySettingsChanged);
    recorder.seen.clear();

    bar.triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(scope.GridBrightness(), 55);
    QTest::keyClick(&bar, Qt::Key_Right);  // one step, either way round
    EXPECT_EQ(scope.GridBrightness(), bar.value());
    EXPECT_EQ(std::abs(scope.GridBrightness() - 55), 1);
    const std::vector<std::pair<int32_t, int32_t>> expected = {
        {core::kNotifyGridBrightness, core::kGroupModeDisplayControls},
        {core::kNotifyGridBrightness, core::kGroupModeDisplayControls}};
    EXPECT_EQ(recorder.seen, expected);
}

TEST_F(ModeDisplayTest, DuringAMeasurementOnlyTheBrightnessBarIsLocked) {
    scope.SetMeasurementStarted(true);
    Refresh();
    EXPECT_FALSE(bar.isEnabled());
    const bool gridBefore = scope.Grid();
    Click(grid);
    Click(roll);
    Click(display);
    EXPECT_EQ(scope.Grid(), !gridBefore);
    EXPECT_FALSE(scope.ModeEKG());
    scope.SetMeasurementStarted(false);
    Refresh();
    EXPECT_TRUE(bar.isEnabled());
}

TEST_F(ModeDisplayTest, CardiogramAndRollCodesRefreshTheGroup) {
    scope.SetModeEKG(false);
    scope.NotifyListeners(core::kNotifyRollDisplay, core::kGroupScope);
    EXPECT_TRUE(roll.Down());
    scope.SetModeEKG(true);
    scope.NotifyListeners(core::kNotifyCardiogramDisplay, core::kGroupScope);
    EXPECT_TRUE(rew.Down());
    EXPECT_FALSE(roll.Down());
}

}  // namespace
