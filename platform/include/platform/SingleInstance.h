#pragma once
// One program instance per user: an exclusive advisory lock on a file named after
// the instance mutex. The kernel drops the lock when the holder ends, however it
// ends, so a crashed instance never blocks the next start.
#include <filesystem>
#include <string_view>

namespace rollmode::platform {

class SingleInstanceLock {
public:
    enum class State {
        Acquired,       // this object holds the lock
        HeldElsewhere,  // another instance (or another lock object) holds it
        Unavailable     // the lock file could not be opened, is not a regular file or is not ours
    };

    // Lock file for a mutex name: $XDG_RUNTIME_DIR/<name>.lock, else
    // /tmp/rollmode-devices-<uid>/<name>.lock. Its folder is to be prepared with
    // PreparePrivateFolder before the lock is taken.
    static std::filesystem::path PathFor(std::string_view mutexName);

    explicit SingleInstanceLock(const std::filesystem::path& lockFile);
    ~SingleInstanceLock();

    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    State Status() const { return state_; }
    bool Acquired() const { return state_ == State::Acquired; }

private:
    int fd_ = -1;
    State state_ = State::Unavailable;
};

}  // namespace rollmode::platform
