#include <gtest/gtest.h>

#include <memory>

#include <QTest>
#include <QWidget>

#include "GroupTestSupport.h"
#include "NotificationCodes.h"
#include "SweepControlsLyraRM.h"
#include "TraceGlyphButtonLyra.h"

using namespace rollmode;
using controls::TOnOffButtonLyra;
using controls::TTraceGlyphButtonLyra;
using grouptest::NotificationRecorder;

namespace {

class SweepGroup : public ::testing::Test {
protected:
    void SetUp() override {
        host = std::make_unique<QWidget>();
        host->resize(200, 100);
        maximum = new TTraceGlyphButtonLyra(TTraceGlyphButtonLyra::Trace::Maximum, host.get());
        average = new TTraceGlyphButtonLyra(TTraceGlyphButtonLyra::Trace::Average, host.get());
        minimum = new TTraceGlyphButtonLyra(TTraceGlyphButtonLyra::Trace::Minimum, host.get());
        single = new TOnOffButtonLyra(host.get());
        calc = new TOnOffButtonLyra(host.get());
        clear = new TOnOffButtonLyra(host.get());
        maximum->setGeometry(0, 0, 26, 22);
        average->setGeometry(30, 0, 26, 22);
        minimum->setGeometry(60, 0, 26, 22);
        single->setGeometry(0, 30, 40, 22);
        calc->setGeometry(50, 30, 40, 22);
        clear->setGeometry(0, 60, 80, 22);
        group.SetMakeMaximumButton(maximum);
        group.SetMakeAvgButton(average);
        group.SetMakeMinimumButton(minimum);
        group.SetSingleButton(single);
        group.SetCalcButton(calc);
        group.SetClearScreenButton(clear);
        group.SetVirtualScope(&scope);
        host->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(host.get()));
        grouptest::StartModel(scope, recorder);
    }

    // Model flags and pressed buttons agree, and are as given.
    void ExpectTraces(bool max, bool avg, bool min) {
        EXPECT_EQ(scope.MakeMaximum(), max);
        EXPECT_EQ(scope.MakeAvg(), avg);
        EXPECT_EQ(scope.MakeMinimum(), min);
        EXPECT_EQ(maximum->Down(), max);
        EXPECT_EQ(average->Down(), avg);
        EXPECT_EQ(minimum->Down(), min);
    }

    core::TVirtualScopeLyraRM scope;
    std::unique_ptr<QWidget> host;
    controls::TSweepControlsLyraRM group;
    NotificationRecorder recorder;
    TTraceGlyphButtonLyra* maximum;
    TTraceGlyphButtonLyra* average;
    TTraceGlyphButtonLyra* minimum;
    TOnOffButtonLyra* single;
    TOnOffButtonLyra* calc;
    TOnOffButtonLyra* clear;
};

}  // namespace

TEST_F(SweepGroup, TraceChoiceIsAverageAloneOrMaximumAndMinimum) {
    EXPECT_EQ(group.ControlGroup(), 12);
    ExpectTraces(true, false, true);  // initial model
    EXPECT_TRUE(calc->Down());
    EXPECT_FALSE(single->Down());

    QTest::mouseClick(average, Qt::LeftButton);
    ExpectTraces(false, true, false);
    QTest::mouseClick(minimum, Qt::LeftButton);
    ExpectTraces(false, false, true);
    QTest::mouseClick(minimum, Qt::LeftButton);  // nothing left: average again
    ExpectTraces(false, true, false);
    QTest::mouseClick(maximum, Qt::LeftButton);
    QTest::mouseClick(minimum, Qt::LeftButton);
    ExpectTraces(true, false, true);
    QTest::mouseClick(maximum, Qt::LeftButton);
    ExpectTraces(false, false, true);
    // A second click on average keeps it on: it is a choice, not a toggle.
    QTest::mouseClick(average, Qt::LeftButton);
    QTest::mouseClick(average, Qt::LeftButton);
    ExpectTraces(false, true, false);

    ASSERT_EQ(recorder.seen.size(), 8u);
    for (const auto& [code, sender] : recorder.seen) {
        EXPECT_EQ(code, core::kNotifySettingsChanged);
        EXPECT_EQ(sender, 12);
    }
}

TEST_F(SweepGroup, ClearScreenIsARequestThatNeverStaysPressed) {
    QTest::mouseClick(clear, Qt::LeftButton);
    EXPECT_FALSE(clear->Down());
    EXPECT_TRUE(scope.ClearScreenRequested());
    ExpectTraces(true, false, true);
    ASSERT_EQ(recorder.seen.size(), 1u);
    // Consumed elsewhere; a second click asks again.
    scope.SetClearScreenRequested(false);
    QTest::mouseClick(clear, Qt::LeftButton);
    EXPECT_TRUE(scope.ClearScreenRequested());
    EXPECT_FALSE(clear->Down());
}

TEST_F(SweepGroup, RealSamplesDisableTheTraceChoiceAndKeepIt) {
    QTest::mouseClick(average, Qt::LeftButton);
    QTest::mouseClick(single, Qt::LeftButton);
    EXPECT_TRUE(scope.SingleMode());
    EXPECT_TRUE(single->Down());
    EXPECT_FALSE(calc->Down());
    EXPECT_FALSE(maximum->isEnabled());
    EXPECT_FALSE(average->isEnabled());
    EXPECT_FALSE(minimum->isEnabled());
    // "SNG" again stays on: only "Calc" leaves it.
    QTest::mouseClick(single, Qt::LeftButton);
    EXPECT_TRUE(scope.SingleMode());
    EXPECT_TRUE(single->Down());

    QTest::mouseClick(calc, Qt::LeftButton);
    EXPECT_FALSE(scope.SingleMode());
    EXPECT_TRUE(calc->Down());
    EXPECT_FALSE(single->Down());
    EXPECT_TRUE(minimum->isEnabled());
    ExpectTraces(false, true, false);
}
