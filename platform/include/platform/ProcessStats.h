#pragma once
#include <string>

namespace rollmode::platform {

// CPU seconds (user + system) a process has used, from the kernel's own accounting;
// `pid` is a process id or "self". -1 when it cannot be read.
double ProcessCpuSeconds(const std::string& pid);

}  // namespace rollmode::platform
