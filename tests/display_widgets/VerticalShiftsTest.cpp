#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <vector>

#include "ChannelIndicationButtonLyra.h"
#include "NotificationCodes.h"
#include "VerticalShiftsLyraRM.h"
#include "VerticalSlideLyra.h"
#include "VirtualScopeLyraRM.h"

namespace rollmode::display {
namespace {

using core::TVirtualScopeLyraRM;

// Records every notification with the SettingsToFile state it found.
class Recorder : public core::TNotificationHandler {
public:
    explicit Recorder(TVirtualScopeLyraRM& scope) : scope_(scope) {}
    void HandleNotification(int32_t code, int32_t& group) override {
        seen.push_back({code, group, scope_.SettingsToFile()});
    }
    struct Seen {
        int32_t code, group;
        bool settingsToFile;
    };
    std::vector<Seen> seen;

private:
    TVirtualScopeLyraRM& scope_;
};

void MoveWithButton(QWidget& w, int y) {
    QMouseEvent event(QEvent::MouseMove, QPointF(12, y), w.mapToGlobal(QPointF(12, y)), Qt::NoButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &event);
}

class VerticalShiftsTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (TVerticalSlideLyra* slide : {&slideA, &slideB}) {
            slide->resize(25, 115);
            slide->SetBarWidth(25);
            slide->SetBarHeight(100);
        }
        for (TChannelIndicationButtonLyra* button : {&upA, &upB, &downA, &downB}) {
            button->resize(36, 22);
            button->SetFlat(true);
        }
        shifts.SetSlideUpButtonA(&upA);
        shifts.SetSlideUpButtonB(&upB);
        shifts.SetSlideDownButtonA(&downA);
        shifts.SetSlideDownButtonB(&downB);
        shifts.SetVerticalSlideA(&slideA);
        shifts.SetVerticalSlideB(&slideB);
        timer.start(1000);
        shifts.SetTimer(&timer);
        shifts.SetControlGroup(core::kGroupVerticalShifts);
        shifts.SetVirtualScope(&scope);
        scope.RegisterListener(99, &recorder, &recorder);

        scope.SetVerticalLevelChannelA(2048);
        scope.SetVerticalLevelChannelB(1474);
        scope.InitializeApplication();
        recorder.seen.clear();
    }
    void TearDown() override { scope.UnregisterListener(&recorder, &recorder); }

    int LevelA() const { return scope.VerticalLevelChannelA(); }
    int LevelB() const { return scope.VerticalLevelChannelB(); }

    TVirtualScopeLyraRM scope;
    Recorder recorder{scope};
    TChannelIndicationButtonLyra upA, upB, downA, downB;
    TVerticalSlideLyra slideA, slideB;
    QTimer timer;
    TVerticalShiftsLyraRM shifts;
};

TEST_F(VerticalShiftsTest, AssigningTheTimerStopsIt) { EXPECT_FALSE(timer.isActive()); }

TEST_F(VerticalShiftsTest, RefreshPlacesKnobsColoursAndHints) {
    EXPECT_EQ(scope.MaxChannelA(), 100);
    EXPECT_EQ(slideA.BarPosition(), 50);  // 2048 * 100 / 4096
    EXPECT_EQ(slideA.toolTip(), "2047");
    EXPECT_EQ(slideB.BarPosition(), 1474 * 100 / 4096);
    EXPECT_EQ(slideA.BarColor(), scope.ColorChannelA());
    EXPECT_EQ(upA.ChannelColor(), scope.ColorChannelA());
    EXPECT_EQ(downB.ChannelColor(), scope.ColorChannelB());

    // A resize changes the slide's travel; code 5 copies it into the model.
    slideA.SetBarHeight(200);
    scope.SetColorChannelB(0x00123456);
    scope.NotifyListeners(core::kNotifyLayoutChanged, core::kGroupMainWindow);
    EXPECT_EQ(scope.MaxChannelA(), 200);
    EXPECT_EQ(slideA.BarPosition(), 100);
    EXPECT_EQ(upB.ChannelColor(), 0x00123456u);
    EXPECT_EQ(slideB.BarColor(), 0x00123456u);

    // The level the acquisition thread set back after a range change moves the knob.
    scope.SetVerticalLevelChannelA(4095 - 1500);
    scope.NotifyListeners(core::kNotifySetBackLevels, core::kGroupAcquisitionThread);
    EXPECT_EQ(slideA.BarPosition(), 2595 * 200 / 4096);
    EXPECT_EQ(slideA.toolTip(), "1500");
}

