#include "TraceGlyphButtonLyra.h"

#include <algorithm>

#include <QPainter>

namespace rollmode::controls {

TTraceGlyphButtonLyra::TTraceGlyphButtonLyra(Trace trace, QWidget* parent) : TOnOffButtonLyra(parent), trace_(trace) {}

void TTraceGlyphButtonLyra::paintEvent(QPaintEvent* event) {
    TOnOffButtonLyra::paintEvent(event);

    // The picture sits where the caption would, left of the lamp.
    const int shift = (isDown() || isChecked()) ? 1 : 0;
    const int lampLeft = width() - kGlyphMargin - kGlyphSize;
    const int pictureWidth = std::max(6, lampLeft - 4);
    const int left = 2 + shift + std::max(0, (lampLeft - 2 - pictureWidth) / 2);
    const int top = (height() - 9) / 2 + shift;

    QPainter painter(this);
    const QColor strong = palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText);
    const QColor faint = palette().color(QPalette::Disabled, QPalette::ButtonText);
    const int chosen = trace_ == Trace::Maximum ? 0 : (trace_ == Trace::Average ? 1 : 2);
    for (int line = 0; line < 3; ++line) {
        const int y = top + line * 4;
        if (line == chosen) {
            painter.fillRect(left, y, pictureWidth, 2, strong);
        } else {
            painter.fillRect(left + 1, y, pictureWidth - 2, 1, faint);
        }
    }
}

}  // namespace rollmode::controls
