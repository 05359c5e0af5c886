#pragma once
// Synchronous calls from worker threads into the user-interface thread. A worker
// queues a call and sleeps until the user-interface thread has run it; the
// user-interface thread runs queued calls from its event loop (woken through the
// poster) and also while it waits for a worker to end, so the two never wait for
// each other.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "ports/UiThread.h"

namespace rollmode::core {

class TUiCallQueue final : public UiThread {
public:
    // `wake` asks the user-interface thread's event loop to call ProcessPending()
    // soon; it may be called from any thread. The constructing thread is taken as
    // the user-interface thread.
    explicit TUiCallQueue(std::function<void()> wake = {});

    void SetWake(std::function<void()> wake);
    bool IsUiThread() const { return std::this_thread::get_id() == uiThread_; }

    void InvokeSync(const std::function<void()>& fn) override;

    // User-interface thread: runs every call queued so far.
    void ProcessPending();

    // User-interface thread: serves queued calls until `done` holds or the timeout
    // passes (timeoutMs < 0: no limit). Returns whether `done` held.
    bool ServeUntil(const std::function<bool()>& done, int64_t timeoutMs);

    // Wakes a ServeUntil so it re-checks its condition (a worker has ended).
    void Poke();

private:
    struct Call {
        const std::function<void()>* fn;
        bool done = false;
    };

    std::thread::id uiThread_;
    std::function<void()> wake_;
    std::mutex mutex_;
    std::condition_variable cv_;  // calls queued, calls finished, pokes
    std::deque<Call*> queue_;
    uint64_t pokes_ = 0;
};

}  // namespace rollmode::core
