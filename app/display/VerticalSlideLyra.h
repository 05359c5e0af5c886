#pragma once
// A vertical position slide: a thin track and a knob whose top edge is at
// BarPosition (0..BarHeight). It paints over its parent's background, so moving the
// knob leaves nothing of the old one behind.
#include <QWidget>
#include <cstdint>

namespace rollmode::display {

class TVerticalSlideLyra : public QWidget {
    Q_OBJECT

public:
    explicit TVerticalSlideLyra(QWidget* parent = nullptr);

    int BarPosition() const noexcept { return barPosition_; }
    void SetBarPosition(int y);
    int BarHeight() const noexcept { return barHeight_; }
    void SetBarHeight(int h);
    int BarWidth() const noexcept { return barWidth_; }
    void SetBarWidth(int w);
    // 0x00BBGGRR: track and knob.
    uint32_t BarColor() const noexcept { return barColor_; }
    void SetBarColor(uint32_t color);

    QSize sizeHint() const override;

    static constexpr int kKnobHeight = 6;

signals:
    // Left button pressed, released and moved while pressed, with the pointer's y in
    // the slide's coordinates (outside 0..height while the pointer is dragged away).
    // clicked() comes before mouseReleased(), and only when released over the slide.
    void mousePressed(int y);
    void mouseReleased(int y);
    void mouseMoved(int y);
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    int barPosition_ = 0;
    int barHeight_ = 100;
    int barWidth_ = 25;
    uint32_t barColor_ = 0;
    bool pressed_ = false;
};

}  // namespace rollmode::display
