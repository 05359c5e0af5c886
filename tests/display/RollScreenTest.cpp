#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QScreen>

#include <atomic>
#include <chrono>
#include <future>
#include <random>
#include <thread>
#include <vector>

#include "ColorConversion.h"
#include "VirtualScopeLyraRM.h"
#include "RollScreenEKGLyraRM.h"
#include "RollScreenShiftLyraRM.h"

namespace {

using namespace rollmode::display;

QApplication& App() {
    static int argc = 1;
    static char name[] = "display_gui_tests";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: once a window has been shown, tearing the application down among the
    // other statics at exit crashes in Qt's input devices.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

constexpr QRgb kRed = 0xFF0000, kOlive = 0x808000, kBlue = 0x0000FF;
constexpr QRgb kColorA = 0xFFFF00, kColorB = 0x00FF00, kGrid = 0xFFFFFF, kBackground = 0x000000;

uint16_t Sample(uint8_t a, uint8_t b) { return static_cast<uint16_t>(a | (b << 8)); }

// Settings of a test: k = 1 (50 S/s at 1 s per division), grid on, dots of channel A.
TScreenSettings BaseSettings() {
    TScreenSettings s;
    s.SMPSetting = 0;
    s.DSPSetting = 3;
    s.ColorChannelA = FromQColor(QColor::fromRgb(kColorA));
    s.ColorChannelB = FromQColor(QColor::fromRgb(kColorB));
    s.BackgroundColor = 0;
    s.RealGridColor = 0xFFFFFF;
    s.Grid = true;
    s.ModeLine = false;
    s.SingleMode = true;
    s.StatusChannelB = false;
    return s;
}

template <class Screen>
struct Fixture {
    Screen screen;
    TScreenSettings settings = BaseSettings();

    explicit Fixture(int width = 585, int height = 255) {
        screen.resize(width, height);
        screen.SetSettingsProvider([this] { return settings; });
        screen.PrepareDisplay();
    }
    void Feed(std::vector<uint16_t> words) { screen.ProcessBlock(words.data(), static_cast<uint32_t>(words.size())); }
    QRgb Pixel(int x, int y) { return screen.Snapshot().pixel(x, y) & 0xFFFFFF; }
};

class RollScreens : public ::testing::Test {
protected:
    static void SetUpTestSuite() { App(); }
};

TEST_F(RollScreens, ColourValuesAreRedInTheLowByte) {
    EXPECT_EQ(ToQRgb(0x0000FF) & 0xFFFFFF, kRed);
    EXPECT_EQ(ToQRgb(0x008080) & 0xFFFFFF, kOlive);
    EXPECT_EQ(FromQColor(ToQColor(0x123456)), 0x123456u);
}

TEST_F(RollScreens, ShiftGridRowsAndPhaseFollowTheScroll) {
    Fixture<TRollScreenShiftLyraRM> f;
    EXPECT_EQ(f.screen.GridPhase(), 35);
    QImage img = f.screen.Snapshot();
    for (int row : {224, 192, 160, 128, 96, 64, 32}) {
        EXPECT_EQ(img.pixel(100, row) & 0xFFFFFF, kGrid) << row;
        EXPECT_EQ(img.pixel(101, row) & 0xFFFFFF, kBackground) << row;
    }
    EXPECT_EQ(img.pixel(100, 223) & 0xFFFFFF, kBackground);
    for (int x = 0; x <= 550; x += 50) EXPECT_EQ(img.pixel(x, 10) & 0xFFFFFF, kGrid) << x;
    EXPECT_EQ(img.pixel(40, 10) & 0xFFFFFF, kBackground);
    EXPECT_EQ(img.pixel(50, 11) & 0xFFFFFF, kBackground);  // dotted: even rows only

    f.Feed(std::vector<uint16_t>(10, Sample(100, 100)));
    img = f.screen.Snapshot();
    for (int x = 40; x <= 540; x += 50) EXPECT_EQ(img.pixel(x, 10) & 0xFFFFFF, kGrid) << x;
    for (int x = 50; x <= 550; x += 50) EXPECT_EQ(img.pixel(x, 10) & 0xFFFFFF, kBackground) << x;
    EXPECT_EQ(f.screen.GridPhase(), 45);
}

TEST_F(RollScreens, ShiftDrawsNewestAtTheRightEdgeAndMarkersInTheirColours) {
    Fixture<TRollScreenShiftLyraRM> f;
    f.settings.ModeLine = true;
    f.settings.SingleMode = true;
    // S, record, S, 2 2, S, 1, S, S  ->  columns 577 .. 584
    f.Feed({Sample(200, 9), 0, 4, 7, 7, Sample(200, 9), 2, 2, Sample(200, 9), 1, Sample(200, 9), Sample(200, 9)});
    const QImage img = f.screen.Snapshot();
    const auto at = [&](int x, int y) { return img.pixel(x, y) & 0xFFFFFF; };
    EXPECT_EQ(at(578, 150), kRed);    // gap column
    EXPECT_EQ(at(580, 150), kOlive);  // marker column 2
    EXPECT_EQ(at(582, 150), kRed);    // marker column 1
    EXPECT_EQ(at(579, 150), kBackground);
    EXPECT_EQ(at(583, 55), kColorA);  // code 200 on row 55, line towards the newest column
    EXPECT_EQ(at(576, 55), kBackground);  // nothing before the first column
    // The trace resumes at the value before a marker: the marker column's own row is painted over.
    EXPECT_EQ(at(582, 55), kColorA);
}

TEST_F(RollScreens, ShiftBandCoversMinimumToMaximumInclusive) {
    Fixture<TRollScreenShiftLyraRM> f;
    f.settings.SingleMode = false;
    f.settings.MakeMaximum = f.settings.MakeMinimum = true;
    f.settings.ModeLine = true;
    f.settings.DSPSetting = 4;  // 2 samples per column
    f.settings.Grid = false;
    f.Feed({Sample(100, 9), Sample(120, 9), Sample(77, 9), Sample(77, 9)});
    const QImage img = f.screen.Snapshot();
    const auto at = [&](int x, int y) { return img.pixel(x, y) & 0xFFFFFF; };
    for (int y = 135; y <= 155; ++y) EXPECT_EQ(at(583, y), kColorA) << y;
    EXPECT_EQ(at(583, 134), kBackground);
    EXPECT_EQ(at(583, 156), kBackground);
    // Equal minimum and maximum: one pixel.
    EXPECT_EQ(at(584, 178), kColorA);
    EXPECT_EQ(at(584, 177), kBackground);
    EXPECT_EQ(at(584, 179), kBackground);
}

TEST_F(RollScreens, ShiftDotsDrawOnePixelPerVisibleChannelBOnTop) {
    Fixture<TRollScreenShiftLyraRM> f;
    f.settings.StatusChannelB = true;
    f.Feed({Sample(100, 100), Sample(100, 50)});
    const QImage img = f.screen.Snapshot();
    EXPECT_EQ(img.pixel(583, 155) & 0xFFFFFF, kColorB);
    EXPECT_EQ(img.pixel(584, 155) & 0xFFFFFF, kColorA);
    EXPECT_EQ(img.pixel(584, 205) & 0xFFFFFF, kColorB);
    EXPECT_EQ(img.pixel(584, 154) & 0xFFFFFF, kBackground);
}

// The ring-addressed picture scrolled block by block must equal a full repaint from the
// store (dot and band variants do not depend on the drawing order).
TEST_F(RollScreens, ScrolledPictureEqualsFullRepaint) {
    for (bool band : {false, true}) {
        Fixture<TRollScreenShiftLyraRM> f(300, 200);
        f.settings.Grid = false;
        f.settings.StatusChannelB = true;
        f.settings.SingleMode = !band;
        f.settings.MakeMinimum = band;
        f.settings.ModeLine = band;
        f.settings.DSPSetting = 4;
        std::mt19937 rng(5);
        for (int block = 0; block < 200; ++block) {
            std::vector<uint16_t> w(rng() % 9);
            for (auto& x : w) x = Sample(static_cast<uint8_t>(3 + rng() % 250), static_cast<uint8_t>(3 + rng() % 250));
            if (block % 17 == 3) w.push_back(1);
            f.Feed(w);
        }
        const QImage scrolled = f.screen.Snapshot();
        ASSERT_TRUE(f.screen.TryRepaint());
        EXPECT_EQ(scrolled, f.screen.Snapshot()) << "band " << band;
    }
}

TEST_F(RollScreens, RepaintOfAShortStoreLeavesTheLeftEmpty) {
    Fixture<TRollScreenShiftLyraRM> f;
    f.settings.Grid = false;
    f.Feed({Sample(100, 1), Sample(100, 1), Sample(100, 1)});
    ASSERT_TRUE(f.screen.TryRepaint());
    const QImage img = f.screen.Snapshot();
    for (int x = 582; x < 585; ++x) EXPECT_EQ(img.pixel(x, 155) & 0xFFFFFF, kColorA);
    EXPECT_EQ(img.pixel(581, 155) & 0xFFFFFF, kBackground);
}

TEST_F(RollScreens, ZeroLinesOnlyWhileNoMeasurementRuns) {
    Fixture<TRollScreenShiftLyraRM> f;
    f.settings.Grid = false;
    f.settings.GroundA = true;
    f.settings.ZeroChannelA = 128;  // row 127
    ASSERT_TRUE(f.screen.TryRepaint());
    EXPECT_EQ(f.Pixel(0, 127), kColorA);
    EXPECT_EQ(f.Pixel(3, 127), kColorA);
    EXPECT_EQ(f.Pixel(1, 127), kBackground);
    f.settings.MeasurementStarted = true;
    ASSERT_TRUE(f.screen.TryRepaint());
    EXPECT_EQ(f.Pixel(0, 127), kBackground);
}

TEST_F(RollScreens, DisplayOffLeavesTheStoreUntouched) {
    Fixture<TRollScreenShiftLyraRM> f;
    f.Feed({Sample(9, 9), Sample(9, 9)});
    f.settings.DisplayActive = false;
    f.Feed({Sample(9, 9), Sample(9, 9), 0, 4, 1, 1});
    EXPECT_EQ(f.screen.Store().WriteIndex(), 2);
    EXPECT_EQ(f.screen.Store().TotalColumns(), 2u);
}

TEST_F(RollScreens, OversizedBlockKeepsOnlyTheNewestWords) {
    Fixture<TRollScreenShiftLyraRM> f(585, 255);
    std::vector<uint16_t> w(5000, Sample(10, 10));
    for (size_t i = 5000 - 585; i < 5000; ++i) w[i] = Sample(200, 200);
    f.Feed(w);
    EXPECT_EQ(f.screen.Store().TotalColumns(), 585u);
    EXPECT_EQ(f.screen.Store().Entry(TColumnStore::LastSample, 0), static_cast<uint16_t>(~Sample(200, 200)));
}

TEST_F(RollScreens, SettingsNotificationRepaintsOnlyAVisibleScreen) {
    Fixture<TRollScreenShiftLyraRM> f(120, 60);
    f.settings.Grid = false;
    f.settings.BackgroundColor = 0x0000FF;  // red
    int group = 12;
    f.screen.HandleNotification(2, group);
    EXPECT_EQ(f.Pixel(5, 5), kBackground);  // hidden: nothing drawn
    f.screen.show();
    f.screen.HandleNotification(14, group);
    EXPECT_EQ(f.Pixel(5, 5), kRed);
    f.settings.BackgroundColor = 0x008080;
    f.screen.HandleNotification(7, group);  // not a repaint code
    EXPECT_EQ(f.Pixel(5, 5), kRed);
    f.screen.HandleNotification(5, group);
    EXPECT_EQ(f.Pixel(5, 5), kOlive);
    f.screen.hide();
}

// Notifications never wait for a block being drawn: with the control lock taken
// elsewhere the repaint is skipped at once.
struct LockableShift : TRollScreenShiftLyraRM {
    std::mutex& ControlLock() { return controlLock_; }
};

TEST_F(RollScreens, RepaintIsSkippedWhileABlockHoldsTheControlLock) {
    LockableShift screen;
    screen.resize(100, 100);
    TScreenSettings s = BaseSettings();
    screen.SetSettingsProvider([s] { return s; });
    std::promise<void> locked, release;
    std::thread holder([&] {
        std::lock_guard g(screen.ControlLock());
        locked.set_value();
        release.get_future().wait();
    });
    locked.get_future().wait();
    // The lock is let go only after the repaint returned, or after 10 s: a repaint that
    // waited for it would return only after the holder gave up.
    std::atomic<bool> returned{false}, gaveUp{false};
    std::thread timeout([&] {
        for (int i = 0; i < 1000 && !returned.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!returned.load()) {
            gaveUp = true;
            release.set_value();
        }
    });
    EXPECT_FALSE(screen.TryRepaint());
    EXPECT_FALSE(gaveUp.load()) << "the repaint waited for the lock";
    returned = true;
    timeout.join();
    if (!gaveUp.load()) release.set_value();
    holder.join();
    EXPECT_TRUE(screen.TryRepaint());
}

TEST_F(RollScreens, RegistersWithTheModelAndLeavesItAtShutdown) {
    rollmode::core::TVirtualScopeLyraRM scope;
    const std::size_t before = scope.ListenerCount();
    {
        TRollScreenShiftLyraRM screen;
        screen.resize(200, 100);
        screen.SetControlGroup(17);
        screen.SetVirtualScope(&scope);
        ASSERT_EQ(scope.ListenerCount(), before + 1);
        EXPECT_EQ(scope.ListenerGroup(before), 17);
        screen.PrepareDisplay();
        const uint16_t words[] = {Sample(9, 9)};
        scope.SetDisplayActive(false);
        screen.ProcessBlock(words, 1);
        EXPECT_EQ(screen.Store().TotalColumns(), 0u);  // the model's DisplayActive is read
        int group = 5;
        screen.HandleNotification(3, group);
        EXPECT_EQ(scope.ListenerCount(), before);
        EXPECT_EQ(screen.VirtualScope(), nullptr);
        screen.SetVirtualScope(&scope);
    }
    EXPECT_EQ(scope.ListenerCount(), before);  // the destructor left the model
}

// --- cardiogram screen

TEST_F(RollScreens, SweepCursorRunsOverWidthPlusOnePositions) {
    Fixture<TRollScreenEKGLyraRM> f;
    for (int i = 0; i < 585; ++i) f.Feed({Sample(100, 100)});
    EXPECT_EQ(f.screen.SweepCursor(), 585);
    f.Feed({Sample(100, 100)});  // drawn at 585, off the picture
    EXPECT_EQ(f.screen.SweepCursor(), 0);
}

TEST_F(RollScreens, SweepWrapsAStripAndDrawsCursorAndSquares) {
    Fixture<TRollScreenEKGLyraRM> f;
    f.Feed(std::vector<uint16_t>(580, Sample(50, 50)));
    ASSERT_EQ(f.screen.SweepCursor(), 580);
    f.Feed(std::vector<uint16_t>(10, Sample(200, 200)));
    EXPECT_EQ(f.screen.SweepCursor(), 4);
    const QImage img = f.screen.Snapshot();
    const auto at = [&](int x, int y) { return img.pixel(x, y) & 0xFFFFFF; };
    for (int x : {580, 584, 0, 3}) EXPECT_EQ(at(x, 55), kColorA) << x;
    EXPECT_EQ(at(580, 205), kBackground);  // erased
    EXPECT_EQ(at(10, 205), kColorA);      // ahead of the cursor: the old sweep stays
    EXPECT_EQ(at(4, 100), kBlue);
    // Value square: x 4 .. 7, rows 53 .. 56.
    for (int x = 4; x < 8; ++x)
        for (int y = 53; y < 57; ++y) EXPECT_EQ(at(x, y), kColorA) << x << "," << y;
    EXPECT_EQ(at(8, 55), kBackground);
    EXPECT_EQ(at(5, 57), kBackground);
}

TEST_F(RollScreens, SweepDrawsTheGridOnlyBehindTheCursorAfterReset) {
    Fixture<TRollScreenEKGLyraRM> f;
    EXPECT_EQ(f.Pixel(50, 10), kBackground);
    f.Feed(std::vector<uint16_t>(60, Sample(200, 200)));
    EXPECT_EQ(f.Pixel(50, 10), kGrid);
    EXPECT_EQ(f.Pixel(100, 10), kBackground);
    f.screen.ClearDisplay();
    EXPECT_EQ(f.Pixel(100, 10), kGrid);
    EXPECT_EQ(f.Pixel(100, 224), kGrid);
    EXPECT_EQ(f.screen.SweepCursor(), 0);
}

TEST_F(RollScreens, SweepTraceRestartsAfterAMarker) {
    Fixture<TRollScreenEKGLyraRM> f;
    f.settings.ModeLine = true;
    f.settings.Grid = false;
    f.Feed({Sample(100, 1), 1, Sample(200, 1), Sample(200, 1)});
    EXPECT_EQ(f.Pixel(1, 155), kRed);    // not joined to the value before the marker
    EXPECT_EQ(f.Pixel(1, 55), kColorA);  // the new trace starts at its own row
    EXPECT_EQ(f.Pixel(2, 55), kColorA);
}

TEST_F(RollScreens, SweepRepaintKeepsTheCursor) {
    Fixture<TRollScreenEKGLyraRM> f(100, 100);
    f.settings.Grid = false;
    f.Feed(std::vector<uint16_t>(40, Sample(100, 100)));
    ASSERT_TRUE(f.screen.TryRepaint());
    EXPECT_EQ(f.screen.SweepCursor(), 40);
    EXPECT_EQ(f.Pixel(39, PixelRow(155, 100 / 255.0)), kColorA);
    EXPECT_EQ(f.Pixel(41, PixelRow(155, 100 / 255.0)), kBackground);
    EXPECT_EQ(f.Pixel(40, 50), kBlue);

    // More than Width: the newest 100 columns end just left of the cursor.
    std::vector<uint16_t> w;
    for (int i = 0; i < 150; ++i) w.push_back(Sample(static_cast<uint8_t>(10 + i), 100));
    for (auto x : w) f.Feed({x});
    const int cursor = f.screen.SweepCursor();
    EXPECT_EQ(cursor, (40 + 150) % 101);
    const QImage swept = f.screen.Snapshot();
    ASSERT_TRUE(f.screen.TryRepaint());
    EXPECT_EQ(f.screen.SweepCursor(), cursor);
    const QImage repainted = f.screen.Snapshot();
    // Dots: the columns before the cursor agree with the sweep.
    for (int x = 0; x < cursor; ++x)
        for (int y = 0; y < 100; ++y) ASSERT_EQ(repainted.pixel(x, y), swept.pixel(x, y)) << x << "," << y;
}


// --- what reaches the window

// The window's content as the platform holds it (not a fresh render of the widget).
QImage WindowContent(QWidget& window) {
    QImage img = QGuiApplication::primaryScreen()->grabWindow(window.winId()).toImage();
    return img.convertToFormat(QImage::Format_RGB32);
}

// Equal images, or where they first differ.
::testing::AssertionResult SamePicture(const QImage& shown, const QImage& picture) {
    if (shown.size() != picture.size())
        return ::testing::AssertionFailure() << "sizes " << shown.width() << "x" << shown.height() << " and "
                                             << picture.width() << "x" << picture.height();
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            if ((shown.pixel(x, y) & 0xFFFFFF) != (picture.pixel(x, y) & 0xFFFFFF))
                return ::testing::AssertionFailure() << "first difference at " << x << "," << y << ": "
                                                     << QString::number(shown.pixel(x, y), 16).toStdString() << " shown, "
                                                     << QString::number(picture.pixel(x, y), 16).toStdString() << " drawn";
    return ::testing::AssertionSuccess();
}

// Random blocks with markers, records and runs of 2s; k = 2 so some blocks add no column.
std::vector<uint16_t> RandomBlock(std::mt19937& rng) {
    std::vector<uint16_t> w(rng() % 40);
    for (auto& x : w) x = Sample(static_cast<uint8_t>(3 + rng() % 250), static_cast<uint8_t>(3 + rng() % 250));
    if (!w.empty() && rng() % 6 == 0) w[rng() % w.size()] = static_cast<uint16_t>(1 + rng() % 2);
    if (rng() % 11 == 0) w.insert(w.begin() + static_cast<long>(w.size() / 2), {0, 3, 7});
    return w;
}

template <class Screen>
void ExpectPartialPaintsEqualTheWholePicture(TRollScreenParentLyraRM::MoveMode mode, const char* what) {
    for (int variant = 0; variant < 3; ++variant) {
        Fixture<Screen> f(301, 120);
        f.screen.SetMoveMode(mode);
        f.settings.StatusChannelB = true;
        f.settings.DSPSetting = 4;  // 2 samples per column
        f.settings.ModeLine = variant != 2;
        f.settings.SingleMode = variant == 0;
        f.settings.MakeMinimum = variant != 0;
        f.screen.show();
        QCoreApplication::processEvents();
        f.screen.Present();
        const uint64_t fullArea = 301 * 120;
        uint64_t painted = 0;
        int presents = 0;
        std::mt19937 rng(11 + variant);
        for (int step = 0; step < 400; ++step) {
            const uint64_t before = f.screen.PaintedPixels();
            f.Feed(RandomBlock(rng));
            if (step % 3 == 0) f.Feed(RandomBlock(rng));
            if (step % 37 == 5) f.screen.repaint(QRect(rng() % 250, 10, 40, 50));  // an exposure Qt paints itself
            if (f.screen.Present()) {
                ++presents;
                painted += f.screen.PaintedPixels() - before;
            }
            ASSERT_TRUE(SamePicture(WindowContent(f.screen), f.screen.Snapshot())) << what << " variant " << variant << " step " << step;
        }
        // Nothing changed since: nothing is painted.
        const uint64_t before = f.screen.PaintedPixels();
        EXPECT_FALSE(f.screen.Present());
        EXPECT_EQ(f.screen.PaintedPixels(), before);
        const uint64_t columns = f.screen.Store().TotalColumns();
        f.Feed({Sample(9, 9)});  // completes a column only when one was half built
        EXPECT_EQ(f.screen.Present(), f.screen.Store().TotalColumns() != columns);
        // Partial paints are what makes this test mean something: on average well under
        // the whole picture, unless the whole picture is copied on purpose.
        if (mode == TRollScreenParentLyraRM::MoveMode::Scroll) {
            EXPECT_LT(painted, presents * fullArea / 4) << what;
        }
        f.screen.hide();
    }
}

TEST_F(RollScreens, PartialPaintsLeaveTheWindowEqualToTheWholePicture) {
    using Mode = TRollScreenParentLyraRM::MoveMode;
    ExpectPartialPaintsEqualTheWholePicture<TRollScreenEKGLyraRM>(Mode::Scroll, "cardiogram");
    ExpectPartialPaintsEqualTheWholePicture<TRollScreenShiftLyraRM>(Mode::Scroll, "rolling, scrolled");
    ExpectPartialPaintsEqualTheWholePicture<TRollScreenShiftLyraRM>(Mode::Copy, "rolling, copied");
}

// A picture of 2 MB or more lives in a mapping of its own (huge pages where granted): it
// draws and shows like any other, and survives being given up and made anew by resizes.
template <class Screen>
void ExpectALargePictureToShowWhatItDraws(const char* what) {
    Fixture<Screen> f(1201, 500);  // 2.4 MB: more than one huge page, not a whole number of them
    f.settings.StatusChannelB = true;
    f.settings.DSPSetting = 4;
    f.screen.show();
    QCoreApplication::processEvents();
    std::mt19937 rng(5);
    for (const QSize size : {QSize(1201, 500), QSize(300, 100), QSize(1500, 700)}) {
        f.screen.resize(size);
        QCoreApplication::processEvents();
        for (int step = 0; step < 600; ++step) {
            f.Feed(RandomBlock(rng));
            if (step % 150 == 149) {
                f.screen.Present();
                ASSERT_TRUE(SamePicture(WindowContent(f.screen), f.screen.Snapshot()))
                    << what << " " << size.width() << "x" << size.height() << " step " << step;
            }
        }
    }
    f.screen.hide();
}

TEST_F(RollScreens, ALargePictureShowsWhatItDrawsThroughResizes) {
    ExpectALargePictureToShowWhatItDraws<TRollScreenEKGLyraRM>("cardiogram");
    ExpectALargePictureToShowWhatItDraws<TRollScreenShiftLyraRM>("rolling");
}

// Blocks drawn on a worker while the GUI thread brings the window up to date: each
// Present() scrolls and paints while no block draws, so once the worker stops, one more
// Present() leaves the window equal to the picture.
TEST_F(RollScreens, PresentingWhileBlocksArriveKeepsTheWindowWhole) {
    for (auto mode : {TRollScreenParentLyraRM::MoveMode::Scroll, TRollScreenParentLyraRM::MoveMode::Copy}) {
        Fixture<TRollScreenShiftLyraRM> f(360, 150);
        f.screen.SetMoveMode(mode);
        f.settings.ModeLine = true;
        f.settings.StatusChannelB = true;
        f.screen.show();
        QCoreApplication::processEvents();
        std::atomic<bool> stop{false};
        std::thread worker([&] {
            std::mt19937 rng(7);
            while (!stop.load()) {
                const auto w = RandomBlock(rng);
                f.screen.ProcessBlock(w.data(), static_cast<uint32_t>(w.size()));
            }
        });
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 300) {
            f.screen.Present();
            QCoreApplication::processEvents();
        }
        stop = true;
        worker.join();
        f.screen.Present();
        EXPECT_TRUE(SamePicture(WindowContent(f.screen), f.screen.Snapshot()));
        f.screen.hide();
    }
}

// Runs the event loop for three paint intervals, so that the paint timer has fired.
void SettlePaints() {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 3 * TRollScreenParentLyraRM::kMinPaintIntervalMs) QCoreApplication::processEvents();
}

