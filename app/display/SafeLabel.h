#pragma once
// A text label that any thread may set. A setter only stores the text under the label's
// lock; the GUI thread draws it into the label's own image when it paints, at most every
// kMinRepaintIntervalMs (TLabelRepaintClock), so texts that change with every block (the file
// size, the live voltages) cost one drawing per paint instead of one per block, and none on
// the worker. The last text is always shown. A mouse-sensitive label freezes its reading while the
// pointer rests on it.
#include <QFont>
#include <QImage>
#include <QString>
#include <QWidget>
#include <atomic>
#include <mutex>

#include "LabelRepaintClock.h"

namespace rollmode::display {

class TSafeLabel : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMinRepaintIntervalMs = TLabelRepaintClock::kIntervalMs;

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
    // The drawing of the current text and look (for inspection).
    QImage Snapshot() const;

    QSize sizeHint() const override;

    // For the repaint clock, user-interface thread: a value stored from a worker waits to be
    // settled into the text, a new text waits for a paint.
    bool Wanted() const noexcept { return settleWanted_.load() || repaintWanted_.load(); }
    // Settles a stored value, then asks for the paint a new text wants; false when the label
    // wanted neither.
    bool ServeClock();

protected:
    // Any thread: Settle is to run on the user-interface thread at the repaint clock's next
    // tick. A worker that stores a value block after block leaves the formatting to that
    // tick, at most once an interval, instead of doing it per block.
    void RequestSettle();
    // User-interface thread: brings the text up to the values stored since.
    virtual void Settle() {}

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    // Under lock_: draws text_ into image_ with the cached look when either changed since.
    void RenderLocked() const;
    // Any thread: the paint comes with the repaint clock's next tick.
    void RequestRepaint();
    // GUI thread: copies the widget's look into the cache used off the GUI thread.
    void CacheLookLocked();
    void SetHovered(bool hovered);

    mutable std::mutex lock_;  // the canvas lock
    QString text_;
    mutable QImage image_;     // text_ drawn with the look, when not stale_
    mutable bool stale_ = true;  // under lock_
    QFont font_;
    QFont boldFont_;
    QColor faceColor_;
    QColor textColor_;
    Qt::LayoutDirection direction_ = Qt::LeftToRight;
    bool hovered_ = false;                   // under lock_
    std::atomic<bool> updatePending_{false};
    std::atomic<bool> mouseSensitive_{false};
    std::atomic<bool> repaintWanted_{false};
    std::atomic<bool> settleWanted_{false};
};

}  // namespace rollmode::display