TEST_F(VerticalShiftsTest, ButtonClickStepsByOneAndLogsOnlyTheFinalLevel) {
    QTest::mouseClick(&upB, Qt::LeftButton);
    EXPECT_EQ(LevelB(), 1473);
    QTest::mouseClick(&downA, Qt::LeftButton);
    EXPECT_EQ(LevelA(), 2049);

    // Press (off), release (on), click (on, the level change) for each button.
    ASSERT_EQ(recorder.seen.size(), 6u);
    const bool expected[] = {false, true, true, false, true, true};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(recorder.seen[i].code, core::kNotifySettingsChanged);
        EXPECT_EQ(recorder.seen[i].group, core::kGroupVerticalShifts);
        EXPECT_EQ(recorder.seen[i].settingsToFile, expected[i]) << i;
    }
    EXPECT_FALSE(timer.isActive());
}

TEST_F(VerticalShiftsTest, HoldingAButtonRepeatsOncePerTick) {
    QTest::mousePress(&upB, Qt::LeftButton);
    EXPECT_TRUE(timer.isActive());
    EXPECT_EQ(LevelB(), 1474);  // the click at the release makes the first step
    EXPECT_FALSE(scope.SettingsToFile());
    shifts.OnTimer();
    shifts.OnTimer();
    QTest::mouseRelease(&upB, Qt::LeftButton);
    EXPECT_EQ(LevelB(), 1471);
    EXPECT_FALSE(timer.isActive());
    EXPECT_TRUE(scope.SettingsToFile());
}

TEST_F(VerticalShiftsTest, TheTimerDrivesTheRepeat) {
    timer.setInterval(5);
    QTest::mousePress(&downA, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([this] { return LevelA() >= 2050; }, 2000));
    QTest::mouseRelease(&downA, Qt::LeftButton);
    const int released = LevelA();
    QTest::qWait(30);
    EXPECT_EQ(LevelA(), released);
}

TEST_F(VerticalShiftsTest, PressOnTheTrackStepsByFive) {
    QTest::mousePress(&slideA, Qt::LeftButton, {}, QPoint(12, 80));  // knob at 50
    EXPECT_EQ(LevelA(), 2053);
    EXPECT_TRUE(timer.isActive());
    EXPECT_FALSE(shifts.DraggingA());
    shifts.OnTimer();
    EXPECT_EQ(LevelA(), 2058);
    QTest::mouseRelease(&slideA, Qt::LeftButton, {}, QPoint(12, 80));
    EXPECT_FALSE(timer.isActive());
    EXPECT_TRUE(scope.SettingsToFile());

    QTest::mousePress(&slideB, Qt::LeftButton, {}, QPoint(12, 5));  // knob at 35
    EXPECT_EQ(LevelB(), 1469);
    shifts.OnTimer();
    EXPECT_EQ(LevelB(), 1464);
    QTest::mouseRelease(&slideB, Qt::LeftButton, {}, QPoint(12, 5));
}

TEST_F(VerticalShiftsTest, PressExactlyAtTheGripEdgeRepeatsNothing) {
    QTest::mousePress(&slideA, Qt::LeftButton, {}, QPoint(12, 80));
    QTest::mouseRelease(&slideA, Qt::LeftButton, {}, QPoint(12, 80));
    const int level = LevelA();
    const int knob = scope.ScaledLevelChannelA();
    QTest::mousePress(&slideA, Qt::LeftButton, {}, QPoint(12, knob + 10));
    EXPECT_FALSE(shifts.DraggingA());
    shifts.OnTimer();
    EXPECT_EQ(LevelA(), level);
    QTest::mouseRelease(&slideA, Qt::LeftButton, {}, QPoint(12, knob + 10));
}

TEST_F(VerticalShiftsTest, DraggingTheKnobFollowsThePointerWithinTheTravel) {
    QTest::mousePress(&slideA, Qt::LeftButton, {}, QPoint(12, 55));
    EXPECT_TRUE(shifts.DraggingA());
    EXPECT_FALSE(timer.isActive());
    EXPECT_FALSE(scope.SettingsToFile());

    MoveWithButton(slideA, 0);
    EXPECT_EQ(LevelA(), 0);
    EXPECT_EQ(slideA.BarPosition(), 0);
    MoveWithButton(slideA, 100);
    EXPECT_EQ(LevelA(), 4095);
    EXPECT_EQ(slideA.BarPosition(), 99);  // 4095 * 100 / 4096
    MoveWithButton(slideA, 130);
    MoveWithButton(slideA, -3);
    EXPECT_EQ(LevelA(), 4095);
    MoveWithButton(slideA, 33);
    EXPECT_EQ(LevelA(), 1351);
    EXPECT_FALSE(scope.SettingsToFile());

    // The other slide is not being dragged.
    MoveWithButton(slideB, 10);
    EXPECT_EQ(LevelB(), 1474);

    QTest::mouseRelease(&slideA, Qt::LeftButton, {}, QPoint(12, 33));
    EXPECT_FALSE(shifts.DraggingA());
    EXPECT_TRUE(scope.SettingsToFile());
    ASSERT_FALSE(recorder.seen.empty());
    EXPECT_TRUE(recorder.seen.back().settingsToFile);
    MoveWithButton(slideA, 60);
    EXPECT_EQ(LevelA(), 1351);
}

