#include "MainMenu.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include <QAction>
#include <QColorDialog>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "AboutScreen.h"
#include "ChannelIndicationButtonLyra.h"
#include "DemoSetupScreen.h"
#include "MainFormComponents.h"
#include "MainScreen.h"
#include "MenuTestSupport.h"
#include "NumEditLyra.h"
#include "QtApplicationControl.h"
#include "SetColorScreen.h"
#include "VirtualDriverLyraRM.h"
#include "VirtualScopeLyraRM.h"

using namespace rollmode;
using core::MsgResult;
using Seen = std::vector<std::pair<int, int>>;

namespace {

// The program as it runs in demo mode (no driver library), with the menu's desktop
// and dialogs answered by the test.
class MainMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        components = std::make_unique<shell::MainFormComponents>(form, boxes, control);
        components->VirtualDriverLyraRM1().SetLibraryName("NoSuchDriverLibrary.dll");
        components->InitializeApplication();  // "Continue?" in demo mode: Yes
        boxes.texts.clear();
        boxes.buttonSets.clear();
        recorder = std::make_unique<NotificationRecorder>(Scope());
        Menu().SetUrlOpener([this](const QUrl& url) { opened.push_back(url); });
        Menu().SetDialogRunner([this](QDialog& dialog) {
            ++dialogsRun;
            return answerDialog ? answerDialog(dialog) : int(QDialog::Rejected);
        });
    }
    void TearDown() override {
        recorder.reset();
        form.FormClose();
        components.reset();
    }

    core::TVirtualScopeLyraRM& Scope() { return components->VirtualScopeLyraRM1(); }
    shell::TMainMenu& Menu() { return components->MainMenu1(); }
    QAction* Item(const char* name) {
        QAction* item = Menu().Item(name);
        EXPECT_NE(item, nullptr) << name;
        return item;
    }

    ScriptedBoxes boxes;
    shell::QtApplicationControl control;
    shell::TMainForm form{&control};
    std::unique_ptr<shell::MainFormComponents> components;
    std::unique_ptr<NotificationRecorder> recorder;
    std::vector<QUrl> opened;
    std::function<int(QDialog&)> answerDialog;
    int dialogsRun = 0;
};

QStringList Captions(const QMenu* menu) {
    QStringList captions;
    for (const QAction* action : menu->actions()) {
        captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return captions;
}

}  // namespace

TEST_F(MainMenuTest, ThreeMenusWithEveryItemAndSeparator) {
    QMenuBar* bar = form.menuBar();
    ASSERT_EQ(bar, Menu().MenuBar());
    const QList<QAction*> menus = bar->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), "&File");
    EXPECT_EQ(menus[1]->text(), "&Settings");
    EXPECT_EQ(menus[2]->text(), "&Help");
    EXPECT_EQ(Captions(menus[0]->menu()), QStringList({"Viewer", "-", "E&xit"}));
    EXPECT_EQ(Captions(menus[1]->menu()),
              QStringList({"Restore defaults", "Load saved", "Save settings", "-", "Demo setup", "Color setup",
                           "Tool tip help", "High priority"}));
    EXPECT_EQ(Captions(menus[2]->menu()),
              QStringList({"Index", "-", "Vanto web", "Support", "-", "About"}));
    EXPECT_TRUE(Item("ToolTipHelp1")->isCheckable());
    EXPECT_TRUE(Item("ThreadpriorityBoosted1")->isCheckable());
    EXPECT_FALSE(Item("Exit1")->isCheckable());
    // The menu bar sits above the client area the panels are laid out in.
    form.show();
    QCoreApplication::processEvents();
    EXPECT_GT(bar->height(), 0);
    EXPECT_GE(form.ClientArea()->y(), bar->height());
    EXPECT_EQ(form.ClientArea()->height(), form.height() - form.ClientArea()->y());
}

