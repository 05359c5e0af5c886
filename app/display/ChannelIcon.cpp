#include "ChannelIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <numbers>

namespace rollmode::display {

QPixmap ChannelIcon(const QColor& trace) {
    QPixmap icon(kChannelIconSize, kChannelIconSize);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    // The screen: a dark face in a grey bezel, as the roll screen looks on its default colours.
    painter.setPen(QColor(128, 128, 128));
    painter.setBrush(Qt::black);
    painter.drawRect(0, 1, kChannelIconSize - 1, kChannelIconSize - 3);
    // One period of a sine across the face, two pixels thick so a dark colour still shows.
    QPainterPath wave;
    constexpr int kLeft = 2, kRight = kChannelIconSize - 3;
    constexpr double kMiddle = kChannelIconSize / 2.0, kAmplitude = 3.5;
    for (int x = kLeft; x <= kRight; ++x) {
        const double phase = 2.0 * std::numbers::pi * (x - kLeft) / (kRight - kLeft);
        const QPointF point(x, kMiddle - kAmplitude * std::sin(phase));
        if (x == kLeft)
            wave.moveTo(point);
        else
            wave.lineTo(point);
    }
    painter.setPen(QPen(trace, 2.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(wave);
    return icon;
}

}  // namespace rollmode::display
