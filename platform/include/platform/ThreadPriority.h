#pragma once

namespace rollmode::platform {

enum class ThreadPriority { Normal, TimeCritical };

// The kernel's id of a thread, so another thread can change its priority.
using NativeThreadId = int;
NativeThreadId CurrentNativeThreadId();

// Sets a thread's priority. The system may refuse (raising needs a privilege most
// users lack); that is not an error, the result only says whether it took.
bool SetThreadPriority(NativeThreadId thread, ThreadPriority priority);
bool SetCurrentThreadPriority(ThreadPriority priority);

}  // namespace rollmode::platform
