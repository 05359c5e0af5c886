#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace rollmode::platform {

// An event that releases one waiter and then resets itself.
class AutoResetEvent {
public:
    explicit AutoResetEvent(bool initiallySet = false) : signalled_(initiallySet) {}

    void Set();
    void Reset();
    // Waits until set or the timeout passes; true when it was set (and is now reset).
    bool Wait(uint32_t timeoutMs);
    // Waits without a time limit.
    void Wait();

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_;
};

}  // namespace rollmode::platform