// The paint timer shows a new column within a paint interval and paints only its strip;
// a block that completes no column leads to no paint at all.
TEST_F(RollScreens, PaintsFollowNewColumnsOnly) {
    Fixture<TRollScreenEKGLyraRM> f(400, 100);
    f.settings.DSPSetting = 4;  // 2 samples per column
    f.screen.show();
    SettlePaints();
    const uint64_t idle = f.screen.PaintedPixels();
    f.Feed({Sample(50, 50)});
    SettlePaints();
    EXPECT_EQ(f.screen.PaintedPixels(), idle);
    f.Feed({Sample(50, 50)});
    SettlePaints();
    // Column 0, the cursor at 1 and its value square up to x 4: five columns of 100 rows.
    EXPECT_EQ(f.screen.PaintedPixels() - idle, 5u * 100u);
    EXPECT_TRUE(SamePicture(WindowContent(f.screen), f.screen.Snapshot()));
    f.screen.hide();
}

// Records the region of every paint a widget receives.
struct PaintRegions : QObject {
    std::vector<QRegion> regions;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) regions.push_back(static_cast<QPaintEvent*>(e)->region());
        return false;
    }
};

// A sweep that wraps changes columns at both edges: each paint gets a single rectangle (a
// region of several is copied span by span, many times slower), and together they leave
// the window equal to the picture.
TEST_F(RollScreens, ChangedStripsFarApartArePaintedAsSeparateRectangles) {
    Fixture<TRollScreenEKGLyraRM> f(400, 100);
    f.settings.DSPSetting = 4;  // 2 samples per column
    f.screen.show();
    f.Feed(std::vector<uint16_t>(2 * 396, Sample(40, 200)));
    SettlePaints();
    PaintRegions paints;
    f.screen.installEventFilter(&paints);
    f.Feed(std::vector<uint16_t>(2 * 12, Sample(200, 40)));  // columns 396..399 and 0..7
    SettlePaints();
    f.screen.removeEventFilter(&paints);
    ASSERT_GE(paints.regions.size(), 2u);
    QRegion covered;
    for (const QRegion& r : paints.regions) {
        EXPECT_EQ(r.rectCount(), 1) << "a paint clipped to several rectangles";
        covered += r;
    }
    EXPECT_TRUE(covered.contains(QPoint(398, 50)));
    EXPECT_TRUE(covered.contains(QPoint(3, 50)));
    EXPECT_FALSE(covered.contains(QPoint(200, 50))) << "the columns between stay as they are";
    EXPECT_TRUE(SamePicture(WindowContent(f.screen), f.screen.Snapshot()));
    f.screen.hide();
}
}  // namespace

