#include "VerticalSlideLyra.h"

#include <QMouseEvent>
#include <QPainter>

#include "ColorConversion.h"

namespace rollmode::display {

namespace {

// Outline with the pen and fill with the brush; right and bottom edges excluded.
void Rectangle(QPainter& painter, int left, int top, int right, int bottom) {
    if (right - left < 1 || bottom - top < 1) return;
    painter.drawRect(left, top, right - left - 1, bottom - top - 1);
}

}  // namespace

TVerticalSlideLyra::TVerticalSlideLyra(QWidget* parent) : QWidget(parent) {}

void TVerticalSlideLyra::SetBarPosition(int y) {
    if (y == barPosition_) return;
    barPosition_ = y;
    update();
}

void TVerticalSlideLyra::SetBarHeight(int h) {
    barHeight_ = h;
    update();
}

void TVerticalSlideLyra::SetBarWidth(int w) {
    barWidth_ = w;
    update();
}

void TVerticalSlideLyra::SetBarColor(uint32_t color) {
    if (color == barColor_) return;
    barColor_ = color;
    update();
}

QSize TVerticalSlideLyra::sizeHint() const { return {barWidth_, barHeight_ + kKnobHeight + 1}; }

void TVerticalSlideLyra::paintEvent(QPaintEvent* /*event*/) {
    const int h = barWidth_ / 2;
    const QColor bar = ToQColor(barColor_);
    QPainter painter(this);

    painter.setPen(Qt::black);
    painter.setBrush(Qt::NoBrush);
    Rectangle(painter, h - 2, 0, h + 2, barHeight_ + 6);

    painter.setPen(bar);
    painter.setBrush(bar);
    Rectangle(painter, h - 1, 1, h + 1, barHeight_ + 5);

    painter.setPen(Qt::black);
    Rectangle(painter, 2, barPosition_, barWidth_ - 2, barPosition_ + kKnobHeight);

    // The mark's end point is not drawn, as with the track's edges.
    painter.drawLine(h - 2, barPosition_ + 3, h + 1, barPosition_ + 3);
}

void TVerticalSlideLyra::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    pressed_ = true;
    emit mousePressed(static_cast<int>(event->position().y()));
}

void TVerticalSlideLyra::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const int y = static_cast<int>(event->position().y());
    if (pressed_ && rect().contains(event->position().toPoint())) emit clicked();
    pressed_ = false;
    emit mouseReleased(y);
}

void TVerticalSlideLyra::mouseMoveEvent(QMouseEvent* event) {
    emit mouseMoved(static_cast<int>(event->position().y()));
}

}  // namespace rollmode::display
