#pragma once
// The main window's menu bar: File, Settings and Help, with their handlers. Items
// that change the model notify afterwards (group 13 unless named), so the rest of
// the window follows.
#include <functional>

#include <QObject>
#include <QString>

#include "DesktopOpener.h"

class QAction;
class QDialog;
class QMenu;
class QMenuBar;

namespace rollmode::core {
class MessageBoxService;
class TVirtualDriverLyraRM;
class TVirtualScopeLyraRM;
}  // namespace rollmode::core

namespace rollmode::shell {

class TMainForm;

class TMainMenu : public QObject {
    Q_OBJECT

public:
    // Builds the menu bar on `form` and hands the two check items to its caption handler.
    TMainMenu(TMainForm& form, core::TVirtualScopeLyraRM& scope, core::TVirtualDriverLyraRM& driver,
              core::MessageBoxService& messages);
    ~TMainMenu() override;

    // Where documents and addresses go; the desktop by default.
    void SetUrlOpener(UrlOpener opener) { opener_ = std::move(opener); }
    // Runs a dialog and returns its result; modal by default. Tests answer the dialogs.
    using DialogRunner = std::function<int(QDialog&)>;
    void SetDialogRunner(DialogRunner runner) { dialogRunner_ = std::move(runner); }
    // The folder of the help page and the viewer program; the program's folder by default.
    void SetProgramFolder(const QString& folder) { programFolder_ = folder; }
    const QString& ProgramFolder() const { return programFolder_; }
    // The per-user folder of the settings and record files, named in the About dialog;
    // empty (the default) while they live beside the program.
    void SetUserFolder(const QString& folder) { userFolder_ = folder; }

    QMenuBar* MenuBar() const { return menuBar_; }
    // An item by its handler's name without "Click", e.g. "Exit1".
    QAction* Item(const char* objectName) const;

    void Viewer1Click();
    void Exit1Click();
    void Restoredefaults1Click();
    void Loadsettings1Click();
    void Savesettings1Click();
    void DemoSettings1Click();
    void Colorsetup1Click();
    void ToolTipHelp1Click();
    void ThreadpriorityBoosted1Click();
    void Index1Click();
    void VantoWeb1Click();
    void Support1Click();
    void About1Click();

private:
    QAction* AddItem(QMenu* menu, const char* objectName, const char* caption, void (TMainMenu::*handler)());
    void Notify(int code, int group);
    int RunDialog(QDialog& dialog);
    void Open(const QUrl& url);

    TMainForm& form_;
    core::TVirtualScopeLyraRM& scope_;
    core::TVirtualDriverLyraRM& driver_;
    core::MessageBoxService& messages_;
    UrlOpener opener_;
    DialogRunner dialogRunner_;
    QString programFolder_;
    QString userFolder_;
    QMenuBar* menuBar_ = nullptr;
};

}  // namespace rollmode::shell
