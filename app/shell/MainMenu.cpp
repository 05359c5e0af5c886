#include "MainMenu.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>

#include "AboutScreen.h"
#include "DemoSetupScreen.h"
#include "MainScreen.h"
#include "NotificationCodes.h"
#include "ResourceStringsLyraRM.h"
#include "SetColorScreen.h"
#include "VirtualDriverLyraRM.h"
#include "VirtualScopeLyraRM.h"
#include "platform/ProgramPath.h"
#include "ports/MessageBoxService.h"

namespace rollmode::shell {

namespace {
QString Text(const char* text) { return QString::fromLatin1(text); }
}  // namespace

TMainMenu::TMainMenu(TMainForm& form, core::TVirtualScopeLyraRM& scope, core::TVirtualDriverLyraRM& driver,
                     core::MessageBoxService& messages)
    : form_(form),
      scope_(scope),
      driver_(driver),
      messages_(messages),
      opener_(DesktopUrlOpener()),
      dialogRunner_([](QDialog& dialog) { return dialog.exec(); }),
      programFolder_(QString::fromStdString(platform::ProgramDirectory().string())) {
    menuBar_ = new QMenuBar(&form);
    menuBar_->setObjectName("MainMenu1");

    QMenu* file = menuBar_->addMenu(Text(strings::kMenuFile));
    file->setObjectName("File1");
    AddItem(file, "Viewer1", strings::kMenuViewer, &TMainMenu::Viewer1Click);
    file->addSeparator();
    AddItem(file, "Exit1", strings::kMenuExit, &TMainMenu::Exit1Click);

    QMenu* settings = menuBar_->addMenu(Text(strings::kMenuSettings));
    settings->setObjectName("Settings1");
    AddItem(settings, "Restoredefaults1", strings::kMenuRestoreDefaults, &TMainMenu::Restoredefaults1Click);
    AddItem(settings, "Loadsettings1", strings::kMenuLoadSaved, &TMainMenu::Loadsettings1Click);
    AddItem(settings, "Savesettings1", strings::kMenuSaveSettings, &TMainMenu::Savesettings1Click);
    settings->addSeparator();
    AddItem(settings, "DemoSettings1", strings::kMenuDemoSetup, &TMainMenu::DemoSettings1Click);
    AddItem(settings, "Colorsetup1", strings::kMenuColorSetup, &TMainMenu::Colorsetup1Click);
    QAction* toolTip =
        AddItem(settings, "ToolTipHelp1", strings::kMenuToolTipHelp, &TMainMenu::ToolTipHelp1Click);
    QAction* priority = AddItem(settings, "ThreadpriorityBoosted1", strings::kMenuHighPriority,
                                &TMainMenu::ThreadpriorityBoosted1Click);
    // Check marks show the model's state; a click only asks for the change, the
    // handlers set the marks from the model.
    for (QAction* item : {toolTip, priority}) {
        item->setCheckable(true);
    }
    toolTip->setChecked(scope_.ShowComixHelp());
    priority->setChecked(scope_.BoostThread());

    QMenu* help = menuBar_->addMenu(Text(strings::kMenuHelp));
    help->setObjectName("Help1");
    AddItem(help, "Index1", strings::kMenuIndex, &TMainMenu::Index1Click);
    help->addSeparator();
    AddItem(help, "VantoWeb1", strings::kMenuVantoWeb, &TMainMenu::VantoWeb1Click);
    AddItem(help, "Support1", strings::kMenuSupport, &TMainMenu::Support1Click);
    help->addSeparator();
    AddItem(help, "About1", strings::kMenuAbout, &TMainMenu::About1Click);

    form.setMenuBar(menuBar_);
    form.SetMenuCheckItems(toolTip, priority);
}

TMainMenu::~TMainMenu() {
    // The bar stays with the window; its items no longer reach the model.
    form_.SetMenuCheckItems(nullptr, nullptr);
}

QAction* TMainMenu::AddItem(QMenu* menu, const char* objectName, const char* caption,
                            void (TMainMenu::*handler)()) {
    QAction* item = menu->addAction(Text(caption));
    item->setObjectName(QString::fromLatin1(objectName));
    connect(item, &QAction::triggered, this, handler);
    return item;
}

QAction* TMainMenu::Item(const char* objectName) const {
    return menuBar_->findChild<QAction*>(QString::fromLatin1(objectName));
}

void TMainMenu::Notify(int code, int group) { scope_.NotifyListeners(code, group); }

int TMainMenu::RunDialog(QDialog& dialog) { return dialogRunner_(dialog); }

void TMainMenu::Open(const QUrl& url) {
    if (opener_) opener_(url);
}

// --- File ---------------------------------------------------------------------------

void TMainMenu::Viewer1Click() {
    // The viewer is a program of its own beside this one, when installed; it opens the
    // record file this program writes. It runs on after this one ends. A viewer that is
    // missing or does not start is not reported.
    const QString viewer = QDir(programFolder_).filePath(Text(strings::kViewerProgram));
    if (!QFileInfo(viewer).isExecutable()) return;
    QStringList arguments;
    if (!scope_.RecordFileName().empty())
        arguments << QFileInfo(QString::fromStdString(scope_.RecordFileName())).absoluteFilePath();
    QProcess::startDetached(viewer, arguments);
}

void TMainMenu::Exit1Click() {
    if (messages_.Show(strings::kConfirmExit, core::MsgButtons::YesNo, core::MsgIcon::Confirmation) ==
        core::MsgResult::Yes) {
        form_.close();
    }
}

// --- Settings -----------------------------------------------------------------------

void TMainMenu::Restoredefaults1Click() {
    if (messages_.Show(strings::kConfirmRestoreDefaults, core::MsgButtons::OkCancel, core::MsgIcon::Confirmation) ==
        core::MsgResult::Cancel) {
        return;
    }
    Notify(core::kNotifyRestoreDefaults, core::kGroupMainWindow);
    Notify(core::kNotifySettingsChanged, core::kGroupMainWindow);
}

void TMainMenu::Loadsettings1Click() {
    Notify(core::kNotifyLoadSettings, core::kGroupMainWindow);
    Notify(core::kNotifySettingsChanged, core::kGroupMainWindow);
}

void TMainMenu::Savesettings1Click() { Notify(core::kNotifySaveSettings, core::kGroupMainWindow); }

void TMainMenu::DemoSettings1Click() {
    TDemoSetupForm dialog(messages_, &form_);
    dialog.SetVirtualScope(&scope_);
    if (RunDialog(dialog) == QDialog::Accepted) {
        dialog.StoreValues();
    }
}

void TMainMenu::Colorsetup1Click() {
    display::TSetColorForm dialog(&form_);
    dialog.setWindowTitle(Text(strings::kColorSettingsCaption));
    dialog.SetVirtualScope(&scope_);
    if (RunDialog(dialog) != QDialog::Accepted) {
        return;
    }
    scope_.SetColorChannelA(dialog.ColorChannelA());
    scope_.SetColorChannelB(dialog.ColorChannelB());
    scope_.SetColorGrid(dialog.ColorGrid());  // the setter rescales the grid colour
    scope_.SetBackgroundColor(dialog.BackgroundColor());
    Notify(core::kNotifySettingsChanged, core::kGroupColorDialog);
}

void TMainMenu::ToolTipHelp1Click() {
    scope_.SetShowComixHelp(!scope_.ShowComixHelp());
    // The caption handler sets hints and check mark from the model on code 2; until
    // then the mark shows the model, not Qt's own toggle.
    Item("ToolTipHelp1")->setChecked(scope_.ShowComixHelp());
    Notify(core::kNotifySettingsChanged, core::kGroupMainWindow);
}

void TMainMenu::ThreadpriorityBoosted1Click() {
    scope_.SetBoostThread(!scope_.BoostThread());
    Item("ThreadpriorityBoosted1")->setChecked(scope_.BoostThread());
    Notify(core::kNotifySettingsChanged, core::kGroupMainWindow);
}

// --- Help ---------------------------------------------------------------------------

void TMainMenu::Index1Click() {
    Open(QUrl::fromLocalFile(QDir(programFolder_).filePath(Text(strings::kHelpPage))));
}

void TMainMenu::VantoWeb1Click() { Open(QUrl(Text(strings::kMakerWebUrl))); }

void TMainMenu::Support1Click() {
    Open(QUrl(Text(strings::kMailToPrefix) + Text(strings::kMakerSupportAddress)));
}

void TMainMenu::About1Click() {
    TAboutForm dialog(VersionToString(CompiledVersion()), driver_.USBDriverVersion(), driver_.DeviceSerialNumber(),
                      opener_, &form_);
    if (!userFolder_.isEmpty()) dialog.ShowUserFolder(userFolder_);
    RunDialog(dialog);
}

}  // namespace rollmode::shell
