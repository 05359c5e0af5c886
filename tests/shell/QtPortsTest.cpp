#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include "QtApplicationControl.h"
#include "QtIndicatorLamp.h"
#include "QtMessageBoxService.h"
#include "ShellTestSupport.h"

using namespace rollmode;
using shell::QtApplicationControl;
using shell::QtIndicatorLamp;
using shell::QtMessageBoxService;

namespace {

// Runs `action` on the next message box that opens; gives up after about two seconds.
void WhenBoxShown(std::function<void(QMessageBox*)> action, int triesLeft = 200) {
    QTimer::singleShot(10, [action = std::move(action), triesLeft]() mutable {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            action(box);
        } else if (triesLeft > 0) {
            WhenBoxShown(std::move(action), triesLeft - 1);
        }
    });
}

void PressWhenShown(const QString& buttonText, bool& pressed) {
    pressed = false;
    WhenBoxShown([buttonText, &pressed](QMessageBox* box) {
        for (QAbstractButton* button : box->buttons()) {
            if (button->text().remove('&') == buttonText) {
                pressed = true;
                button->click();
            }
        }
    });
}

}  // namespace

TEST(QtMessageBoxService, ReturnsTheButtonPressed) {
    QtMessageBoxService service;
    bool pressed = false;
    PressWhenShown("No", pressed);
    EXPECT_EQ(service.Show("Exit program?", core::MsgButtons::YesNo, core::MsgIcon::Confirmation),
              core::MsgResult::No);
    EXPECT_TRUE(pressed);
    PressWhenShown("Yes", pressed);
    EXPECT_EQ(service.Show("Exit program?", core::MsgButtons::YesNoCancel, core::MsgIcon::Confirmation),
              core::MsgResult::Yes);
    EXPECT_TRUE(pressed);
    PressWhenShown("Cancel", pressed);
    EXPECT_EQ(service.Show("Continue?", core::MsgButtons::OkCancel, core::MsgIcon::Warning),
              core::MsgResult::Cancel);
    EXPECT_TRUE(pressed);
    PressWhenShown("OK", pressed);
    EXPECT_EQ(service.Show("Device in use by another application", core::MsgButtons::Ok, core::MsgIcon::Error),
              core::MsgResult::Ok);
    EXPECT_TRUE(pressed);
}

// A record file named like markup is shown as written: no link, no picture, no hidden text.
TEST(QtMessageBoxService, TextIsShownAsWrittenNeverAsMarkup) {
    QtMessageBoxService service;
    const std::string text = "Cannot create file <a href=\"file:///etc\">x</a><img src=\"/dev/zero\">";
    Qt::TextFormat shownAs = Qt::RichText;
    QString shownText;
    WhenBoxShown([&](QMessageBox* box) {
        for (QLabel* label : box->findChildren<QLabel*>()) {
            if (label->text() != QString::fromStdString(text)) continue;
            shownAs = label->textFormat();
            shownText = label->text();
        }
        box->accept();
    });
    service.Show(text, core::MsgButtons::Ok, core::MsgIcon::Error);
    EXPECT_EQ(shownText.toStdString(), text);
    EXPECT_EQ(shownAs, Qt::PlainText);
}

TEST(QtApplicationControl, TerminationEndsAnOpenBoxAndIsRememberedForTheMainLoop) {
    QtApplicationControl control;
    QtMessageBoxService service;
    EXPECT_FALSE(control.TerminationRequested());
    // As when the core gives up during start-up while a retry box is open.
    bool boxShown = false;
    WhenBoxShown([&control, &boxShown](QMessageBox*) {
        boxShown = true;
        control.RequestTerminate();
    });
    EXPECT_EQ(service.Show("Device not present. Retry?", core::MsgButtons::YesNo, core::MsgIcon::Confirmation),
              core::MsgResult::No);
    EXPECT_TRUE(boxShown);
    EXPECT_TRUE(control.TerminationRequested());
    DrainTermination();
}

TEST(QtApplicationControl, RequestBeforeTheLoopEndsTheLoopAtOnce) {
    QtApplicationControl control;
    control.RequestTerminate();
    bool watchdogFired = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&watchdogFired] {
        watchdogFired = true;
        QApplication::exit(1);
    });
    watchdog.start(3000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(watchdogFired);
}

TEST(QtIndicatorLamp, StatesPaintRedYellowGreen) {
    EXPECT_EQ(QtIndicatorLamp::ColorFor(0), QColor(255, 0, 0));
    EXPECT_EQ(QtIndicatorLamp::ColorFor(1), QColor(255, 255, 0));
    EXPECT_EQ(QtIndicatorLamp::ColorFor(2), QColor(0, 128, 0));
    EXPECT_EQ(QtIndicatorLamp::ColorFor(7), QColor(255, 0, 0));

    QtIndicatorLamp lamp;
    lamp.show();
    EXPECT_EQ(lamp.size(), QSize(15, 12));
    std::thread worker([&lamp] { lamp.SetState(2); });
    worker.join();
    EXPECT_EQ(lamp.State(), 2);
    QApplication::processEvents();
    EXPECT_EQ(lamp.grab().toImage().pixelColor(7, 6), QColor(0, 128, 0));
    lamp.SetState(1);
    QApplication::processEvents();
    EXPECT_EQ(lamp.grab().toImage().pixelColor(7, 6), QColor(255, 255, 0));
}
