// The window on a recording with two measurements, an overflow mark, a settings change
// and a not-armed stretch: markers where the file has them, zoom, pan and cursors.
#include <QAction>
#include <QComboBox>
#include <QHelpEvent>
#include <QToolTip>
#include <QLabel>
#include <QScrollBar>
#include <QTest>

#include <cmath>

#include "AxisFormat.h"
#include "ViewerTestSupport.h"

using namespace rollmode::viewer;
using namespace rollmode::viewer::testing;

namespace {

// Instants of the first measurement: 4000 samples, overflow, 2000 samples, A to
// 200 mV/div, 1000 samples, 1000 not armed, 2000 samples, stop. The second: 5000.
constexpr uint64_t kOverflowAt = 4000;
constexpr uint64_t kSettingsAt = 6000;
constexpr uint64_t kNotArmedFrom = 7000, kNotArmedTo = 8000;
constexpr uint64_t kFirstEnd = 10000, kSecondEnd = 15000;

class ViewerWindow : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = TempRecord(::testing::UnitTest::GetInstance()->current_test_info()->name());
        TRecordFileBuilder file;
        file.Start(1000, 1000, 500).Ramp(4000).Overflow().Ramp(2000).Record32(11, 200).Ramp(1000);
        file.NotArmed(1000).Ramp(2000).Stop();
        file.Start(1000).Ramp(5000).Stop();
        file.WriteTo(path_);
        window_.resize(1200, 700);
        window_.show();
        window_.OpenFile(QString::fromStdString(path_));
        ASSERT_TRUE(window_.WaitOpened(10000));
        ASSERT_FALSE(window_.OpenFailed()) << window_.FaultText().toStdString();
        view_ = window_.View();
        QApplication::processEvents();
    }

    QImage Grab() { return view_->grab().toImage(); }
    int X(uint64_t instant) const { return view_->XOfInstant(static_cast<double>(instant)); }
    QRect Plot() const { return view_->PlotRect(); }
    int StripTop() const { return Plot().top() - TWaveformView::kMarkerStrip; }

    std::string path_;
    TViewerWindow window_;
    TWaveformView* view_ = nullptr;
};

}  // namespace

TEST_F(ViewerWindow, ShowsTheFirstMeasurementWholeAndListsBoth) {
    EXPECT_EQ(window_.MeasurementList()->count(), 2);
    EXPECT_EQ(view_->Span().Begin(), 0u);
    EXPECT_EQ(view_->Span().End(), kFirstEnd);
    EXPECT_GE(view_->Span().PerColumn(), TWaveformView::kSamplesBelowPerColumn);  // the band
    EXPECT_FALSE(window_.Banner()->isVisible());

    window_.MeasurementList()->setCurrentIndex(1);
    emit window_.MeasurementList()->activated(1);
    EXPECT_EQ(view_->Span().Begin(), kFirstEnd);
    EXPECT_EQ(view_->Span().End(), kSecondEnd);
}

