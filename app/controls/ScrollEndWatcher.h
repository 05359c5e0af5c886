#pragma once
// Tells when a scroll of a QScrollBar ends, as a desktop scroll bar's end-of-scroll
// event does: when the thumb is released, when a click on an arrow or the page area
// ends (however long it auto-repeated), when a key move ends with the key's release,
// and at once for a wheel turn. Thumb tracking and the steps of a held button or key
// report nothing.
#include <functional>

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QScrollBar>

namespace rollmode::controls {

class ScrollEndWatcher : public QObject {
public:
    // `ended` runs on each end of a scroll; the bar's sliderPosition() is then the
    // position the scroll ended at.
    ScrollEndWatcher(QScrollBar* bar, std::function<void()> ended);
    ~ScrollEndWatcher() override;
    ScrollEndWatcher(const ScrollEndWatcher&) = delete;
    ScrollEndWatcher& operator=(const ScrollEndWatcher&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ActionTriggered(int action);
    void End();

    QPointer<QScrollBar> bar_;
    std::function<void()> ended_;
    QMetaObject::Connection actionConnection_;
    QMetaObject::Connection releaseConnection_;
    bool mouseHeld_ = false;
    bool keyHeld_ = false;
    bool stepPending_ = false;  // a step happened while a button or key was held
};

}  // namespace rollmode::controls