TEST_F(MainMenuTest, ExitAsksAndOnlyYesCloses) {
    boxes.answers = {MsgResult::No};
    Item("Exit1")->trigger();
    ASSERT_EQ(boxes.texts, std::vector<std::string>({"Exit program?"}));
    EXPECT_EQ(boxes.buttonSets[0], core::MsgButtons::YesNo);
    EXPECT_FALSE(form.ShutdownDone());
    EXPECT_TRUE(recorder->seen.empty());

    boxes.answers = {MsgResult::Yes};
    Item("Exit1")->trigger();
    EXPECT_TRUE(form.ShutdownDone());
    // The shutdown's own notifications: settings saved and every listener told to go.
    ASSERT_FALSE(recorder->seen.empty());
    EXPECT_EQ(recorder->seen.back().first, 3);
}

TEST_F(MainMenuTest, RestoreDefaultsAsksAndCancelSendsNothing) {
    boxes.answers = {MsgResult::Cancel};
    Item("Restoredefaults1")->trigger();
    ASSERT_EQ(boxes.texts, std::vector<std::string>({"Current settings will be lost. Continue?"}));
    EXPECT_EQ(boxes.buttonSets[0], core::MsgButtons::OkCancel);
    EXPECT_TRUE(recorder->seen.empty());

    boxes.answers = {MsgResult::Ok};
    Item("Restoredefaults1")->trigger();
    EXPECT_EQ(recorder->seen, Seen({{15, 13}, {2, 13}}));
}

