#include "platform/ThreadPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace rollmode::platform {

NativeThreadId CurrentNativeThreadId() { return static_cast<NativeThreadId>(syscall(SYS_gettid)); }

bool SetThreadPriority(NativeThreadId thread, ThreadPriority priority) {
    if (thread <= 0) return false;
    // A per-thread nice value rather than a real-time policy: a time-critical
    // thread must win over ordinary work, never starve the rest of the system.
    const int nice = priority == ThreadPriority::TimeCritical ? -15 : 0;
    return setpriority(PRIO_PROCESS, static_cast<id_t>(thread), nice) == 0;
}

bool SetCurrentThreadPriority(ThreadPriority priority) {
    return SetThreadPriority(CurrentNativeThreadId(), priority);
}

}  // namespace rollmode::platform