TEST_F(VerticalShiftsTest, LevelsStayWithinTheDeviceRange) {
    scope.SetVerticalLevelChannelA(4094);
    QTest::mouseClick(&downA, Qt::LeftButton);
    EXPECT_EQ(LevelA(), 4095);
    QTest::mouseClick(&downA, Qt::LeftButton);
    EXPECT_EQ(LevelA(), 4095);

    scope.SetVerticalLevelChannelB(3);
    scope.NotifyListeners(core::kNotifySettingsChanged, 99);
    QTest::mousePress(&slideB, Qt::LeftButton, {}, QPoint(12, 50));  // below the knob at 0: +5
    QTest::mouseRelease(&slideB, Qt::LeftButton, {}, QPoint(12, 50));
    EXPECT_EQ(LevelB(), 8);
    QTest::mouseClick(&upB, Qt::LeftButton);
    EXPECT_EQ(LevelB(), 7);
    scope.SetVerticalLevelChannelB(1);
    QTest::mouseClick(&upB, Qt::LeftButton);
    EXPECT_EQ(LevelB(), 1);
}

TEST_F(VerticalShiftsTest, AReplacedControlNoLongerDrivesTheGroup) {
    TChannelIndicationButtonLyra other;
    other.resize(36, 22);
    shifts.SetSlideUpButtonA(&other);
    QTest::mouseClick(&upA, Qt::LeftButton);
    EXPECT_EQ(LevelA(), 2048);
    EXPECT_TRUE(recorder.seen.empty());
    QTest::mouseClick(&other, Qt::LeftButton);
    EXPECT_EQ(LevelA(), 2047);
    shifts.SetSlideUpButtonA(nullptr);
}

TEST(ChannelIndicationButton, NonFlatBarMovesWithThePressedFace) {
    TChannelIndicationButtonLyra button;
    button.resize(36, 22);
    button.SetChannelColor(0x000000FF);  // red
    const QColor red(255, 0, 0);

    QImage up = button.grab().toImage();
    EXPECT_EQ(up.pixelColor(26, 10), red);
    EXPECT_EQ(up.pixelColor(31, 12), red);
    EXPECT_NE(up.pixelColor(32, 12), red);
    EXPECT_NE(up.pixelColor(31, 13), red);
    EXPECT_EQ(button.ButtonDown(), 0);

    button.setCheckable(true);
    button.setChecked(true);
    QImage down = button.grab().toImage();
    EXPECT_EQ(button.ButtonDown(), 1);
    EXPECT_NE(down.pixelColor(26, 10), red);
    EXPECT_EQ(down.pixelColor(27, 11), red);
    EXPECT_EQ(down.pixelColor(32, 13), red);

    TChannelIndicationButtonLyra flat;
    flat.resize(36, 22);
    flat.SetFlat(true);
    flat.SetChannelColor(0x000000FF);
    flat.setCheckable(true);
    flat.setChecked(true);
    EXPECT_EQ(flat.grab().toImage().pixelColor(26, 10), red);
    EXPECT_EQ(flat.ButtonDown(), 0);
    flat.SetButtonDown(1);
    EXPECT_EQ(flat.grab().toImage().pixelColor(32, 13), red);
}

TEST(VerticalSlide, DrawsTrackKnobAndMark) {
    TVerticalSlideLyra slide;
    slide.resize(25, 115);
    slide.SetBarWidth(25);
    slide.SetBarHeight(100);
    slide.SetBarColor(0x0000FF00);  // green
    slide.SetBarPosition(50);
    const QImage image = slide.grab().toImage();
    const QColor green(0, 255, 0), black(0, 0, 0);
    const int h = 12;

    EXPECT_EQ(image.pixelColor(h - 2, 0), black);        // track frame
    EXPECT_EQ(image.pixelColor(h + 1, 105), black);
    EXPECT_EQ(image.pixelColor(h - 1, 20), green);       // track
    EXPECT_EQ(image.pixelColor(h, 104), green);
    EXPECT_EQ(image.pixelColor(2, 50), black);           // knob outline
    EXPECT_EQ(image.pixelColor(22, 55), black);
    EXPECT_NE(image.pixelColor(23, 55), black);
    EXPECT_EQ(image.pixelColor(5, 52), green);           // knob face
    EXPECT_EQ(image.pixelColor(h - 2, 53), black);       // mark
    EXPECT_EQ(image.pixelColor(h + 1, 53), black);
    EXPECT_EQ(image.pixelColor(h + 2, 53), green);

    slide.SetBarPosition(10);
    const QImage moved = slide.grab().toImage();
    EXPECT_EQ(moved.pixelColor(5, 12), green);
    EXPECT_NE(moved.pixelColor(5, 52), green);  // nothing left of the old knob
}

}  // namespace
}  // namespace rollmode::display
