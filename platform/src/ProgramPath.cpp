#include "platform/ProgramPath.h"

#include <system_error>

namespace rollmode::platform {

std::optional<std::filesystem::path> ProgramDirectoryIfKnown() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || !exe.is_absolute()) return std::nullopt;
    return exe.parent_path();
}

std::filesystem::path ProgramDirectory() {
    if (auto folder = ProgramDirectoryIfKnown()) return *folder;
    std::error_code ec;
    return std::filesystem::current_path(ec);
}

}  // namespace rollmode::platform
