// Renders the main menu's three menus and the colour, About and demo setup dialogs
// into PNG files, for a look by eye:  menu_gallery <folder>
#include <cstdio>
#include <string>

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMenuBar>

#include "AboutScreen.h"
#include "DemoSetupScreen.h"
#include "MainMenu.h"
#include "MainScreen.h"
#include "SetColorScreen.h"
#include "VirtualDriverLyraRM.h"
#include "VirtualScopeLyraRM.h"
#include "ports/MessageBoxService.h"

using namespace rollmode;

namespace {

// Every box the dialogs could raise is answered Yes, unseen.
class SilentBoxes final : public core::MessageBoxService {
public:
    core::MsgResult Show(const std::string&, core::MsgButtons, core::MsgIcon) override { return core::MsgResult::Yes; }
};

bool Save(QWidget& widget, const QString& folder, const QString& name) {
    widget.ensurePolished();
    const QString path = QDir(folder).filePath(name + ".png");
    const bool saved = widget.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "cannot write", qPrintable(path));
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Windows"));  // as the program starts
    shell::ForceDecimalPoint();
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();

    SilentBoxes boxes;
    core::TVirtualScopeLyraRM scope;
    core::TVirtualDriverLyraRM driver(&boxes, nullptr);
    driver.SetDeviceSerialNumber("20261207");
    scope.SetShowComixHelp(true);

    shell::TMainForm form;
    shell::TMainMenu menu(form, scope, driver, boxes);
    bool ok = true;
    for (QAction* item : menu.MenuBar()->actions()) {
        QMenu* popup = item->menu();
        popup->adjustSize();
        ok = Save(*popup, folder, "menu-" + popup->objectName()) && ok;
    }
    menu.MenuBar()->adjustSize();
    ok = Save(*menu.MenuBar(), folder, "menu-bar") && ok;

    display::TSetColorForm colors(&form);
    colors.setWindowTitle(QStringLiteral("Color settings"));
    colors.SetVirtualScope(&scope);
    ok = Save(colors, folder, "dialog-colors") && ok;

    shell::TAboutForm about(shell::VersionToString(shell::CompiledVersion()), driver.USBDriverVersion(),
                            driver.DeviceSerialNumber(), nullptr, &form);
    ok = Save(about, folder, "dialog-about") && ok;
    // An installed copy names the user's folder of its settings and records.
    shell::TAboutForm aboutInstalled(shell::VersionToString(shell::CompiledVersion()), driver.USBDriverVersion(),
                                     driver.DeviceSerialNumber(), nullptr, &form);
    aboutInstalled.ShowUserFolder(QDir::homePath() + QStringLiteral("/.local/share/corvo-rollmode"));
    ok = Save(aboutInstalled, folder, "dialog-about-installed") && ok;

    shell::TDemoSetupForm demo(boxes, &form);
    demo.SetVirtualScope(&scope);
    ok = Save(demo, folder, "dialog-demo") && ok;
    return ok ? 0 : 1;
}
