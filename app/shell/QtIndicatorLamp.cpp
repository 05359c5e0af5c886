#include "QtIndicatorLamp.h"

#include <QMetaObject>
#include <QPainter>

namespace rollmode::shell {

QtIndicatorLamp::QtIndicatorLamp(QWidget* parent) : QWidget(parent) {
    resize(15, 12);
    setAttribute(Qt::WA_TranslucentBackground);
}

void QtIndicatorLamp::SetState(int state) {
    if (state_.exchange(state, std::memory_order_relaxed) == state) {
        return;
    }
    if (!repaintPending_.exchange(true, std::memory_order_relaxed)) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                repaintPending_.store(false, std::memory_order_relaxed);
                update();
            },
            Qt::QueuedConnection);
    }
}

QColor QtIndicatorLamp::ColorFor(int state) {
    switch (state) {
        case 1: return QColor(255, 255, 0);
        case 2: return QColor(0, 128, 0);
        default: return QColor(255, 0, 0);
    }
}

void QtIndicatorLamp::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(64, 64, 64));
    painter.setBrush(ColorFor(State()));
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

}  // namespace rollmode::shell
