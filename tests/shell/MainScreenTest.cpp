#include "MainScreen.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QToolButton>
#include <QToolTip>

#include "QtApplicationControl.h"
#include "ShellTestSupport.h"

using rollmode::shell::BuildMainCaption;
using rollmode::shell::MainFormCore;
using rollmode::shell::QtApplicationControl;
using rollmode::shell::TMainForm;

namespace {

const char* const kDemoCaption = "RollMode PeltaX      <-RUNNING IN DEMO MODE->";

// A scripted core: the values the caption handler reads and a log of what it asks.
struct FakeCore {
    bool demo = false;
    int modelIndex = 3;
    bool help = true;
    bool boost = true;
    int reads = 0;
    int unregisters = 0;
    int shutdowns = 0;
    std::vector<std::pair<int, int>> notifications;

    MainFormCore Hooks() {
        MainFormCore core;
        core.demoMode = [this] { ++reads; return demo; };
        core.deviceModelIndex = [this] { return modelIndex; };
        core.showComixHelp = [this] { return help; };
        core.boostThread = [this] { return boost; };
        core.notifyListeners = [this](int code, int group) { notifications.emplace_back(code, group); };
        core.unregisterListener = [this] { ++unregisters; };
        core.shutdownApplication = [this] { ++shutdowns; };
        return core;
    }
};

// Counts caption changes of a window.
class TitleChangeCounter : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::WindowTitleChange) ++count;
        return false;
    }
};

void Notify(TMainForm& form, int code) {
    int group = 255;
    form.HandleNotification(code, group);
}

QRect Geometry(const TMainForm& form, const char* name) {
    const auto* widget = form.findChild<QWidget*>(QString::fromLatin1(name));
    return widget != nullptr ? widget->geometry() : QRect();
}

}  // namespace

TEST(MainCaption, DeviceModelDigitsAndDemoText) {
    EXPECT_EQ(BuildMainCaption(false, 3), "RollMode Pelta4");
    EXPECT_EQ(BuildMainCaption(false, 0), "RollMode Pelta1");
    EXPECT_EQ(BuildMainCaption(false, 5), "RollMode Pelta6");
    EXPECT_EQ(BuildMainCaption(true, 3), kDemoCaption);
    // A range table from a damaged device gives no digit rather than a read past the table.
    EXPECT_EQ(BuildMainCaption(false, 6), "RollMode Pelta");
    EXPECT_EQ(BuildMainCaption(false, -1), "RollMode Pelta");
}

TEST(MainForm, CaptionFollowsTheNotificationsAndIsNotResetWhenUnchanged) {
    TMainForm form;
    EXPECT_EQ(form.windowTitle(), "Roll Mode");
    FakeCore core;
    core.demo = true;
    form.AttachCore(core.Hooks());
    TitleChangeCounter counter;
    form.installEventFilter(&counter);

    Notify(form, 1);
    EXPECT_EQ(form.windowTitle(), kDemoCaption);
    EXPECT_EQ(counter.count, 1);
    Notify(form, 2);
    Notify(form, 5);
    EXPECT_EQ(counter.count, 1);

    core.demo = false;
    Notify(form, 2);
    EXPECT_EQ(form.windowTitle(), "RollMode Pelta4");
    EXPECT_EQ(counter.count, 2);
    form.removeEventFilter(&counter);
}

TEST(MainForm, HintsAndMenuChecksFollowTheModelOnCodesOneAndTwo) {
    TMainForm form;
    FakeCore core;
    form.AttachCore(core.Hooks());
    QAction toolTipHelp;
    toolTipHelp.setCheckable(true);
    QAction highPriority;
    highPriority.setCheckable(true);
    form.SetMenuCheckItems(&toolTipHelp, &highPriority);

    core.help = false;
    core.boost = true;
    Notify(form, 5);  // not a settings code: nothing changes
    EXPECT_TRUE(form.HintsEnabled());
    EXPECT_FALSE(toolTipHelp.isChecked());

    Notify(form, 1);
    EXPECT_FALSE(form.HintsEnabled());
    EXPECT_FALSE(toolTipHelp.isChecked());
    EXPECT_TRUE(highPriority.isChecked());

    core.help = true;
    core.boost = false;
    Notify(form, 2);
    EXPECT_TRUE(form.HintsEnabled());
    EXPECT_TRUE(toolTipHelp.isChecked());
    EXPECT_FALSE(highPriority.isChecked());
}

TEST(MainForm, ToolTipsAreSwallowedWhileHintsAreOff) {
    TMainForm form;
    FakeCore core;
    core.help = false;
    form.AttachCore(core.Hooks());
    form.show();
    Notify(form, 1);
    auto* button = form.findChild<QToolButton*>("ChannelAButton");
    ASSERT_NE(button, nullptr);
    QHelpEvent off(QEvent::ToolTip, QPoint(2, 2), button->mapToGlobal(QPoint(2, 2)));
    EXPECT_TRUE(QApplication::sendEvent(button, &off));  // eaten by the hint filter
    EXPECT_FALSE(QToolTip::isVisible());

    core.help = true;
    Notify(form, 2);
    QHelpEvent on(QEvent::ToolTip, QPoint(2, 2), button->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(button, &on);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), "Activate/deactivate channel A");
    QToolTip::hideText();
}

