#pragma once
// Shared pieces of the viewer window tests: temporary record files, mouse events
// with the buttons held, and pixel counts of a grabbed view.
#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QImage>
#include <QMouseEvent>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <string>

#include "RecordFileBuilder.h"
#include "ViewerWindow.h"
#include "WaveformView.h"

namespace rollmode::viewer::testing {

inline std::string TempRecord(const std::string& name) {
    const std::string folder = ::testing::TempDir() + "viewer_" + name;
    std::remove((folder + ".rmd").c_str());
    std::remove((folder + ".ind").c_str());
    return folder + ".rmd";
}

// Runs the event loop until `done` holds or `ms` passed (QTRY_* would return from a
// GoogleTest body without failing it).
template <class Done>
bool WaitFor(Done done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

inline void Mouse(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held,
                  Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QMouseEvent event(type, QPointF(at), widget->mapToGlobal(QPointF(at)), button, held, modifiers);
    QApplication::sendEvent(widget, &event);
}

inline void Drag(QWidget* widget, QPoint from, QPoint to, Qt::MouseButton button) {
    Mouse(widget, QEvent::MouseButtonPress, from, button, button);
    Mouse(widget, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, button);
    Mouse(widget, QEvent::MouseMove, to, Qt::NoButton, button);
    Mouse(widget, QEvent::MouseButtonRelease, to, button, Qt::NoButton);
}

inline void Click(QWidget* widget, QPoint at, Qt::MouseButton button) {
    Mouse(widget, QEvent::MouseButtonPress, at, button, button);
    Mouse(widget, QEvent::MouseButtonRelease, at, button, Qt::NoButton);
}

inline void Wheel(QWidget* widget, QPoint at, int angle) {
    QWheelEvent event(QPointF(at), widget->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, angle), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

// Pixels of column x, rows [top, bottom], that have exactly the colour.
inline int CountInColumn(const QImage& image, int x, int top, int bottom, const QColor& colour) {
    int n = 0;
    for (int y = top; y <= bottom; ++y) n += image.pixelColor(x, y).rgb() == colour.rgb();
    return n;
}

inline int CountInRect(const QImage& image, const QRect& rect, const QColor& colour) {
    int n = 0;
    for (int x = rect.left(); x <= rect.right(); ++x) n += CountInColumn(image, x, rect.top(), rect.bottom(), colour);
    return n;
}

}  // namespace rollmode::viewer::testing
