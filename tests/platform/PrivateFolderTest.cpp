#include "platform/PrivateFolder.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/DeviceIo.h"

namespace fs = std::filesystem;
using rollmode::platform::CheckOwnFolder;
using rollmode::platform::PreparePrivateFolder;

namespace {

constexpr uid_t kOtherUser = 4321;

struct Scratch {
    Scratch() {
        char pattern[] = "/tmp/rmpriv-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~Scratch() { fs::remove_all(path); }
    fs::path path;
};

mode_t ModeOf(const fs::path& p) {
    struct stat info {};
    ::lstat(p.c_str(), &info);
    return info.st_mode & 07777;
}

}  // namespace

TEST(PrivateFolder, AMissingFolderIsCreatedClosedToOthers) {
    Scratch scratch;
    const fs::path folder = scratch.path / "a" / "devices";
    EXPECT_EQ(PreparePrivateFolder(folder), "");
    EXPECT_EQ(ModeOf(folder), 0700u);
    // A folder of ours that others could read (an older run's) is closed.
    const fs::path open = scratch.path / "open";
    ASSERT_EQ(::mkdir(open.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(open.c_str(), 0755), 0);
    EXPECT_EQ(PreparePrivateFolder(open), "");
    EXPECT_EQ(ModeOf(open), 0700u);
}

TEST(PrivateFolder, ALinkAFileOrAFolderOthersCanWriteIsRefused) {
    Scratch scratch;
    const fs::path real = scratch.path / "real";
    fs::create_directory(real);
    const fs::path link = scratch.path / "link";
    fs::create_directory_symlink(real, link);
    EXPECT_NE(PreparePrivateFolder(link).find("symbolic link"), std::string::npos);
    const fs::path file = scratch.path / "file";
    { std::FILE* f = std::fopen(file.c_str(), "w"); std::fclose(f); }
    EXPECT_NE(PreparePrivateFolder(file).find("not a folder"), std::string::npos);
    const fs::path shared = scratch.path / "shared";
    ASSERT_EQ(::mkdir(shared.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    EXPECT_NE(PreparePrivateFolder(shared).find("written by other users"), std::string::npos);
    EXPECT_EQ(ModeOf(shared), 01777u) << "refused, not silently changed";
}

// Another user creates /tmp/rollmode-devices-<uid> first and serves a fake instrument
// there (run as root; skipped otherwise).
TEST(PrivateFolder, AFolderOfAnotherUserIsRefusedAndItsDevicesAreNotSeen) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a folder of another user";
    Scratch scratch;
    const fs::path planted = scratch.path / "devices";
    ASSERT_EQ(::mkdir(planted.c_str(), 0700), 0);
    const fs::path classFolder = rollmode::platform::ClassFolder("{1234}", planted);
    ASSERT_EQ(::mkdir(classFolder.c_str(), 0700), 0);
    ASSERT_EQ(::chown(planted.c_str(), kOtherUser, kOtherUser), 0);
    EXPECT_NE(PreparePrivateFolder(planted).find("belongs to another user"), std::string::npos);
    EXPECT_NE(CheckOwnFolder(planted), "");
    EXPECT_FALSE(rollmode::platform::EnumerateDeviceInterfaces("{1234}", planted).has_value());

    // Our folder, with a class folder another user slipped in.
    ASSERT_EQ(::chown(planted.c_str(), 0, 0), 0);
    ASSERT_TRUE(rollmode::platform::EnumerateDeviceInterfaces("{1234}", planted).has_value());
    ASSERT_EQ(::chown(classFolder.c_str(), kOtherUser, kOtherUser), 0);
    EXPECT_FALSE(rollmode::platform::EnumerateDeviceInterfaces("{1234}", planted).has_value());
}

TEST(PrivateFolder, ASymlinkedClassFolderIsNotEnumerated) {
    Scratch scratch;
    const fs::path elsewhere = scratch.path / "elsewhere";
    fs::create_directory(elsewhere);
    const fs::path root = scratch.path / "devices";
    fs::create_directory(root);
    fs::create_directory_symlink(elsewhere, rollmode::platform::ClassFolder("{1234}", root));
    EXPECT_FALSE(rollmode::platform::EnumerateDeviceInterfaces("{1234}", root).has_value());
}
