#include "platform/ThreadPriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace rollmode::platform {

bool SetCurrentThreadPriority(ThreadPriority priority) {
    // A per-thread nice value rather than a real-time policy: a time-critical
    // thread must win over ordinary work, never starve the rest of the system.
    const int nice = priority == ThreadPriority::TimeCritical ? -15 : 0;
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    // Raising priority needs a privilege most users lack; a refusal only makes the
    // thread slower, never wrong.
    return setpriority(PRIO_PROCESS, tid, nice) == 0;
}

}  // namespace rollmode::platform
