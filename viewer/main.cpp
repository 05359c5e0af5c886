// PreviewLyraRM: shows measurement record files, or draws one into a PNG and exits.
#include <QApplication>

#include <cstdio>

#include "CommandLine.h"
#include "ScreenshotRun.h"
#include "ViewerWindow.h"

using namespace rollmode::viewer;

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const ViewerOptions options = ParseViewerOptions(arguments);
    if (options.help) {
        std::fputs(ViewerUsage(), stdout);
        return 0;
    }
    if (!options.error.empty()) {
        std::fprintf(stderr, "PreviewLyraRM: %s\n%s", options.error.c_str(), ViewerUsage());
        return exitcode::kUnreadable;
    }
    // A picture needs no screen: without one, draw off screen.
    if (!options.screenshot.empty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("PreviewLyraRM");
    if (!options.screenshot.empty()) {
        return RunScreenshot(options, [](const std::string& text) { std::fprintf(stderr, "PreviewLyraRM: %s\n", text.c_str()); });
    }
    TViewerWindow window;
    if (!options.file.empty()) window.OpenFile(QString::fromLocal8Bit(options.file.c_str()));
    window.show();
    return app.exec();
}
