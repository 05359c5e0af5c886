#pragma once
// Dialog captions laid out for a narrow face: where the font at hand is wider, the
// caption's font shrinks until the text fits its room (not below 8 pixels) instead
// of running under the control beside it.
#include <QFontMetrics>
#include <QLabel>

namespace rollmode::display {

inline void FitLabelText(QLabel* label, int maxWidth) {
    QFont font = label->font();
    int size = font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
    while (size > 8 && QFontMetrics(font).horizontalAdvance(label->text()) > maxWidth) {
        font.setPixelSize(--size);
    }
    label->setFont(font);
    label->adjustSize();
}

}  // namespace rollmode::display
