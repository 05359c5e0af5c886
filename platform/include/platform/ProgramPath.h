#pragma once
#include <filesystem>

namespace rollmode::platform {

// Folder of the running executable.
std::filesystem::path ProgramDirectory();

}  // namespace rollmode::platform
