#include "OnOffButtonLyra.h"

#include <QPainter>
#include <algorithm>
#include <QStyleOptionToolButton>
#include <QStylePainter>

namespace rollmode::controls {

namespace {

// A 6 x 6 lamp: a 4 x 4 block in a black outline whose corners are cut.
void DrawLamp(QImage& strip, int glyph, int top, uchar colorIndex, uchar blackIndex) {
    const int left = glyph * TOnOffButtonLyra::kGlyphSize + 2;
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 6; ++x) {
            const bool edgeRow = y == 0 || y == 5;
            const bool edgeColumn = x == 0 || x == 5;
            if (edgeRow && edgeColumn) continue;  // cut corner
            strip.setPixel(left + x, top + y, edgeRow || edgeColumn ? blackIndex : colorIndex);
        }
    }
}

}  // namespace

QImage TOnOffButtonLyra::GlyphStrip() {
    enum : uchar { kGrey, kBlack, kRedOrange, kPaleBlue, kGreen };
    QImage strip(kGlyphSize * kGlyphCount, kGlyphSize, QImage::Format_Indexed8);
    strip.setColorTable({kTransparentColor, qRgb(0, 0, 0), qRgb(224, 64, 0), qRgb(166, 202, 240), qRgb(160, 224, 0)});
    strip.fill(kGrey);
    DrawLamp(strip, 0, 4, kRedOrange, kBlack);  // up: lamp low
    DrawLamp(strip, 1, 4, kPaleBlue, kBlack);   // disabled
    DrawLamp(strip, 2, 4, kPaleBlue, kBlack);   // being clicked
    DrawLamp(strip, 3, 0, kGreen, kBlack);      // down: lamp raised
    return strip;
}

TOnOffButtonLyra::TOnOffButtonLyra(QWidget* parent) : QToolButton(parent) {
    setCheckable(true);
    QImage strip = GlyphStrip().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < strip.height(); ++y)
        for (int x = 0; x < strip.width(); ++x)
            if (strip.pixel(x, y) == kTransparentColor) strip.setPixel(x, y, qRgba(0, 0, 0, 0));
    for (int i = 0; i < kGlyphCount; ++i)
        glyphs_[i] = QPixmap::fromImage(strip.copy(i * kGlyphSize, 0, kGlyphSize, kGlyphSize));
}

int TOnOffButtonLyra::GlyphIndex() const {
    if (!isEnabled()) return 1;
    if (isChecked()) return 3;
    if (isDown()) return 2;
    return 0;
}

QSize TOnOffButtonLyra::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + kGlyphSize + 4 * kGlyphMargin + 8,
            std::max(metrics.height(), kGlyphSize) + 6};
}

void TOnOffButtonLyra::paintEvent(QPaintEvent* /*event*/) {
    QStylePainter painter(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    // The frame from the style; caption and lamp are placed here, lamp on the right.
    option.text.clear();
    option.icon = QIcon();
    painter.drawComplexControl(QStyle::CC_ToolButton, option);

    const bool pressed = isDown() || isChecked();
    const int shift = pressed ? 1 : 0;
    const QRect area = rect().translated(shift, shift);
    const int glyphLeft = area.right() - kGlyphMargin - kGlyphSize;
    const int glyphTop = area.top() + (area.height() - kGlyphSize) / 2;
    painter.drawPixmap(glyphLeft, glyphTop, glyphs_[GlyphIndex()]);

    QRect textArea = area;
    textArea.setRight(glyphLeft - 1);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(textArea, Qt::AlignCenter | Qt::TextSingleLine, text());
}

}  // namespace rollmode::controls
