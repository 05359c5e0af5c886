#pragma once
// Paces the repaints of the labels that worker threads write. While any of them has a new
// text, one user-interface-thread tick every kIntervalMs asks each such label for a paint, so
// the file size and both live voltages come to the window in one paint, not three, and a label
// paints at most once an interval. Idle, the clock stops; the next text paints at once.
#include <QObject>
#include <QTimer>

#include <atomic>
#include <vector>

namespace rollmode::display {

class TSafeLabel;

class TLabelRepaintClock final : public QObject {
public:
    static constexpr int kIntervalMs = 100;

    // User-interface thread.
    static void Register(TSafeLabel* label);
    static void Unregister(TSafeLabel* label);
    // Any thread: a label has a new text to paint.
    static void Request();

    ~TLabelRepaintClock() override;

private:
    explicit TLabelRepaintClock(QObject* parent);
    static TLabelRepaintClock& Instance();
    void Start();
    void OnTick();
    // Stops the clock, unless a text came meanwhile.
    void Disarm();
    // Serves every label: settles stored values, asks for paints of new texts; false when no
    // label wanted either.
    bool Tick();

    QTimer timer_;
    std::vector<TSafeLabel*> labels_;
    static std::atomic<bool> armed_;
};

}  // namespace rollmode::display
