#include <gtest/gtest.h>

#include <memory>

#include <QApplication>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QWheelEvent>
#include <QWidget>

#include "GroupTestSupport.h"
#include "NotificationCodes.h"
#include "TimeBaseControlsLyraRM.h"
#include "UnitValueFormat.h"

using namespace rollmode;
using display::TUnitValueLabel;
using grouptest::NotificationRecorder;

namespace {

// Where a part of the bar (thumb, page areas) is drawn now.
QRect PartOf(QScrollBar* bar, QStyle::SubControl part) {
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.subControls = QStyle::SC_All;
    option.orientation = bar->orientation();
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    if (bar->orientation() == Qt::Horizontal) option.state |= QStyle::State_Horizontal;
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, part, bar);
}

class TimeBaseGroup : public ::testing::Test {
protected:
    void SetUp() override {
        host = std::make_unique<QWidget>();
        host->resize(420, 120);
        smpBar = new QScrollBar(Qt::Horizontal, host.get());
        smpBar->setRange(0, 15);
        smpBar->setPageStep(1);
        smpBar->setGeometry(0, 0, 200, 16);
        dspBar = new QScrollBar(Qt::Horizontal, host.get());
        dspBar->setRange(0, 16);
        dspBar->setPageStep(5);
        dspBar->setGeometry(210, 0, 200, 16);
        // As on the main window: the right arrow and the wheel turned up go faster.
        smpBar->setInvertedControls(false);
        dspBar->setInvertedControls(false);
        sps = MakeLabel(display::kUnitSamplesPerSecond, 0, 20);
        spd = MakeLabel(display::kUnitSecondsPerDivision, 210, 20);
        perColumn = MakeLabel(display::kUnitSampleCount, 0, 40);
        hz = MakeLabel(display::kUnitHertzPerDivision, 210, 40);

        group.SetSMPScrollBar(smpBar);
        group.SetDSPScrollBar(dspBar);
        group.SetSMPRatio(sps);
        group.SetDSPRatio(spd);
        group.SetDSP_SMPRatio(perColumn);
        group.SetDSPRatioHz(hz);
        group.SetVirtualScope(&scope);
        host->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(host.get()));
    }

    TUnitValueLabel* MakeLabel(int type, int left, int top) {
        auto* label = new TUnitValueLabel(host.get());
        label->SetControlType(type);
        label->setGeometry(left, top, 120, 16);
        return label;
    }

    // The settings file's steps, then start-up.
    void Start(int smp, int dsp) {
        scope.SetDSPSetting(dsp);
        scope.SetSMPSetting(smp);
        grouptest::StartModel(scope, recorder);
    }

    void ExpectReadOuts(const char* samples, const char* division, const char* column, const char* hertz) {
        EXPECT_EQ(sps->MyString(), samples);
        EXPECT_EQ(spd->MyString(), division);
        EXPECT_EQ(perColumn->MyString(), column);
        EXPECT_EQ(hz->MyString(), hertz);
    }

    core::TVirtualScopeLyraRM scope;
    std::unique_ptr<QWidget> host;
    controls::TTimeBaseControlsLyraRM group;
    NotificationRecorder recorder;
    QScrollBar* smpBar;
    QScrollBar* dspBar;
    TUnitValueLabel* sps;
    TUnitValueLabel* spd;
    TUnitValueLabel* perColumn;
    TUnitValueLabel* hz;
};

}  // namespace

TEST_F(TimeBaseGroup, StartUpLimitsTheSamplingBarAndInvertsTheDisplayBar) {
    Start(10, 3);
    EXPECT_EQ(group.ControlGroup(), 14);
    EXPECT_EQ(smpBar->maximum(), 14);
    EXPECT_EQ(smpBar->value(), 10);
    EXPECT_EQ(dspBar->value(), 13);
    ExpectReadOuts("100kS/s", "1s/d", "2kS", "1Hz/d");
    EXPECT_TRUE(recorder.seen.empty());
}

TEST_F(TimeBaseGroup, SlowestRatesReadOut) {
    Start(14, 16);
    EXPECT_EQ(dspBar->value(), 0);
    // 20000 s per division, a thousand million samples per column.
    ExpectReadOuts("2.5MS/s", "5h 33min 20s/d", "1GS", "50uHz/d");
}

TEST_F(TimeBaseGroup, SamplingBarToZeroRaisesTheDisplayStep) {
    Start(3, 0);
    ASSERT_EQ(dspBar->value(), 16);
    QTest::keyClick(smpBar, Qt::Key_Home);
    EXPECT_EQ(scope.SMPSetting(), 0);
    EXPECT_EQ(scope.DSPSetting(), 3);
    EXPECT_EQ(dspBar->value(), 13);  // the other bar jumps
    ExpectReadOuts("50S/s", "1s/d", "1S", "1Hz/d");
    ASSERT_EQ(recorder.seen.size(), 1u);
    EXPECT_EQ(recorder.seen[0], std::make_pair(core::kNotifySettingsChanged, 14));
}