TEST_F(ViewerWindow, DrawsMarkersAndStretchesWhereTheFileHasThem) {
    const QImage image = Grab();
    const int strip = StripTop() + TWaveformView::kMarkerStrip / 2;
    EXPECT_EQ(image.pixelColor(X(kOverflowAt), strip).rgb(), TWaveformView::kOverflowColour.rgb());
    EXPECT_EQ(image.pixelColor(X(kSettingsAt), strip).rgb(), TWaveformView::kSettingsColour.rgb());
    // Nothing marked where the file has plain samples.
    const int plain = X(5000);
    EXPECT_NE(image.pixelColor(plain, strip).rgb(), TWaveformView::kOverflowColour.rgb());
    EXPECT_NE(image.pixelColor(plain, strip).rgb(), TWaveformView::kSettingsColour.rgb());
    EXPECT_EQ(CountInColumn(image, plain, Plot().top(), Plot().bottom(), TWaveformView::kNotArmedColour), 0);
    // The not-armed stretch is grey across its columns and holds no trace.
    const int grey = X((kNotArmedFrom + kNotArmedTo) / 2);
    EXPECT_GT(CountInColumn(image, grey, Plot().top(), Plot().bottom(), TWaveformView::kNotArmedColour),
              Plot().height() / 2);
    EXPECT_EQ(CountInColumn(image, grey, Plot().top(), Plot().bottom(), TWaveformView::kChannelColour[0]), 0);
    EXPECT_GT(CountInColumn(image, plain, Plot().top(), Plot().bottom(), TWaveformView::kChannelColour[0]), 0);
    // Measurement stop at the end of the data.
    EXPECT_EQ(image.pixelColor(std::min(X(kFirstEnd), Plot().right()), Plot().center().y()).rgb(),
              TWaveformView::kStopColour.rgb());

    EXPECT_TRUE(view_->MarkerText(X(kSettingsAt)).contains("A: 200 mV/div"));
    EXPECT_TRUE(view_->MarkerText(X(kOverflowAt)).contains("Overflow"));
    EXPECT_TRUE(view_->MarkerText(X(5000)).isEmpty());
    // Resting the mouse there shows it as a tooltip.
    const QPoint at(X(kSettingsAt), strip);
    QHelpEvent help(QEvent::ToolTip, at, view_->mapToGlobal(at));
    QApplication::sendEvent(view_, &help);
    EXPECT_TRUE(QToolTip::text().contains("A: 200 mV/div")) << QToolTip::text().toStdString();
    QToolTip::hideText();
}

TEST_F(ViewerWindow, MarkersStayAtTheirInstantAtFineZoom) {
    // A few instants per column around the overflow: the band gives way to samples.
    view_->PanTo(kOverflowAt - 10);
    for (int i = 0; i < 12; ++i) QTest::keyClick(view_, Qt::Key_Plus);
    view_->PanTo(kOverflowAt - 10);
    ASSERT_LT(view_->Span().PerColumn(), TWaveformView::kSamplesBelowPerColumn);
    const QImage image = Grab();
    const int strip = StripTop() + TWaveformView::kMarkerStrip / 2;
    EXPECT_EQ(image.pixelColor(X(kOverflowAt), strip).rgb(), TWaveformView::kOverflowColour.rgb());
    // Sample 4003 sits in the middle of its instant at its millivolts.
    const uint64_t sample = kOverflowAt + 3;
    const double mv = (16 + static_cast<int>(sample % 200) - 128) * 1000.0 / 32.0;
    const auto [lo, hi] = view_->Range(0);
    const QRect lane = view_->LaneRect(0);
    const int x = Plot().left() + static_cast<int>(view_->Span().ColumnOf(sample + 0.5));
    const int y = static_cast<int>(std::lround(lane.bottom() - (mv - lo) / (hi - lo) * (lane.height() - 1)));
    EXPECT_GT(CountInRect(image, QRect(x - 1, y - 1, 3, 3), TWaveformView::kChannelColour[0]), 0);
}

TEST_F(ViewerWindow, WheelZoomsAboutTheMouseAndKeysZoomAndJump) {
    const int x = Plot().left() + 300;
    const double under = view_->Span().InstantAt(300);
    const double per = view_->Span().PerColumn();
    Wheel(view_, QPoint(x, Plot().center().y()), 120);
    EXPECT_LT(view_->Span().PerColumn(), per);
    EXPECT_NEAR(view_->Span().InstantAt(300), under, 1e-6);

    const double before = view_->Span().PerColumn();
    QTest::keyClick(view_, Qt::Key_Plus);
    EXPECT_DOUBLE_EQ(view_->Span().PerColumn(), before / 2);
    QTest::keyClick(view_, Qt::Key_Minus);
    EXPECT_DOUBLE_EQ(view_->Span().PerColumn(), before);
    QTest::keyClick(view_, Qt::Key_End);
    EXPECT_TRUE(view_->Span().AtEnd());
    QTest::keyClick(view_, Qt::Key_Home);
    EXPECT_DOUBLE_EQ(view_->Span().First(), 0.0);
    const double first = view_->Span().First();
    QTest::keyClick(view_, Qt::Key_Right);
    EXPECT_NEAR(view_->Span().First() - first, view_->Span().Columns() / 8.0 * view_->Span().PerColumn(), 1e-6);
    view_->ShowWhole();
    EXPECT_DOUBLE_EQ(view_->Span().PerColumn(), per);
}

