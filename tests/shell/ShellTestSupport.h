#pragma once
// Helpers shared by the widget tests.
#include <QApplication>
#include <QTimer>

// A termination request leaves the application telling every event loop to end at
// once. Running the main loop once clears that, so the next test starts clean.
inline void DrainTermination() {
    QTimer stop;
    stop.setSingleShot(true);
    QObject::connect(&stop, &QTimer::timeout, [] { QApplication::exit(0); });
    stop.start(0);
    QApplication::exec();
}
