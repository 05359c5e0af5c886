#include "platform/PrivateFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace rollmode::platform {

std::filesystem::path FallbackRuntimeFolder() { return "/tmp/rollmode-devices-" + std::to_string(::getuid()); }

std::string CheckOwnFolder(const std::filesystem::path& folder) {
    const std::string name = "The folder " + folder.string();
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) return name + " cannot be used: " + std::strerror(errno) + ".";
    if (S_ISLNK(info.st_mode)) return name + " is a symbolic link.";
    if (!S_ISDIR(info.st_mode)) return name + " is not a folder.";
    if (info.st_uid != ::geteuid()) return name + " belongs to another user.";
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) return name + " can be written by other users.";
    return {};
}

std::string PreparePrivateFolder(const std::filesystem::path& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno == ENOENT) {
        std::error_code ec;
        std::filesystem::create_directories(folder.parent_path(), ec);
        (void)::mkdir(folder.c_str(), 0700);
    }
    if (std::string why = CheckOwnFolder(folder); !why.empty()) return why;
    // Ours and closed to writers: what an older run left readable for others is closed now.
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) return "The folder " + folder.string() + " vanished.";
    if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0)
        return "The folder " + folder.string() + " cannot be closed to other users: " + std::strerror(errno) + ".";
    return {};
}

}  // namespace rollmode::platform