TEST_F(TimeBaseGroup, DisplayBarToItsEndRaisesTheSamplingStep) {
    Start(1, 2);
    QTest::keyClick(dspBar, Qt::Key_End);
    EXPECT_EQ(scope.DSPSetting(), 0);
    EXPECT_EQ(scope.SMPSetting(), 3);
    EXPECT_EQ(smpBar->value(), 3);
    EXPECT_EQ(sps->MyString(), "500S/s");
    EXPECT_EQ(spd->MyString(), "0.1s/d");
}

TEST_F(TimeBaseGroup, ThumbTrackingChangesNothingUntilReleased) {
    Start(5, 3);
    const QRect thumb = PartOf(smpBar, QStyle::SC_ScrollBarSlider);
    ASSERT_TRUE(thumb.isValid());
    QTest::mousePress(smpBar, Qt::LeftButton, Qt::NoModifier, thumb.center());
    QTest::mouseMove(smpBar, thumb.center() + QPoint(60, 0));
    const int dragged = smpBar->sliderPosition();
    ASSERT_GT(dragged, 5);
    EXPECT_EQ(scope.SMPSetting(), 5);
    EXPECT_TRUE(recorder.seen.empty());

    QTest::mouseRelease(smpBar, Qt::LeftButton, Qt::NoModifier, thumb.center() + QPoint(60, 0));
    EXPECT_EQ(scope.SMPSetting(), dragged);
    EXPECT_EQ(smpBar->value(), dragged);
    ASSERT_EQ(recorder.seen.size(), 1u);
}

TEST_F(TimeBaseGroup, HeldPageClickAppliesOnRelease) {
    Start(10, 3);  // display bar at 13
    const QRect page = PartOf(dspBar, QStyle::SC_ScrollBarSubPage);
    ASSERT_TRUE(page.isValid());
    QTest::mousePress(dspBar, Qt::LeftButton, Qt::NoModifier, page.center());
    EXPECT_EQ(dspBar->value(), 8);  // one page of 5 towards slower rates
    EXPECT_EQ(scope.DSPSetting(), 3);
    QTest::mouseRelease(dspBar, Qt::LeftButton, Qt::NoModifier, page.center());
    EXPECT_EQ(scope.DSPSetting(), 8);
    EXPECT_EQ(spd->MyString(), "50s/d");
    EXPECT_EQ(recorder.seen.size(), 1u);
}

TEST_F(TimeBaseGroup, KeyMoveAppliesWhenTheKeyIsReleased) {
    Start(10, 3);
    QTest::keyPress(smpBar, Qt::Key_Right);
    EXPECT_EQ(smpBar->value(), 11);
    EXPECT_EQ(scope.SMPSetting(), 10);
    QTest::keyRelease(smpBar, Qt::Key_Right);
    EXPECT_EQ(scope.SMPSetting(), 11);
    EXPECT_EQ(sps->MyString(), "250kS/s");
    // Never beyond the bar's 14 steps.
    QTest::keyClick(smpBar, Qt::Key_End);
    EXPECT_EQ(scope.SMPSetting(), 14);
}

TEST_F(TimeBaseGroup, WheelTurnIsAFinishedStep) {
    Start(10, 3);
    const QPoint at = smpBar->rect().center();
    QWheelEvent wheel(at, smpBar->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(smpBar, &wheel);
    ASSERT_GT(smpBar->value(), 10);
    EXPECT_EQ(scope.SMPSetting(), smpBar->value());
}

TEST_F(TimeBaseGroup, StepsBeyondTheTablesReadAsTheNearestEnd) {
    // A damaged settings file: the model does not catch these.
    Start(22, -4);
    EXPECT_EQ(smpBar->value(), 14);
    EXPECT_EQ(dspBar->value(), 16);
    ExpectReadOuts("5MS/s", "0.1s/d", "10kS", "10Hz/d");
}

TEST_F(TimeBaseGroup, SettingsChangesFromElsewhereMoveTheBars) {
    Start(10, 3);
    scope.SetSMPSetting(7);
    scope.SetDSPSetting(10);
    scope.NotifyListeners(core::kNotifySettingsChanged, core::kGroupSettings);
    EXPECT_EQ(smpBar->value(), 7);
    EXPECT_EQ(dspBar->value(), 6);
    EXPECT_EQ(spd->MyString(), "3min 20s/d");
    // Moving a bar from code is not a scroll of the user's.
    ASSERT_EQ(recorder.seen.size(), 1u);
    EXPECT_EQ(recorder.seen[0].second, core::kGroupSettings);
}
