#pragma once
#include <filesystem>
#include <optional>

namespace rollmode::platform {

// Folder of the running executable, or nullopt when it cannot be read.
std::optional<std::filesystem::path> ProgramDirectoryIfKnown();

// Folder of the running executable; the current folder when it cannot be read. Not
// for finding code to load (see ProgramDirectoryIfKnown).
std::filesystem::path ProgramDirectory();

}  // namespace rollmode::platform