TEST_F(MainMenuTest, LoadAndSaveSendTheirCodes) {
    Item("Savesettings1")->trigger();
    EXPECT_EQ(recorder->seen, Seen({{8, 13}}));
    recorder->seen.clear();
    Item("Loadsettings1")->trigger();
    EXPECT_EQ(recorder->seen, Seen({{9, 13}, {2, 13}}));
    EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(MainMenuTest, CheckMarksFollowTheModelAfterLoadSaved) {
    // What a settings file could hold: the opposite of the present options.
    const bool help = Scope().ShowComixHelp();
    const bool boost = Scope().BoostThread();
    recorder->onNotification = [&](int code) {
        if (code == 9) {
            Scope().SetShowComixHelp(!help);
            Scope().SetBoostThread(!boost);
        }
    };
    Item("Loadsettings1")->trigger();
    EXPECT_EQ(Item("ToolTipHelp1")->isChecked(), !help);
    EXPECT_EQ(Item("ThreadpriorityBoosted1")->isChecked(), !boost);
    EXPECT_EQ(form.HintsEnabled(), !help);
}

TEST_F(MainMenuTest, ToolTipHelpTogglesTheModelAndItsMark) {
    for (int round = 0; round < 2; ++round) {
        const bool before = Scope().ShowComixHelp();
        recorder->seen.clear();
        Item("ToolTipHelp1")->trigger();
        EXPECT_EQ(Scope().ShowComixHelp(), !before);
        EXPECT_EQ(Item("ToolTipHelp1")->isChecked(), !before);
        EXPECT_EQ(form.HintsEnabled(), !before);
        EXPECT_EQ(recorder->seen, Seen({{2, 13}}));
    }
}

TEST_F(MainMenuTest, HighPriorityTogglesTheModelAndItsMark) {
    for (int round = 0; round < 2; ++round) {
        const bool before = Scope().BoostThread();
        recorder->seen.clear();
        Item("ThreadpriorityBoosted1")->trigger();
        EXPECT_EQ(Scope().BoostThread(), !before);
        EXPECT_EQ(Item("ThreadpriorityBoosted1")->isChecked(), !before);
        EXPECT_EQ(recorder->seen, Seen({{2, 13}}));
    }
}

TEST_F(MainMenuTest, DesktopTargetsAndTheShippedHelpPage) {
    EXPECT_EQ(QDir(Menu().ProgramFolder()), QDir(QCoreApplication::applicationDirPath()));
    Item("Index1")->trigger();
    Item("VantoWeb1")->trigger();
    Item("Support1")->trigger();
    ASSERT_EQ(opened.size(), 3u);
    ASSERT_TRUE(opened[0].isLocalFile());
    EXPECT_TRUE(opened[0].toLocalFile().endsWith("/Help/help.htm"));
    EXPECT_EQ(opened[1].scheme(), "https");
    EXPECT_EQ(opened[2].scheme(), "mailto");
    EXPECT_EQ(opened[2].path(), "support@vanto.example");
    EXPECT_TRUE(boxes.texts.empty());  // a desktop that fails is not reported
    EXPECT_TRUE(recorder->seen.empty());

    // The page the Index item opens is there beside the program and says what it should.
    QFile page(opened[0].toLocalFile());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(page.readAll());
    for (const char* topic : {"Recording a measurement", "What the record file holds", "rollmode-sim", "Trigger",
                              "Demo setup"}) {
        EXPECT_TRUE(text.contains(QLatin1String(topic))) << topic;
    }
}

TEST_F(MainMenuTest, ViewerStartsBesideTheProgramWithTheRecordFile) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    Menu().SetProgramFolder(folder.path());
    // Missing: nothing happens and nothing is said.
    Item("Viewer1")->trigger();
    EXPECT_TRUE(boxes.texts.empty());
    EXPECT_TRUE(opened.empty());

    // A stand-in viewer that writes down the argument it was started with.
    const QString started = folder.filePath("started");
    QFile viewer(folder.filePath("PreviewLyraRM"));
    ASSERT_TRUE(viewer.open(QIODevice::WriteOnly));
    viewer.write("#!/bin/sh\nprintf '%s' \"$1\" > \"$0.tmp\" && mv \"$0.tmp\" \"$(dirname \"$0\")/started\"\n");
    viewer.close();
    viewer.setPermissions(viewer.permissions() | QFileDevice::ExeOwner);
    Item("Viewer1")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(started); }, 5000));
    QFile argument(started);
    ASSERT_TRUE(argument.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromLocal8Bit(argument.readAll()),
              QFileInfo(QString::fromStdString(Scope().RecordFileName())).absoluteFilePath());
    EXPECT_FALSE(Scope().RecordFileName().empty());
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(MainMenuTest, ColorSetupWritesTheModelOnlyAfterOk) {
    Scope().SetGridBrightness(50);
    Scope().SetColorGrid(0x00808080);
    const uint32_t a = Scope().ColorChannelA();
    const uint32_t b = Scope().ColorChannelB();
    const uint32_t background = Scope().BackgroundColor();

    // A new grid colour picked, then Cancel.
    answerDialog = [](QDialog& dialog) {
        auto& colors = dynamic_cast<display::TSetColorForm&>(dialog);
        EXPECT_EQ(dialog.windowTitle(), "Color settings");
        EXPECT_EQ(colors.ColorGrid(), 0x00808080u);
        colors.SetPickerRunner([](QColorDialog& picker) {
            picker.setCurrentColor(QColor(0, 0, 200));  // 0x00C80000 as the model has it
            picker.accept();
            return picker.result();
        });
        colors.ButtonSetColorGrid()->click();
        EXPECT_EQ(colors.ColorGrid(), 0x00C80000u);
        colors.ButtonCancel()->click();
        return dialog.result();
    };
    Item("Colorsetup1")->trigger();
    EXPECT_EQ(dialogsRun, 1);
    EXPECT_EQ(Scope().ColorGrid(), 0x00808080u);
    EXPECT_TRUE(recorder->seen.empty());

    // The same with OK.
    answerDialog = [](QDialog& dialog) {
        auto& colors = dynamic_cast<display::TSetColorForm&>(dialog);
        colors.SetPickerRunner([](QColorDialog& picker) {
            picker.setCurrentColor(QColor(0, 0, 200));
            picker.accept();
            return picker.result();
        });
        colors.ButtonSetColorGrid()->click();
        colors.ButtonOK()->click();
        return dialog.result();
    };
    Item("Colorsetup1")->trigger();
    EXPECT_EQ(Scope().ColorGrid(), 0x00C80000u);
    EXPECT_EQ(Scope().RealGridColor(), core::TVirtualScopeLyraRM::ScaleColor(0x00C80000u, 0.5));
    EXPECT_EQ(Scope().ColorChannelA(), a);
    EXPECT_EQ(Scope().ColorChannelB(), b);
    EXPECT_EQ(Scope().BackgroundColor(), background);
    EXPECT_EQ(recorder->seen, Seen({{2, 14}}));
}

