#include "ScreenshotRun.h"

#include <QApplication>
#include <QPixmap>

#include "IndexFollower.h"
#include "ViewerWindow.h"
#include "WaveformView.h"

namespace rollmode::viewer {

int RunScreenshot(const ViewerOptions& options, const std::function<void(const std::string&)>& report) {
    TViewerWindow window;
    window.resize(options.width, options.height);
    window.OpenFile(QString::fromLocal8Bit(options.file.c_str()));
    window.show();
    window.WaitOpened();
    // The picture shows the file as it was read, not as it may still grow.
    window.Follower()->Stop();
    if (window.OpenFailed()) {
        report(window.FaultText().toStdString());
        return exitcode::kUnreadable;
    }
    window.View()->ShowFirstMeasurement();
    QApplication::processEvents();
    const QPixmap picture = window.grab();
    if (!picture.save(QString::fromLocal8Bit(options.screenshot.c_str()), "PNG")) {
        report("cannot write " + options.screenshot);
        return exitcode::kUnreadable;
    }
    if (window.Malformed()) {
        report(window.FaultText().toStdString());
        return exitcode::kMalformed;
    }
    return exitcode::kWhole;
}

}  // namespace rollmode::viewer
