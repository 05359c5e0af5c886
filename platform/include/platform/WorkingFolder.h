#pragma once
// Where the program keeps its working files (RollMode.ini, RollModeSettings.dat and the
// default record file): beside itself when its folder is a writable copy (the build tree,
// a copy on a stick), else in the user's data folder. An installed copy is marked so,
// because root can write into any folder and must not change the installed tree.
#include <filesystem>
#include <string>

namespace rollmode::platform {

// Name of the file the install places beside the program.
inline constexpr const char* kInstalledMarker = "corvo-rollmode.installed";
// Folder name below the user's data folder.
inline constexpr const char* kUserFolderName = "corvo-rollmode";
// The settings file seeded into a new per-user folder from the program's folder.
inline constexpr const char* kSeededSettingsFile = "RollMode.ini";

struct WorkingFolder {
    std::filesystem::path path;
    bool perUser = false;      // the user's data folder rather than the program's own
    bool created = false;      // the per-user folder was made by this call
    std::string problem;       // what went wrong preparing it; path is empty when no folder was had
};

// $XDG_DATA_HOME/corvo-rollmode when XDG_DATA_HOME is an absolute path, else
// <home>/.local/share/corvo-rollmode; empty when no home is known.
std::filesystem::path UserDataFolder(const char* xdgDataHome, const char* home);
// The same from the environment, the password database standing in for a missing HOME.
std::filesystem::path UserDataFolder();

// True when the program folder is marked as installed or the user cannot write into it.
bool NeedsUserFolder(const std::filesystem::path& programFolder);

// Chooses the working folder for a program in programFolder. A per-user folder that does
// not exist yet is created (owner only) and receives a copy of the program folder's
// RollMode.ini, so a first start finds settings; a folder that already exists is left as
// it is, so a settings file that went missing later is still reported.
WorkingFolder PrepareWorkingFolder(const std::filesystem::path& programFolder,
                                   const std::filesystem::path& userFolder);
// The same with the program's own folder and UserDataFolder().
WorkingFolder PrepareWorkingFolder();

// The RollMode.ini a tool that only reads the settings (the headless recorder) uses, without
// creating anything: the working folder's, or, before the program's first start there, the
// one that start would copy in. A working folder whose file went missing gives its missing file.
std::filesystem::path SettingsFileToRead(const std::filesystem::path& programFolder,
                                         const std::filesystem::path& userFolder);
std::filesystem::path SettingsFileToRead();

}  // namespace rollmode::platform