namespace {

// Blocks drawn on a worker while the GUI thread repaints and paints: every repaint
// either runs or is skipped, none waits, and the picture stays whole.
TEST_F(RollScreens, BlocksAndRepaintsRunConcurrently) {
    using namespace rollmode::display;
    Fixture<TRollScreenShiftLyraRM> f(400, 200);
    // Points, not lines: a line between two columns is rasterised from its newer end by a
    // repaint and from its older end when scrolled in, and the two may split a steep step
    // between the columns differently wherever a repaint meets scrolled-in columns. That is
    // the drawing rules' own difference; points let every pixel be compared.
    f.settings.ModeLine = false;
    f.settings.Grid = false;
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        std::vector<uint16_t> w(37);
        uint8_t v = 3;
        while (!stop.load()) {
            for (auto& x : w) x = Sample(v, static_cast<uint8_t>(255 - v)), v = static_cast<uint8_t>(v < 250 ? v + 1 : 3);
            f.screen.ProcessBlock(w.data(), static_cast<uint32_t>(w.size()));
        }
    });
    int repaints = 0;
    for (int i = 0; i < 200; ++i) {
        if (f.screen.TryRepaint()) ++repaints;
        const QImage img = f.screen.Snapshot();
        ASSERT_EQ(img.size(), QSize(400, 200));
        QCoreApplication::processEvents();
    }
    stop = true;
    worker.join();
    EXPECT_GT(f.screen.Store().TotalColumns(), 0u);
    // Whole: the picture the blocks scrolled in beside the repaints is the one a full
    // repaint of the store draws, pixel for pixel.
    const QImage scrolled = f.screen.Snapshot();
    // After the worker stops nothing holds the locks: the repaint must run.
    ASSERT_TRUE(f.screen.TryRepaint());
    EXPECT_TRUE(SamePicture(scrolled, f.screen.Snapshot()));
    RecordProperty("repaints_run", repaints);
}

}  // namespace
