#pragma once
// A round indicator lamp: state 0 red, 1 yellow, 2 green. Set from any thread;
// the repaint follows on the user-interface thread.
#include <atomic>

#include <QWidget>

#include "ports/IndicatorLamp.h"

namespace rollmode::shell {

class QtIndicatorLamp : public QWidget, public core::IndicatorLamp {
    Q_OBJECT
public:
    explicit QtIndicatorLamp(QWidget* parent = nullptr);

    void SetState(int state) override;
    int State() const { return state_.load(std::memory_order_relaxed); }
    // Colour for a state; states outside 0..2 show as red (not running).
    static QColor ColorFor(int state);

    QSize sizeHint() const override { return {15, 12}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::atomic<int> state_{0};
    std::atomic<bool> repaintPending_{false};
};

}  // namespace rollmode::shell
