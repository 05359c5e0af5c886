#pragma once
// Ending the program on the core's request, and posting work to the user-interface
// thread.
#include <atomic>
#include <functional>

#include "ports/ApplicationControl.h"

namespace rollmode::shell {

class QtApplicationControl final : public core::ApplicationControl {
public:
    // Marks the program as terminating and ends every running event loop once the
    // current handler returns. Asked before the message loop has started (during
    // start-up), the flag tells the program entry not to start it. Any thread.
    void RequestTerminate() override;

    bool TerminationRequested() const { return terminating_.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> terminating_{false};
};

// Runs `fn` on the user-interface thread at its next pass through the event loop.
// Any thread; returns at once. This is how the core's synchronous user-interface
// call wakes that thread.
void PostToGuiThread(std::function<void()> fn);

}  // namespace rollmode::shell
