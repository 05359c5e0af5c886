#pragma once
// A speed button with a small bar in its channel's colour. A pressed non-flat
// button moves its bar down and right by one pixel with its face; a flat one keeps
// the offset it was given.
#include <QPixmap>
#include <QToolButton>
#include <cstdint>

namespace rollmode::display {

class TChannelIndicationButtonLyra : public QToolButton {
    Q_OBJECT

public:
    explicit TChannelIndicationButtonLyra(QWidget* parent = nullptr);

    // 0x00BBGGRR. Repaints at once.
    uint32_t ChannelColor() const noexcept { return channelColor_; }
    void SetChannelColor(uint32_t color);
    int ButtonDown() const noexcept { return buttonDown_; }
    void SetButtonDown(int offset);
    // A flat button shows its face only while the pointer is over it.
    bool Flat() const { return autoRaise(); }
    void SetFlat(bool flat) { setAutoRaise(flat); }

    // A glyph on the right of the face, vertically centred, shifted by ButtonDown like the bar;
    // none by default.
    const QPixmap& Glyph() const noexcept { return glyph_; }
    void SetGlyph(const QPixmap& glyph);
    static constexpr int kGlyphMargin = 3;

    // The bar: 6 x 3 pixels at (26, 10), shifted by ButtonDown.
    static constexpr int kBarLeft = 26;
    static constexpr int kBarTop = 10;
    static constexpr int kBarWidth = 6;
    static constexpr int kBarHeight = 3;

signals:
    // Pointer pressed and released over the button, with the pointer's y. The
    // release comes before clicked().
    void mousePressed(int y);
    void mouseReleased(int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    uint32_t channelColor_ = 0;
    int buttonDown_ = 0;
    QPixmap glyph_;
};

}  // namespace rollmode::display
