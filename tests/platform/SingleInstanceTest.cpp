#include "platform/SingleInstance.h"
#include "platform/PrivateFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using rollmode::platform::SingleInstanceLock;

namespace {

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("rollmode-lock-test-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        lockFile_ = dir_ / "VANTO_CORVO_SW.lock";
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
    fs::path lockFile_;
};

// Restores an environment variable when the test ends.
class EnvGuard {
public:
    explicit EnvGuard(const char* name) : name_(name) {
        if (const char* v = std::getenv(name)) old_ = v;
    }
    ~EnvGuard() {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace

TEST(SingleInstancePath, RuntimeFolderFirstElseTmpWithUid) {
    EnvGuard guard("XDG_RUNTIME_DIR");
    ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
    EXPECT_EQ(SingleInstanceLock::PathFor("VANTO_CORVO_SW"), fs::path("/run/user/4242/VANTO_CORVO_SW.lock"));
    ::setenv("XDG_RUNTIME_DIR", "", 1);
    // Not in /tmp itself, where anyone could plant the file first: in the user's own folder.
    EXPECT_EQ(SingleInstanceLock::PathFor("VANTO_CORVO_SW"),
              fs::path("/tmp/rollmode-devices-" + std::to_string(::getuid()) + "/VANTO_CORVO_SW.lock"));
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(SingleInstanceLock::PathFor("X").parent_path(), rollmode::platform::FallbackRuntimeFolder());
}

TEST_F(SingleInstanceTest, AFifoInPlaceOfTheLockFileIsRefusedWithoutBlocking) {
    ASSERT_EQ(::mkfifo(lockFile_.c_str(), 0600), 0);
    // Opening a FIFO for reading would wait for a writer forever: a watchdog child ends
    // the test instead of hanging the run.
    const pid_t watchdog = ::fork();
    ASSERT_GE(watchdog, 0);
    if (watchdog == 0) {
        ::sleep(10);
        ::kill(::getppid(), SIGKILL);
        ::_exit(0);
    }
    SingleInstanceLock lock(lockFile_);
    ::kill(watchdog, SIGKILL);
    ::waitpid(watchdog, nullptr, 0);
    EXPECT_EQ(lock.Status(), SingleInstanceLock::State::Unavailable);
}

// Another user's file at the lock path (run as root; skipped otherwise).
TEST_F(SingleInstanceTest, ALockFileOfAnotherUserIsNotUsed) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a file of another user";
    { SingleInstanceLock make(lockFile_); }
    ASSERT_EQ(::chown(lockFile_.c_str(), 4321, 4321), 0);
    SingleInstanceLock lock(lockFile_);
    EXPECT_EQ(lock.Status(), SingleInstanceLock::State::Unavailable);
}

TEST_F(SingleInstanceTest, SecondHolderIsRefusedUntilTheFirstLetsGo) {
    {
        SingleInstanceLock first(lockFile_);
        ASSERT_EQ(first.Status(), SingleInstanceLock::State::Acquired);
        SingleInstanceLock second(lockFile_);
        EXPECT_EQ(second.Status(), SingleInstanceLock::State::HeldElsewhere);
        EXPECT_FALSE(second.Acquired());
    }
    SingleInstanceLock third(lockFile_);
    EXPECT_TRUE(third.Acquired());
}

TEST_F(SingleInstanceTest, LockOfAKilledProcessIsReleased) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        SingleInstanceLock held(lockFile_);
        const char state = held.Acquired() ? 'A' : 'N';
        if (::write(ready[1], &state, 1) != 1) ::_exit(2);
        for (;;) ::pause();  // killed by the parent, never leaves
    }
    ::close(ready[1]);
    char state = 0;
    ASSERT_EQ(::read(ready[0], &state, 1), 1);
    ::close(ready[0]);
    EXPECT_EQ(state, 'A');

    {
        SingleInstanceLock mine(lockFile_);
        EXPECT_EQ(mine.Status(), SingleInstanceLock::State::HeldElsewhere);
    }
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status));

    SingleInstanceLock after(lockFile_);
    EXPECT_TRUE(after.Acquired());
}

TEST_F(SingleInstanceTest, ProgramStartedByTheHolderDoesNotKeepTheLock) {
    // The program starts the viewer; when the program ends, the viewer must not go on
    // holding the lock and lock out the next start.
    pid_t viewer = -1;
    {
        SingleInstanceLock mine(lockFile_);
        ASSERT_TRUE(mine.Acquired());
        // The close-on-exec pipe reads end-of-file once the child has run exec.
        int execed[2];
        ASSERT_EQ(::pipe2(execed, O_CLOEXEC), 0);
        viewer = ::fork();
        ASSERT_GE(viewer, 0);
        if (viewer == 0) {
            ::execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(execed[1]);
        char byte;
        EXPECT_EQ(::read(execed[0], &byte, 1), 0);
        ::close(execed[0]);
    }
    SingleInstanceLock next(lockFile_);
    EXPECT_TRUE(next.Acquired());
    ::kill(viewer, SIGKILL);
    ::waitpid(viewer, nullptr, 0);
}

TEST_F(SingleInstanceTest, SymlinkInPlaceOfTheLockFileIsNotFollowed) {
    const fs::path target = dir_ / "elsewhere";
    fs::create_symlink(target, lockFile_);
    SingleInstanceLock lock(lockFile_);
    EXPECT_EQ(lock.Status(), SingleInstanceLock::State::Unavailable);
    EXPECT_FALSE(fs::exists(target));
}
