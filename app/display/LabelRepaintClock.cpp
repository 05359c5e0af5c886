#include "LabelRepaintClock.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>

#include <algorithm>

#include "SafeLabel.h"

namespace rollmode::display {

std::atomic<bool> TLabelRepaintClock::armed_{false};

namespace {
QPointer<TLabelRepaintClock> g_clock;  // user-interface thread
}

TLabelRepaintClock::TLabelRepaintClock(QObject* parent) : QObject(parent) {
    timer_.setInterval(kIntervalMs);
    connect(&timer_, &QTimer::timeout, this, [this] { OnTick(); });
}

// With the application gone, a start still queued to it is dropped: the next one must post again.
TLabelRepaintClock::~TLabelRepaintClock() { armed_.store(false, std::memory_order_release); }

TLabelRepaintClock& TLabelRepaintClock::Instance() {
    if (g_clock.isNull()) g_clock = new TLabelRepaintClock(QCoreApplication::instance());
    return *g_clock;
}

void TLabelRepaintClock::Register(TSafeLabel* label) { Instance().labels_.push_back(label); }

void TLabelRepaintClock::Unregister(TSafeLabel* label) {
    if (g_clock.isNull()) return;
    auto& labels = g_clock->labels_;
    labels.erase(std::remove(labels.begin(), labels.end(), label), labels.end());
}

void TLabelRepaintClock::Request() {
    if (armed_.exchange(true, std::memory_order_acq_rel)) return;
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return;
    // Queued even on the user-interface thread: texts set in a row become one paint.
    QMetaObject::invokeMethod(app, [] { Instance().Start(); }, Qt::QueuedConnection);
}

void TLabelRepaintClock::Start() {
    if (timer_.isActive()) return;
    if (Tick()) {
        timer_.start();
    } else {
        armed_.store(false, std::memory_order_release);
    }
}

void TLabelRepaintClock::OnTick() {
    if (Tick()) return;
    timer_.stop();
    armed_.store(false, std::memory_order_release);
    // A text that came after this tick's look found the clock still armed and posted nothing.
    if (std::any_of(labels_.begin(), labels_.end(), [](TSafeLabel* l) { return l->RepaintWanted(); }) &&
        !armed_.exchange(true, std::memory_order_acq_rel))
        timer_.start();
}

bool TLabelRepaintClock::Tick() {
    bool any = false;
    for (TSafeLabel* label : labels_) {
        if (label->TakeRepaintWanted()) {
            label->update();
            any = true;
        }
    }
    return any;
}

}  // namespace rollmode::display
