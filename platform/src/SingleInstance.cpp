#include "platform/SingleInstance.h"

#include "platform/PrivateFolder.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rollmode::platform {

std::filesystem::path SingleInstanceLock::PathFor(std::string_view mutexName) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] != '\0') {
        return std::filesystem::path(runtime) / (std::string(mutexName) + ".lock");
    }
    // Not in /tmp itself, which every user can write: in this user's own folder, which
    // the caller checks (PreparePrivateFolder) before taking the lock.
    return FallbackRuntimeFolder() / (std::string(mutexName) + ".lock");
}

SingleInstanceLock::SingleInstanceLock(const std::filesystem::path& lockFile) {
    // Close-on-exec: a program we start (the viewer) must not inherit the lock.
    // No symlinks followed; not blocking, so a FIFO in place of the file cannot hold the
    // start (the type check below refuses it).
    fd_ = ::open(lockFile.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600);
    if (fd_ < 0) {
        return;
    }
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid()) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    int rc;
    do {
        rc = ::flock(fd_, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) {
        state_ = State::Acquired;
        return;
    }
    state_ = (errno == EWOULDBLOCK) ? State::HeldElsewhere : State::Unavailable;
    ::close(fd_);
    fd_ = -1;
}

SingleInstanceLock::~SingleInstanceLock() {
    if (fd_ >= 0) {
        // Closing the last descriptor of the open file releases the lock. The file
        // itself stays: removing it would race with an instance that has just opened it.
        ::close(fd_);
    }
}

}  // namespace rollmode::platform