TEST_F(ViewerWindow, RubberBandZoomsToTheDraggedStretchAndDraggingPans) {
    const int left = Plot().left();
    const double from = view_->Span().InstantAt(200), to = view_->Span().InstantAt(500);
    Drag(view_, QPoint(left + 200, Plot().center().y()), QPoint(left + 500, Plot().center().y()), Qt::RightButton);
    EXPECT_NEAR(view_->Span().First(), from, 1e-6);
    EXPECT_NEAR(view_->Span().Last(), to, 1e-6);

    const double first = view_->Span().First(), per = view_->Span().PerColumn();
    Drag(view_, QPoint(left + 400, 100), QPoint(left + 300, 100), Qt::LeftButton);  // drag left: later data
    EXPECT_NEAR(view_->Span().First(), first + 100 * per, 1e-6);
    EXPECT_EQ(view_->Span().PerColumn(), per);
}

TEST_F(ViewerWindow, ScrollBarPansAndFollowsTheView) {
    view_->ZoomBy(0.1);
    view_->ShowStart();
    QScrollBar* bar = window_.ScrollBar();
    EXPECT_EQ(bar->value(), 0);
    bar->setValue(bar->maximum());
    EXPECT_TRUE(view_->Span().AtEnd());
    view_->ShowStart();
    EXPECT_EQ(bar->value(), 0);
}

TEST_F(ViewerWindow, CursorsReadTimesDifferenceAndBothChannels) {
    const QPoint at(X(1000) + 1, Plot().center().y());
    Click(view_, at, Qt::LeftButton);
    ASSERT_TRUE(view_->Cursor(0).has_value());
    EXPECT_NEAR(static_cast<double>(*view_->Cursor(0)), 1000.0, view_->Span().PerColumn() + 1);
    Click(view_, QPoint(X(2000) + 1, at.y()), Qt::RightButton);
    ASSERT_TRUE(view_->Cursor(1).has_value());

    // Exact instants: 1000 and 1100 at 1000 S/s, codes 16 (A) and 216 (B).
    view_->SetCursor(0, 1000);
    view_->SetCursor(1, 1100);
    const QString text = window_.CursorLabel()->text();
    EXPECT_TRUE(text.contains("\u0394t 100.0000 ms")) << text.toStdString();
    EXPECT_TRUE(text.contains("1/\u0394t 10.0000 Hz")) << text.toStdString();
    EXPECT_TRUE(text.contains("1.000 s")) << text.toStdString();
    EXPECT_TRUE(text.contains("A -3.5000 V  B 1.3750 V")) << text.toStdString();
    // A cursor in the not-armed stretch says so rather than showing values.
    view_->SetCursor(1, kNotArmedFrom + 5);
    EXPECT_TRUE(window_.CursorLabel()->text().contains("not armed"));
    QTest::keyClick(view_, Qt::Key_Escape);
    EXPECT_FALSE(view_->Cursor(0).has_value());
    EXPECT_FALSE(view_->Cursor(1).has_value());
}

TEST_F(ViewerWindow, ChannelsSwitchOffAndTheOtherTakesTheWholeHeight) {
    window_.ChannelAction(1)->setChecked(false);
    EXPECT_EQ(view_->LaneRect(0), Plot());
    const QImage image = Grab();
    EXPECT_EQ(CountInRect(image, Plot(), TWaveformView::kChannelColour[1]), 0);
    EXPECT_GT(CountInRect(image, Plot(), TWaveformView::kChannelColour[0]), 0);
}
