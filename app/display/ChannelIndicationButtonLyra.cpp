#include "ChannelIndicationButtonLyra.h"

#include <QMouseEvent>
#include <QPainter>

#include "ColorConversion.h"

namespace rollmode::display {

TChannelIndicationButtonLyra::TChannelIndicationButtonLyra(QWidget* parent) : QToolButton(parent) {}

void TChannelIndicationButtonLyra::SetChannelColor(uint32_t color) {
    channelColor_ = color;
    repaint();
}

void TChannelIndicationButtonLyra::SetButtonDown(int offset) {
    buttonDown_ = offset;
    update();
}

void TChannelIndicationButtonLyra::paintEvent(QPaintEvent* event) {
    QToolButton::paintEvent(event);
    if (!Flat()) buttonDown_ = (isDown() || isChecked()) ? 1 : 0;
    const int d = buttonDown_;
    QPainter painter(this);
    painter.fillRect(QRect(kBarLeft + d, kBarTop + d, kBarWidth, kBarHeight), ToQColor(channelColor_));
    if (!glyph_.isNull())
        painter.drawPixmap(width() - kGlyphMargin - glyph_.width() + d, (height() - glyph_.height()) / 2 + d, glyph_);
}

void TChannelIndicationButtonLyra::SetGlyph(const QPixmap& glyph) {
    glyph_ = glyph;
    update();
}

void TChannelIndicationButtonLyra::mousePressEvent(QMouseEvent* event) {
    QToolButton::mousePressEvent(event);
    if (event->button() == Qt::LeftButton) emit mousePressed(static_cast<int>(event->position().y()));
}

void TChannelIndicationButtonLyra::mouseReleaseEvent(QMouseEvent* event) {
    // The release is told first and the click (from the base) after it, so a group
    // that switches something back on at the release sees the click with it on.
    if (event->button() == Qt::LeftButton) emit mouseReleased(static_cast<int>(event->position().y()));
    QToolButton::mouseReleaseEvent(event);
}

}  // namespace rollmode::display
