#include "QtApplicationControl.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace rollmode::shell {

void QtApplicationControl::RequestTerminate() {
    terminating_.store(true, std::memory_order_relaxed);
    // Queued: the handler that asked finishes first. exit() leaves every loop that
    // runs at that moment, a modal box's included; quit() would do nothing before
    // the main loop has started.
    PostToGuiThread([] { QCoreApplication::exit(0); });
}

void PostToGuiThread(std::function<void()> fn) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return;
    }
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

}  // namespace rollmode::shell
