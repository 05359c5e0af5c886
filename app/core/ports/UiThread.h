#pragma once
#include <functional>

namespace rollmode::core {

// A synchronous call into the user-interface thread: the workers' only way to
// notify listeners or release and re-open the device. Runs the function on the
// user-interface thread and returns when it has finished; called on that thread,
// it runs the function at once.
class UiThread {
public:
    virtual ~UiThread() = default;
    virtual void InvokeSync(const std::function<void()>& fn) = 0;
};

}  // namespace rollmode::core
