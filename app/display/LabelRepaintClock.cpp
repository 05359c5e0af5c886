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
TLabelRepaintClock::~TLabelRepaintClock() { armed_.store(false); }

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

// The wish flags and armed_ are sequentially consistent: a label that wants a paint while the
// clock stops either finds the clock disarmed and posts a start, or the stopping clock sees
// its wish (Disarm), never neither.
void TLabelRepaintClock::Request() {
    if (armed_.exchange(true)) return;
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
        Disarm();
    }
}

void TLabelRepaintClock::OnTick() {
    if (!Tick()) Disarm();
}

void TLabelRepaintClock::Disarm() {
    timer_.stop();
    armed_.store(false);
    // A text that came after the last look found the clock still armed and posted nothing.
    if (std::any_of(labels_.begin(), labels_.end(), [](TSafeLabel* l) { return l->Wanted(); }) &&
        !armed_.exchange(true))
        timer_.start();
}

bool TLabelRepaintClock::Tick() {
    bool any = false;
    for (TSafeLabel* label : labels_) any = label->ServeClock() || any;
    return any;
}

}  // namespace rollmode::display
