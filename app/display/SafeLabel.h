#pragma once
// A text label that any thread may set. The text is drawn at once into the label's
// own image under its lock on the calling thread; the widget only copies that image
// when Qt paints it, and repaint requests from workers collapse into one queued call.
// A mouse-sensitive label freezes its reading while the pointer rests on it.
#include <QFont>
#include <QImage>
#include <QString>
#include <QWidget>
#include <atomic>
#include <mutex>

namespace rollmode::display {

class TSafeLabel : public QWidget {
    Q_OBJECT

public:
    explicit TSafeLabel(QWidget* parent = nullptr);
    ~TSafeLabel() override;

    QString MyString() const;
    // Any thread. While the label is hovered the text is not taken; it is only
    // marked as pending, which the label shows in bold.
    void SetMyString(const QString& text);

    bool MouseSensitive() const noexcept { return mouseSensitive_.load(std::memory_order_relaxed); }
    void SetMouseSensitive(bool v) noexcept { mouseSensitive_.store(v, std::memory_order_relaxed); }

    bool Hovered() const;
    bool UpdatePending() const noexcept { return updatePending_.load(std::memory_order_relaxed); }
    // The drawing as last painted into the label's image (for inspection).
    QImage Snapshot() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    // Under lock_: draws text_ into image_ with the cached look.
    void RenderLocked();
    // Any thread: one queued repaint at a time.
    void RequestRepaint();
    // GUI thread: copies the widget's look into the cache used off the GUI thread.
    void CacheLookLocked();
    void SetHovered(bool hovered);

    mutable std::mutex lock_;  // the canvas lock
    QString text_;
    QImage image_;
    QFont font_;
    QFont boldFont_;
    QColor faceColor_;
    QColor textColor_;
    Qt::LayoutDirection direction_ = Qt::LeftToRight;
    bool hovered_ = false;                   // under lock_
    std::atomic<bool> updatePending_{false};
    std::atomic<bool> mouseSensitive_{false};
    std::atomic<bool> repaintQueued_{false};
};

}  // namespace rollmode::display
