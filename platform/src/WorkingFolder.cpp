#include "platform/WorkingFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <vector>

#include "platform/ProgramPath.h"

namespace rollmode::platform {

namespace fs = std::filesystem;

fs::path UserDataFolder(const char* xdgDataHome, const char* home) {
    // A relative XDG_DATA_HOME is invalid and ignored, as the base directory rules say.
    if (xdgDataHome != nullptr && xdgDataHome[0] == '/') return fs::path(xdgDataHome) / kUserFolderName;
    if (home != nullptr && home[0] != '\0') return fs::path(home) / ".local" / "share" / kUserFolderName;
    return {};
}

fs::path UserDataFolder() {
    const char* home = std::getenv("HOME");
    std::string fromPasswd;
    if (home == nullptr || home[0] == '\0') {
        long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
        std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
        passwd entry{};
        passwd* found = nullptr;
        if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
            found->pw_dir != nullptr) {
            fromPasswd = found->pw_dir;
            home = fromPasswd.c_str();
        }
    }
    return UserDataFolder(std::getenv("XDG_DATA_HOME"), home);
}

bool NeedsUserFolder(const fs::path& programFolder) {
    std::error_code ec;
    if (fs::exists(programFolder / kInstalledMarker, ec)) return true;
    return ::access(programFolder.c_str(), W_OK) != 0;
}

WorkingFolder PrepareWorkingFolder(const fs::path& programFolder, const fs::path& userFolder) {
    WorkingFolder result;
    if (!NeedsUserFolder(programFolder)) {
        result.path = programFolder;
        return result;
    }
    result.perUser = true;
    if (userFolder.empty()) {
        result.problem = "no home folder is known";
        return result;
    }
    std::error_code ec;
    if (fs::is_directory(userFolder, ec)) {
        result.path = userFolder;
        return result;
    }
    fs::create_directories(userFolder.parent_path(), ec);
    // The folder itself owner-only: it holds the user's measurements.
    if (::mkdir(userFolder.c_str(), 0700) != 0 && errno != EEXIST) {
        result.problem = "cannot create " + userFolder.string() + ": " + std::strerror(errno);
        return result;
    }
    result.path = userFolder;
    result.created = true;
    const fs::path seed = programFolder / kSeededSettingsFile;
    if (fs::is_regular_file(seed, ec)) {
        fs::copy_file(seed, userFolder / kSeededSettingsFile, fs::copy_options::skip_existing, ec);
        if (ec) result.problem = "cannot copy " + seed.string() + ": " + ec.message();
        // Copied from a read-only tree, the file would keep its read-only mode.
        fs::permissions(userFolder / kSeededSettingsFile, fs::perms::owner_read | fs::perms::owner_write,
                        fs::perm_options::add, ec);
    }
    return result;
}

WorkingFolder PrepareWorkingFolder() { return PrepareWorkingFolder(ProgramDirectory(), UserDataFolder()); }

fs::path SettingsFileToRead(const fs::path& programFolder, const fs::path& userFolder) {
    std::error_code ec;
    if (NeedsUserFolder(programFolder) && !userFolder.empty() && fs::is_directory(userFolder, ec)) {
        return userFolder / kSeededSettingsFile;
    }
    return programFolder / kSeededSettingsFile;
}

fs::path SettingsFileToRead() { return SettingsFileToRead(ProgramDirectory(), UserDataFolder()); }

}  // namespace rollmode::platform
