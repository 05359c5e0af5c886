#pragma once
// The folders that hold this user's device sockets and instance lock. Whoever controls
// such a folder can serve a fake instrument or block the program, so a folder is used
// only when it is a real folder (not a link), belongs to this user and nobody else can
// write into it; the folders this program creates are closed to others entirely.
#include <filesystem>
#include <string>

namespace rollmode::platform {

// Where device sockets and the lock live when $XDG_RUNTIME_DIR is not set:
// /tmp/rollmode-devices-<uid>.
std::filesystem::path FallbackRuntimeFolder();

// Empty when `folder` exists and may be trusted as said above; otherwise the reason,
// in words for the user.
std::string CheckOwnFolder(const std::filesystem::path& folder);

// Creates `folder` with mode 0700 when missing (its parents as usual), checks it as
// CheckOwnFolder does and takes every access from group and others. Empty on success;
// otherwise the reason, and the folder must not be used.
std::string PreparePrivateFolder(const std::filesystem::path& folder);

}  // namespace rollmode::platform
