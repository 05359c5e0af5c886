// Program entry: one instance per user, splash, main window, start of the
// instrument, message loop, orderly shutdown.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "MainFormComponents.h"
#include "MainMenu.h"
#include "NotificationCodes.h"
#include "VirtualScopeLyraRM.h"
#include "MainScreen.h"
#include "QtApplicationControl.h"
#include "QtMessageBoxService.h"
#include "ResourceStringsLyraRM.h"
#include "SplashScreen.h"
#include "platform/DeviceIo.h"
#include "platform/PrivateFolder.h"
#include "platform/ProgramPath.h"
#include "platform/SingleInstance.h"
#include "platform/WorkingFolder.h"

namespace {

using namespace rollmode;

// SIGINT and SIGTERM arrive here; the write end wakes the user-interface thread,
// which ends the program the same way as closing the window.
int g_signalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

bool InstallSignalPipe() {
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return false;
    }
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    return true;
}

struct Options {
    QString screenshot;        // save a picture of the main window after start-up, then end
    QString splashScreenshot;  // save a picture of the splash window as it first shows
    int screenshotDelayMs = 1500;
    bool measure = false;  // start a measurement once running, as the Start button does
    bool rolling = false;  // show the rolling display instead of the cardiogram
};

Options ParseOptions(const QStringList& args) {
    Options options;
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--screenshot") && i + 1 < args.size()) {
            options.screenshot = QFileInfo(args[++i]).absoluteFilePath();  // before the folder changes
        } else if (args[i] == QLatin1String("--splash-screenshot") && i + 1 < args.size()) {
            options.splashScreenshot = QFileInfo(args[++i]).absoluteFilePath();
        } else if (args[i] == QLatin1String("--screenshot-delay") && i + 1 < args.size()) {
            options.screenshotDelayMs = args[++i].toInt();
        } else if (args[i] == QLatin1String("--measure")) {
            options.measure = true;
        } else if (args[i] == QLatin1String("--rolling")) {
            options.rolling = true;
        }
    }
    return options;
}

// The classic style draws group-box captions on the frame line, as the panels'
// captions are laid out for; -style or QT_STYLE_OVERRIDE still choose another.
void ChooseStyle(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "-style", 6) == 0 || std::strncmp(argv[i], "--style", 7) == 0) return;
    }
    if (!qEnvironmentVariableIsEmpty("QT_STYLE_OVERRIDE")) return;
    QApplication::setStyle(QStringLiteral("Windows"));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ChooseStyle(argc, argv);
    shell::ForceDecimalPoint();
    const Options options = ParseOptions(QApplication::arguments());

    shell::QtMessageBoxService messages;
    shell::QtApplicationControl control;

    // One instance per user. No other program of the family is searched for: the
    // product window table is empty.
    // The lock and the device sockets live in folders of this user's own: one that
    // another user controls could hold a fake instrument or block the start.
    const std::filesystem::path lockFile = platform::SingleInstanceLock::PathFor(strings::kInstanceMutexName);
    // $XDG_RUNTIME_DIR is the session's and is only checked; the folders named by us are
    // made and closed to others.
    const std::filesystem::path lockFolder = lockFile.parent_path();
    const bool lockFolderIsOurs = lockFolder == platform::FallbackRuntimeFolder();
    for (const std::filesystem::path& folder : {lockFolder, platform::DeviceFolder()}) {
        const bool sessionFolder = folder == lockFolder && !lockFolderIsOurs;
        const std::string why =
            sessionFolder ? platform::CheckOwnFolder(folder) : platform::PreparePrivateFolder(folder);
        if (!why.empty()) {
            std::fprintf(stderr, "Corvo_RollMode: %s\n", why.c_str());
            messages.Show(strings::FormatText(strings::kFolderNotSafe, why), core::MsgButtons::Ok,
                          core::MsgIcon::Error);
            return 1;
        }
    }
    const platform::SingleInstanceLock instance(lockFile);
    if (instance.Status() == platform::SingleInstanceLock::State::HeldElsewhere) {
        messages.Show(strings::kDeviceInUse, core::MsgButtons::Ok, core::MsgIcon::Error);
        return 1;
    }
    if (instance.Status() == platform::SingleInstanceLock::State::Unavailable) {
        std::fprintf(stderr, "Corvo_RollMode: instance lock unavailable, running without it\n");
    }

    if (InstallSignalPipe()) {
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [&control] {
            char buffer[16];
            while (::read(g_signalPipe[0], buffer, sizeof buffer) > 0) {
            }
            control.RequestTerminate();
        });
    }

    auto* splash = new shell::TSplashScreenLyra;
    splash->SetStatusText(QString::fromLatin1(strings::kSplashEnvironmentInit));
    splash->show();
    splash->repaint();
    QApplication::processEvents();
    if (!options.splashScreenshot.isEmpty() && !splash->grab().save(options.splashScreenshot)) {
        std::fprintf(stderr, "Corvo_RollMode: cannot save %s\n", qPrintable(options.splashScreenshot));
    }

    // The settings files and the default record file resolve against the current folder:
    // the program's own, or the user's data folder for an installed or read-only copy.
    const platform::WorkingFolder working = platform::PrepareWorkingFolder();
    if (!working.problem.empty()) {
        std::fprintf(stderr, "Corvo_RollMode: per-user folder: %s\n", working.problem.c_str());
    }
    std::error_code ec;
    std::filesystem::current_path(working.path.empty() ? platform::ProgramDirectory() : working.path, ec);

    shell::TMainForm form(&control);
    messages.SetParent(&form);
    shell::MainFormComponents components(form, messages, control);
    if (working.perUser && !working.path.empty()) {
        components.MainMenu1().SetUserFolder(QString::fromStdString(working.path.string()));
    }

    splash->SetStatusText(QString::fromLatin1(strings::kSplashDeviceInit));
    splash->repaint();

    components.InitializeApplication();

    splash->close();
    splash->deleteLater();

    if (!control.TerminationRequested()) {
        form.show();
        core::TVirtualScopeLyraRM& scope = components.VirtualScopeLyraRM1();
        if (options.rolling) {
            scope.SetModeEKG(false);
            scope.NotifyListeners(core::kNotifyRollDisplay, core::kGroupModeDisplayControls);
        }
        if (options.measure) {
            scope.SetMeasurementStarted(true);
            scope.NotifyListeners(core::kNotifySettingsChanged, core::kGroupMeasurementRecordControls);
        }
        if (!options.screenshot.isEmpty()) {
            QTimer::singleShot(options.screenshotDelayMs, &form, [&form, &options] {
                if (!form.grab().save(options.screenshot)) {
                    std::fprintf(stderr, "Corvo_RollMode: cannot save %s\n", qPrintable(options.screenshot));
                }
                form.close();
            });
        }
        QApplication::exec();
    }
    // Closing the window ran the shutdown already; ending by request or signal runs it here.
    form.FormClose();
    return 0;
}
