#pragma once
// The two-state button of the control groups: a caption with an on/off lamp to its
// right. Each click toggles the pressed state before clicked() is emitted; setting
// the state from code (SetDown) shows the matching lamp and emits no clicked().
#include <QImage>
#include <QToolButton>

namespace rollmode::controls {

class TOnOffButtonLyra : public QToolButton {
    Q_OBJECT

public:
    explicit TOnOffButtonLyra(QWidget* parent = nullptr);

    bool Down() const { return isChecked(); }
    void SetDown(bool down) { setChecked(down); }

    // The glyph strip "IDB_BUTTONS_ONOFF": four 10 x 10 glyphs side by side, 8 bits
    // per pixel, grey (160, 160, 164) being the transparent colour.
    static QImage GlyphStrip();
    // 0 up, 1 disabled, 2 being clicked, 3 down.
    int GlyphIndex() const;

    static constexpr int kGlyphSize = 10;
    static constexpr int kGlyphCount = 4;
    static constexpr int kGlyphMargin = 1;
    static constexpr QRgb kTransparentColor = 0xFFA0A0A4;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap glyphs_[kGlyphCount];
};

}  // namespace rollmode::controls
