// The count of lost-data marks on the main window: blank while nothing was lost, the count
// once the processing thread finds marks, and nothing else on the window moves for it.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <optional>
#include <thread>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTest>

#include "DemoWindow.h"
#include "LostDataLabel.h"
#include "MainFormComponents.h"
#include "MainScreen.h"
#include "QtApplicationControl.h"
#include "ResourceStringsLyraRM.h"
#include "VirtualDriverLyraRM.h"
#include "VirtualScopeLyraRM.h"
#include "ports/MessageBoxService.h"

using namespace rollmode;

namespace {

template <class Pred>
bool ProcessUntil(Pred done, int ms = 3000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Every widget of the window by address, with its place in window coordinates.
std::map<const QWidget*, QRect> Geometries(const QWidget& window) {
    std::map<const QWidget*, QRect> places;
    for (const QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&window)) continue;
        places[w] = QRect(w->mapTo(&window, QPoint(0, 0)), w->size());
    }
    return places;
}

class LostData : public shelltest::ShownDemoWindow {
protected:
    void SetUp() override {
        ShownDemoWindow::SetUp();
        label = form->findChild<display::TLostDataLabel*>("LostDataLabel");
        ASSERT_NE(label, nullptr);
    }
    core::TVirtualScopeLyraRM& Scope() { return components->VirtualScopeLyraRM1(); }

    display::TLostDataLabel* label = nullptr;
};

TEST_F(LostData, TheCountAppearsFromTheProcessingThreadAndNothingMoves) {
    EXPECT_EQ(Scope().LostDataLabel(), label);
    EXPECT_TRUE(label->text().isEmpty());
    EXPECT_EQ(label->toolTip().toStdString(), strings::kHintDataLost);
    const auto before = Geometries(*form);

    // Marks counted on another thread reach the label through the event loop.
    std::thread([this] { Scope().AddLostDataMarks(3); }).join();
    ASSERT_TRUE(ProcessUntil([&] { return label->Marks() == 3; }));
    EXPECT_EQ(label->text(), QString::fromUtf8("Data lost: 3\u00d7"));
    QApplication::processEvents();
    EXPECT_EQ(Geometries(*form), before);

    // A burst of marks, one at a time: the last count shows, however the posts collapsed.
    std::thread([this] {
        for (int i = 0; i < 10000; ++i) Scope().AddLostDataMarks(1);
    }).join();
    ASSERT_TRUE(ProcessUntil([&] { return label->Marks() == 10003; }));
    EXPECT_EQ(label->text(), QString::fromUtf8("Data lost: 10003\u00d7"));
    EXPECT_EQ(Geometries(*form), before);

    Scope().SetLostDataMarks(0);
    ASSERT_TRUE(ProcessUntil([&] { return label->text().isEmpty(); }));
}

TEST_F(LostData, TheLabelStaysInsideItsPanelAndClearOfItsNeighbours) {
    for (const QSize size : {QSize(800, 600), QSize(824, 600), QSize(1600, 900)}) {
        form->resize(size);
        form->FormResize();
        QWidget* panel = label->parentWidget();
        ASSERT_EQ(panel, form->InfoPanelB());
        EXPECT_TRUE(panel->contentsRect().contains(label->geometry())) << size.width();
        for (const QWidget* sibling : panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (sibling == label) continue;
            EXPECT_FALSE(sibling->geometry().intersects(label->geometry())) << size.width();
        }
        // A large count still fits the label's fixed width.
        label->SetMainValue(99999.0);
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width()) << size.width();
    }
}

TEST(LostDataText, BlankForNoneAndTheCountOtherwise) {
    EXPECT_EQ(display::LostDataText(0), "");
    EXPECT_EQ(display::LostDataText(1), "Data lost: 1\xD7");
    EXPECT_EQ(display::LostDataText(18446744073709551615ull), "Data lost: 18446744073709551615\xD7");
    display::TLostDataLabel label;
    label.SetMainValue(5.0);
    EXPECT_EQ(label.Marks(), 5u);
    for (const double nonsense : {-1.0, std::nan(""), 1e300 * 1e300}) {
        label.SetMainValue(nonsense);
        EXPECT_TRUE(label.text().isEmpty()) << nonsense;
    }
}

}  // namespace
