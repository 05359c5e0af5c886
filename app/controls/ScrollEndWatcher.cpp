#include "ScrollEndWatcher.h"

#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>

namespace rollmode::controls {

ScrollEndWatcher::ScrollEndWatcher(QScrollBar* bar, std::function<void()> ended)
    : bar_(bar), ended_(std::move(ended)) {
    if (bar == nullptr) return;
    bar->installEventFilter(this);
    actionConnection_ = connect(bar, &QAbstractSlider::actionTriggered, this, [this](int a) { ActionTriggered(a); });
    releaseConnection_ = connect(bar, &QAbstractSlider::sliderReleased, this, [this] { End(); });
}

ScrollEndWatcher::~ScrollEndWatcher() {
    disconnect(actionConnection_);
    disconnect(releaseConnection_);
    if (bar_) bar_->removeEventFilter(this);
}

void ScrollEndWatcher::ActionTriggered(int action) {
    if (bar_ == nullptr) return;
    if (action == QAbstractSlider::SliderNoAction) return;
    if (action == QAbstractSlider::SliderMove) {
        // Thumb tracking ends with sliderReleased; a move without the thumb held is a
        // wheel turn, which is a finished step of its own.
        if (!bar_->isSliderDown() && !mouseHeld_) End();
        return;
    }
    // Arrow and page steps, Home and End.
    if (mouseHeld_ || keyHeld_) {
        stepPending_ = true;
    } else {
        End();
    }
}

bool ScrollEndWatcher::eventFilter(QObject* watched, QEvent* event) {
    if (watched != bar_) return false;
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            mouseHeld_ = true;
            break;
        case QEvent::MouseButtonRelease:
            mouseHeld_ = false;
            if (stepPending_ && !keyHeld_) End();
            break;
        case QEvent::KeyPress:
            keyHeld_ = true;
            break;
        case QEvent::KeyRelease:
            if (!static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
                keyHeld_ = false;
                if (stepPending_ && !mouseHeld_) End();
            }
            break;
        case QEvent::FocusOut:
        case QEvent::Hide:
            // A release that never reaches the bar must not leave a step unapplied.
            mouseHeld_ = keyHeld_ = false;
            if (stepPending_) End();
            break;
        default:
            break;
    }
    return false;
}

void ScrollEndWatcher::End() {
    stepPending_ = false;
    if (ended_) ended_();
}

}  // namespace rollmode::controls
