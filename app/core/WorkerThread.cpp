#include "WorkerThread.h"

#include <chrono>

#include "UiCallQueue.h"

namespace rollmode::core {

TWorkerThread::~TWorkerThread() {
    // A subclass must have joined (its Execute uses its members); this only
    // guards against terminating the process on a forgotten join.
    if (thread_.joinable()) {
        Terminate();
        thread_.join();
    }
}

void TWorkerThread::Start() {
    if (thread_.joinable()) return;
    thread_ = std::thread([this] { Run(); });
}

void TWorkerThread::Run() {
    nativeId_.store(platform::CurrentNativeThreadId(), std::memory_order_relaxed);
    if (priority_.load(std::memory_order_relaxed) != platform::ThreadPriority::Normal)
        (void)platform::SetCurrentThreadPriority(priority_.load(std::memory_order_relaxed));
    Execute();
    finished_.store(true, std::memory_order_release);
    if (auto* ui = poke_.load(std::memory_order_acquire)) ui->Poke();
}

void TWorkerThread::SetPriority(platform::ThreadPriority priority) {
    priority_.store(priority, std::memory_order_relaxed);
    const auto id = nativeId_.load(std::memory_order_relaxed);
    if (id != 0 && !Finished()) (void)platform::SetThreadPriority(id, priority);
}

bool TWorkerThread::WaitFor(TUiCallQueue* ui, int64_t timeoutMs) {
    if (!thread_.joinable()) return true;
    if (ui) {
        poke_.store(ui, std::memory_order_release);
        return ui->ServeUntil([this] { return Finished(); }, timeoutMs);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!Finished()) {
        if (timeoutMs >= 0 && std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void TWorkerThread::Join(TUiCallQueue* ui) {
    if (!thread_.joinable()) return;
    WaitFor(ui, -1);
    thread_.join();
}

}  // namespace rollmode::core
