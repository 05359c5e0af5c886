#include <QApplication>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "SafeLabel.h"
#include "UnitValueLabel.h"
#include "VirtualScopeLyraRM.h"

namespace rollmode::display {
namespace {

void Enter(QWidget& w) {
    QEnterEvent event(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(&w, &event);
}

void Leave(QWidget& w) {
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(&w, &event);
}

// A millivolt label alone on the screen, as the live voltages are.
bool ShowMillivoltLabel(TUnitValueLabel& label) {
    label.SetControlType(kUnitMillivolts);
    label.resize(80, 16);
    label.show();
    return QTest::qWaitForWindowExposed(&label);
}

TEST(SafeLabel, HoveredSensitiveLabelKeepsItsReadingInBold) {
    TSafeLabel label;
    label.resize(80, 16);
    label.SetMouseSensitive(true);
    label.SetMyString("1.5V");
    const QImage regular = label.Snapshot();

    Enter(label);
    EXPECT_TRUE(label.Hovered());
    const QImage bold = label.Snapshot();
    EXPECT_NE(bold, regular);

    label.SetMyString("2V");
    EXPECT_EQ(label.MyString(), "1.5V");
    EXPECT_TRUE(label.UpdatePending());

    // After the pointer leaves, the old reading stays bold until a new value comes.
    Leave(label);
    EXPECT_FALSE(label.Hovered());
    EXPECT_EQ(label.MyString(), "1.5V");
    EXPECT_EQ(label.Snapshot(), bold);

    label.SetMyString("1.5V");
    EXPECT_FALSE(label.UpdatePending());
    EXPECT_EQ(label.Snapshot(), regular);
}

TEST(SafeLabel, InsensitiveLabelIgnoresThePointer) {
    TSafeLabel label;
    label.resize(80, 16);
    label.SetMyString("a");
    Enter(label);
    EXPECT_FALSE(label.Hovered());
    label.SetMyString("b");
    EXPECT_EQ(label.MyString(), "b");
    EXPECT_FALSE(label.UpdatePending());
}

TEST(SafeLabel, TextFromAWorkerReachesTheScreen) {
    TUnitValueLabel label;
    ASSERT_TRUE(ShowMillivoltLabel(label));

    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i <= 20000; ++i) label.SetMainValue(i);
        done = true;
    });
    // The GUI thread keeps painting while the worker writes.
    int paints = 0;
    while (!done.load()) {
        (void)label.grab();
        QCoreApplication::processEvents();
        ++paints;
    }
    worker.join();
    EXPECT_GT(paints, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return label.MyString() == "20V"; }, 1000)) << label.MyString().toStdString();

    QCoreApplication::processEvents();
    EXPECT_EQ(label.grab().toImage().convertToFormat(QImage::Format_RGB32), label.Snapshot());
}

// Records the text a label shows at each of its paints.
class PaintLog final : public QObject {
public:
    explicit PaintLog(TSafeLabel& label) : label_(label) { label.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) shown.push_back(label_.MyString());
        return false;
    }
    std::vector<QString> shown;

private:
    TSafeLabel& label_;
};

// A text that changes with every block is drawn once per paint, and paints come at most
// once an interval; the last text is always the one left on the screen.
TEST(SafeLabel, TextsFasterThanTheIntervalArePaintedAtItsPaceAndTheLastStays) {
    TUnitValueLabel label;
    ASSERT_TRUE(ShowMillivoltLabel(label));
    QCoreApplication::processEvents();
    PaintLog log(label);

    constexpr int kMs = 6 * TSafeLabel::kMinRepaintIntervalMs;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        QElapsedTimer t;
        t.start();
        for (int i = 1; t.elapsed() < kMs; ++i) {
            label.SetMainValue(i);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        label.SetMainValue(-1);
        done = true;
    });
    QElapsedTimer t;
    t.start();
    while (!done.load()) QCoreApplication::processEvents();
    worker.join();
    const qint64 elapsed = t.elapsed();
    QTest::qWait(3 * TSafeLabel::kMinRepaintIntervalMs);

    ASSERT_FALSE(log.shown.empty());
    EXPECT_LE(static_cast<qint64>(log.shown.size()), elapsed / TSafeLabel::kMinRepaintIntervalMs + 2)
        << "texts changed about every 0.2 ms";
    EXPECT_EQ(log.shown.back(), "-1mV");
    EXPECT_EQ(label.grab().toImage().convertToFormat(QImage::Format_RGB32), label.Snapshot());
}

// Counts the paint passes of a window.
class PassCounter final : public QObject {
public:
    explicit PassCounter(QWidget& window) { window.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::UpdateRequest) ++passes;
        return false;
    }
    int passes = 0;
};