TEST(MainForm, ShutdownCodeDetachesTheCaptionHandler) {
    TMainForm form;
    FakeCore core;
    form.AttachCore(core.Hooks());
    Notify(form, 1);
    Notify(form, 3);
    EXPECT_EQ(core.unregisters, 1);
    EXPECT_FALSE(form.CoreAttached());

    // No longer reads the model; a resize no longer notifies.
    const int reads = core.reads;
    Notify(form, 2);
    EXPECT_EQ(core.reads, reads);
    form.resize(900, 650);
    form.FormResize();
    EXPECT_TRUE(core.notifications.empty());

    // The close that follows still runs the model's shutdown, once.
    form.close();
    form.FormClose();
    EXPECT_EQ(core.shutdowns, 1);
}

TEST(MainForm, ClosingRunsTheShutdownOnce) {
    TMainForm form;
    FakeCore core;
    form.AttachCore(core.Hooks());
    form.show();
    QCloseEvent first;
    QApplication::sendEvent(&form, &first);
    EXPECT_TRUE(first.isAccepted());
    QCloseEvent second;
    QApplication::sendEvent(&form, &second);
    EXPECT_EQ(core.shutdowns, 1);
    EXPECT_TRUE(form.ShutdownDone());
}

TEST(MainForm, PanelsAtTheirSizesAndCaptions) {
    TMainForm form;
    struct Expected {
        const char* name;
        const char* caption;
        int width;
        int height;
    };
    const Expected panels[] = {
        {"Channels", " Channels ", 86, 57},       {"Mode", " Mode ", 86, 90},
        {"SavePanel", " Save ", 121, 96},         {"TimeBasePanel", "  SMP          Time Base           DSP    ", 193, 96},
        {"RecordPanel", " Record ", 186, 96},     {"TriggerPanel", " Trigger ", 145, 96},
        {"ARMPanel", " ARM ", 145, 96},           {"Source", " Source ", 86, 93},
        {"Density", " Range ", 86, 71},           {"SweepPanel", " DSP/SMP ", 86, -1},
        {"VerticalShifts", "Vertical", 86, -1},
    };
    for (const Expected& e : panels) {
        QGroupBox* panel = form.Panel(QString::fromLatin1(e.name));
        ASSERT_NE(panel, nullptr) << e.name;
        EXPECT_EQ(panel->title(), QString::fromLatin1(e.caption)) << e.name;
        EXPECT_EQ(panel->width(), e.width) << e.name;
        if (e.height > 0) {
            EXPECT_EQ(panel->height(), e.height) << e.name;
        }
    }
    EXPECT_EQ(form.findChild<QToolButton*>("DisplayButton")->text(), "Display  ");
    EXPECT_EQ(form.findChild<QToolButton*>("RewButton")->toolTip(), "Display like cardiogram");
    EXPECT_EQ(form.findChild<QToolButton*>("ShiftDownBButton")->toolTip(), "Shift down trace B");
    EXPECT_EQ(form.InactiveDispLabel()->text(), "Display off");
    EXPECT_EQ(form.InactiveDispLabel()->font().pixelSize(), 21);
    EXPECT_EQ(form.InactiveDispLabel()->size(), QSize(84, 24));
}

TEST(MainForm, WindowLayoutAtInitialAndMinimumSize) {
    TMainForm form;
    FakeCore core;
    form.AttachCore(core.Hooks());
    // A child of the information panel, placed for its design width of 386.
    auto* value = new QLabel("0", form.InfoPanelA());
    value->setGeometry(300, 5, 60, 14);
    auto* screen = new QWidget(form.ScreenHost());

    form.show();
    QApplication::processEvents();
    EXPECT_EQ(form.minimumSize(), QSize(800, 600));
    ASSERT_EQ(form.ClientArea()->size(), QSize(824, 600));
    EXPECT_EQ(Geometry(form, "SavePanel"), QRect(17, 504, 121, 96));
    EXPECT_EQ(Geometry(form, "ARMPanel"), QRect(662, 504, 145, 96));
    EXPECT_EQ(Geometry(form, "InfoPanelB"), QRect(414, 0, 324, 57));
    EXPECT_EQ(form.ScreenHost()->geometry(), QRect(87, 57, 650, 447));
    EXPECT_EQ(screen->geometry(), QRect(0, 0, 650, 447));
    // Same distance from the panel's right edge as at design time.
    EXPECT_EQ(form.InfoPanelA()->width() - value->x(), 386 - 300);
    ASSERT_FALSE(core.notifications.empty());
    EXPECT_EQ(core.notifications.back(), std::make_pair(5, 13));

    form.resize(700, 500);  // below the minimum: held at 800 x 600
    QApplication::processEvents();
    ASSERT_EQ(form.ClientArea()->size(), QSize(800, 600));
    EXPECT_EQ(Geometry(form, "SavePanel"), QRect(5, 504, 121, 96));
    EXPECT_EQ(Geometry(form, "Source"), QRect(714, 0, 86, 93));
    EXPECT_EQ(Geometry(form, "GridButton"), QRect(0, 149, 86, 22));
    EXPECT_EQ(Geometry(form, "VerticalSlideA").height(), 340 - 54);
    EXPECT_EQ(form.InfoPanelA()->width() - value->x(), 86);
    EXPECT_EQ(form.InactiveDispLabel()->geometry(), QRect(87 + (626 - 84) / 2, 57 + (447 - 24) / 2, 84, 24));
}

TEST(MainForm, NoLayoutOnceTheProgramIsEnding) {
    QtApplicationControl control;
    TMainForm form(&control);
    FakeCore core;
    form.AttachCore(core.Hooks());
    form.show();
    QApplication::processEvents();
    const QRect before = Geometry(form, "SavePanel");
    core.notifications.clear();

    control.RequestTerminate();
    form.resize(1000, 700);
    QApplication::processEvents();
    EXPECT_EQ(Geometry(form, "SavePanel"), before);
    EXPECT_TRUE(core.notifications.empty());
    DrainTermination();
}