TEST_F(MainMenuTest, DemoSetupStoresRoundedValuesOnOkAndNothingOnCancel) {
    Scope().SetPeriodA(100);
    answerDialog = [](QDialog& dialog) {
        auto& demo = dynamic_cast<shell::TDemoSetupForm&>(dialog);
        EXPECT_EQ(demo.Edit("PeriodChannelA")->text(), "100");
        demo.Edit("PeriodChannelA")->setText("250.5");
        demo.ButtonCancel()->click();
        return dialog.result();
    };
    Item("DemoSettings1")->trigger();
    EXPECT_EQ(Scope().PeriodA(), 100);
    EXPECT_TRUE(recorder->seen.empty());

    answerDialog = [](QDialog& dialog) {
        auto& demo = dynamic_cast<shell::TDemoSetupForm&>(dialog);
        demo.Edit("PeriodChannelA")->setText("250.5");
        demo.Edit("PeriodChannelB")->setText("251.5");
        demo.Edit("AmpChannelA")->setText("300");
        demo.Edit("AmpChannelB")->setText("0.5");
        demo.Edit("NoiseChannelA")->setText("1.5");
        demo.Edit("NoiseChannelB")->setText("7");
        demo.ButtonOK()->click();
        return dialog.result();
    };
    Item("DemoSettings1")->trigger();
    EXPECT_EQ(Scope().PeriodA(), 250);
    EXPECT_EQ(Scope().PeriodB(), 252);
    EXPECT_EQ(Scope().AmplitudeA(), 300);
    EXPECT_EQ(Scope().AmplitudeB(), 0);
    EXPECT_EQ(Scope().NoiseA(), 2);
    EXPECT_EQ(Scope().NoiseB(), 7);
    EXPECT_EQ(recorder->seen, Seen({{2, 255}}));
}

TEST_F(MainMenuTest, AboutShowsVersionAndTheDriversTexts) {
    answerDialog = [this](QDialog& dialog) {
        auto& about = dynamic_cast<shell::TAboutForm&>(dialog);
        EXPECT_EQ(dialog.windowTitle(), "About");
        EXPECT_EQ(about.Label("DeviceObtainedVersionLabel")->text(),
                  QString::fromStdString(shell::VersionToString(shell::CompiledVersion())));
        // No device: the driver's texts as they stand.
        EXPECT_EQ(about.Label("USBObtainedVersionLabel")->text().toStdString(),
                  components->VirtualDriverLyraRM1().USBDriverVersion());
        EXPECT_EQ(about.Label("DeviceSerialNumberLabel")->text().toStdString(),
                  components->VirtualDriverLyraRM1().DeviceSerialNumber());
        about.CompanySiteClick();
        about.DialogOK()->click();
        return dialog.result();
    };
    components->VirtualDriverLyraRM1().SetDeviceSerialNumber("20261207");
    Item("About1")->trigger();
    EXPECT_EQ(dialogsRun, 1);
    ASSERT_EQ(opened.size(), 1u);  // the About dialog's links use the menu's desktop
    EXPECT_EQ(opened[0].scheme(), "https");
    EXPECT_TRUE(recorder->seen.empty());

    // A program keeping its files in the user's data folder names it there; one beside its
    // files (the default) does not.
    QString shownFolder = "(none)";
    answerDialog = [&shownFolder](QDialog& dialog) {
        const QLabel* folder = dynamic_cast<shell::TAboutForm&>(dialog).Label("UserFolderLabel");
        shownFolder = folder ? folder->toolTip() : QString();
        return int(QDialog::Accepted);
    };
    Item("About1")->trigger();
    EXPECT_TRUE(shownFolder.isEmpty());
    Menu().SetUserFolder("/home/someone/.local/share/corvo-rollmode");
    Item("About1")->trigger();
    EXPECT_EQ(shownFolder, "/home/someone/.local/share/corvo-rollmode");
}
