#pragma once
// A worker thread that is created first and started later, can be asked to end,
// and can be waited for while the user-interface thread keeps serving its calls.
#include <atomic>
#include <cstdint>
#include <thread>

#include "platform/ThreadPriority.h"

namespace rollmode::core {

class TUiCallQueue;

class TWorkerThread {
public:
    TWorkerThread() = default;
    virtual ~TWorkerThread();
    TWorkerThread(const TWorkerThread&) = delete;
    TWorkerThread& operator=(const TWorkerThread&) = delete;

    void Start();
    void Terminate() { terminated_.store(true, std::memory_order_relaxed); }
    bool Terminated() const { return terminated_.load(std::memory_order_relaxed); }
    bool Finished() const { return finished_.load(std::memory_order_acquire); }
    bool Started() const { return thread_.joinable(); }

    // Waits for the end while serving the user-interface calls of `ui` (which may be
    // null); timeoutMs < 0 waits without limit. Returns whether the thread ended.
    bool WaitFor(TUiCallQueue* ui, int64_t timeoutMs);
    // Waits without limit, then releases the thread.
    void Join(TUiCallQueue* ui);

    // Applied at once when running, else as soon as the thread starts.
    void SetPriority(platform::ThreadPriority priority);
    platform::ThreadPriority Priority() const { return priority_.load(std::memory_order_relaxed); }

protected:
    virtual void Execute() = 0;

private:
    void Run();

    std::thread thread_;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> finished_{false};
    std::atomic<platform::NativeThreadId> nativeId_{0};
    std::atomic<platform::ThreadPriority> priority_{platform::ThreadPriority::Normal};
    std::atomic<TUiCallQueue*> poke_{nullptr};
};

}  // namespace rollmode::core