// Labels that change together (the file size and the voltages, block after block) share
// one pace: they come to the window in the same paint pass, not in one pass each.
TEST(SafeLabel, LabelsChangingTogetherArePaintedInOnePass) {
    QWidget window;
    window.resize(200, 40);
    TUnitValueLabel first(&window), second(&window);
    first.SetControlType(kUnitMillivolts);
    second.SetControlType(kUnitMillivolts);
    first.setGeometry(0, 0, 90, 16);
    second.setGeometry(100, 0, 90, 16);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();
    PaintLog firstLog(first), secondLog(second);
    PassCounter counter(window);

    std::atomic<bool> done{false};
    std::thread worker([&] {
        QElapsedTimer t;
        t.start();
        // The second starts half an interval later: paced each on its own, the two would
        // paint in turns.
        for (int i = 1; t.elapsed() < 6 * TSafeLabel::kMinRepaintIntervalMs; ++i) {
            first.SetMainValue(i);
            if (t.elapsed() >= TSafeLabel::kMinRepaintIntervalMs / 2) second.SetMainValue(-i);
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
        done = true;
    });
    while (!done.load()) QCoreApplication::processEvents();
    worker.join();
    QTest::qWait(3 * TSafeLabel::kMinRepaintIntervalMs);

    ASSERT_GE(firstLog.shown.size(), 3u);
    ASSERT_GE(secondLog.shown.size(), 3u);
    EXPECT_LE(counter.passes, static_cast<int>(std::max(firstLog.shown.size(), secondLog.shown.size())) + 1)
        << firstLog.shown.size() << " and " << secondLog.shown.size() << " paints";
    EXPECT_EQ(firstLog.shown.back(), first.MyString());
    EXPECT_EQ(secondLog.shown.back(), second.MyString());
}

// A worker only stores its value (the file size grows with every block): the text follows
// on the user-interface thread at the clock's next tick, with the last value stored.
TEST(UnitValueLabel, AWorkersValueIsFormattedOnTheUserInterfaceThread) {
    TUnitValueLabel label;
    label.SetControlType(kUnitBytes);
    label.SetMainValue(1536);
    ASSERT_EQ(label.MyString(), "1.5 KB");
    std::thread([&] {
        label.SetMainValue(2048);
        label.SetMainValue(3 * 1024 * 1024);
    }).join();
    EXPECT_EQ(label.MyString(), "1.5 KB");
    EXPECT_DOUBLE_EQ(label.MainValue(), 3 * 1024 * 1024);
    EXPECT_TRUE(QTest::qWaitFor([&] { return label.MyString() == "3 MB"; }, 1000)) << label.MyString().toStdString();
    // A setter on the user-interface thread still formats at once.
    label.SetMainValue(1536);
    EXPECT_EQ(label.MyString(), "1.5 KB");
}

TEST(UnitValueLabel, EverySetterReformats) {
    TUnitValueLabel label;
    label.SetControlType(kUnitBytes);
    label.SetMainValue(1536);
    EXPECT_EQ(label.MyString(), "1.5 KB");
    label.SetControlType(kUnitPlainNumber);
    EXPECT_EQ(label.MyString(), "1.536k");
    label.SetValueInValid(true);
    EXPECT_EQ(label.MyString(), "N/A");
    label.SetValueInValid(false);
    EXPECT_EQ(label.MyString(), "1.536k");
}

TEST(UnitValueLabel, TheModelDrivesItAsAValueSink) {
    core::TVirtualScopeLyraRM scope;
    TUnitValueLabel size;
    size.SetControlType(kUnitBytes);
    TUnitValueLabel voltageA;
    voltageA.SetControlType(kUnitMillivolts);
    voltageA.SetMouseSensitive(true);
    scope.SetFileSizeLabel(&size);
    scope.SetActualVoltageA(&voltageA);
    scope.SetSourceProbeA(1);
    scope.SetDensityChannelA(7);
    scope.SetZeroChannelA(100);

    scope.SetFileSize(1048576);
    EXPECT_EQ(size.MyString(), "1 MB");

    scope.SetActualVoltage(static_cast<uint16_t>(0x0100 | 100));  // A at its zero line
    EXPECT_EQ(voltageA.MyString(), "0mV");

    Enter(voltageA);
    scope.SetActualVoltage(static_cast<uint16_t>(0x0100 | 200));
    EXPECT_EQ(voltageA.MyString(), "0mV");
    EXPECT_NE(voltageA.MainValue(), 0.0);
    Leave(voltageA);
    scope.SetActualVoltage(static_cast<uint16_t>(0x0100 | 200));
    EXPECT_NE(voltageA.MyString(), "0mV");
}

}  // namespace
}  // namespace rollmode::display
