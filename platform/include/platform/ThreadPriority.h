#pragma once

namespace rollmode::platform {

enum class ThreadPriority { Normal, TimeCritical };

// Sets the calling thread's priority. The system may refuse (no privilege for
// real-time scheduling); that is not an error, the result only says whether it took.
bool SetCurrentThreadPriority(ThreadPriority priority);

}  // namespace rollmode::platform
