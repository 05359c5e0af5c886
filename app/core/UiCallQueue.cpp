#include "UiCallQueue.h"

#include <chrono>

namespace rollmode::core {

TUiCallQueue::TUiCallQueue(std::function<void()> wake)
    : uiThread_(std::this_thread::get_id()), wake_(std::move(wake)) {}

void TUiCallQueue::SetWake(std::function<void()> wake) {
    std::lock_guard guard(mutex_);
    wake_ = std::move(wake);
}

void TUiCallQueue::InvokeSync(const std::function<void()>& fn) {
    if (IsUiThread()) {
        fn();
        return;
    }
    Call call{&fn};
    std::function<void()> wake;
    {
        std::lock_guard guard(mutex_);
        queue_.push_back(&call);
        wake = wake_;
    }
    cv_.notify_all();
    if (wake) wake();
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [&] { return call.done; });
}

void TUiCallQueue::ProcessPending() {
    for (;;) {
        Call* call;
        {
            std::lock_guard guard(mutex_);
            if (queue_.empty()) return;
            call = queue_.front();
            queue_.pop_front();
        }
        // Runs without the queue lock: the call may show a dialog or notify listeners.
        (*call->fn)();
        {
            std::lock_guard guard(mutex_);
            call->done = true;
        }
        cv_.notify_all();
    }
}

bool TUiCallQueue::ServeUntil(const std::function<bool()>& done, int64_t timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        ProcessPending();
        if (done()) return true;
        std::unique_lock lock(mutex_);
        const uint64_t seen = pokes_;
        auto ready = [&] { return !queue_.empty() || pokes_ != seen; };
        if (timeoutMs < 0) {
            // A short slice as well, in case `done` changed without a poke.
            cv_.wait_for(lock, std::chrono::milliseconds(10), ready);
        } else {
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline) {
                lock.unlock();
                ProcessPending();
                return done();
            }
            cv_.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(10)), ready);
        }
    }
}

void TUiCallQueue::Poke() {
    {
        std::lock_guard guard(mutex_);
        ++pokes_;
    }
    cv_.notify_all();
}

}  // namespace rollmode::core
