#include "platform/WorkingFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;
using namespace rollmode::platform;

namespace {

std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Write(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

// A program folder with a RollMode.ini beside the program, and a home for the user.
class WorkingFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "workfolderXXXXXX";
        root_ = mkdtemp(pattern.data());
        program_ = root_ / "program";
        fs::create_directories(program_);
        Write(program_ / "RollMode.ini", "shipped defaults\r\n");
        user_ = root_ / "data" / "corvo-rollmode";
    }
    void TearDown() override {
        fs::permissions(program_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(root_);
    }
    void MarkInstalled() { Write(program_ / kInstalledMarker, ""); }

    fs::path root_, program_, user_;
};

}  // namespace

TEST(UserDataFolder, XdgDataHomeWhenAbsoluteElseHome) {
    EXPECT_EQ(UserDataFolder("/x/data", "/home/u"), fs::path("/x/data/corvo-rollmode"));
    // A relative XDG_DATA_HOME is not a valid setting and is passed over, as is an empty one.
    EXPECT_EQ(UserDataFolder("rel/data", "/home/u"), fs::path("/home/u/.local/share/corvo-rollmode"));
    EXPECT_EQ(UserDataFolder("", "/home/u"), fs::path("/home/u/.local/share/corvo-rollmode"));
    EXPECT_EQ(UserDataFolder(nullptr, "/home/u"), fs::path("/home/u/.local/share/corvo-rollmode"));
    EXPECT_TRUE(UserDataFolder(nullptr, "").empty());
    EXPECT_TRUE(UserDataFolder(nullptr, nullptr).empty());
}

TEST_F(WorkingFolderTest, WritableUninstalledFolderKeepsItsFilesBesideTheProgram) {
    const WorkingFolder w = PrepareWorkingFolder(program_, user_);
    EXPECT_EQ(w.path, program_);
    EXPECT_FALSE(w.perUser);
    EXPECT_TRUE(w.problem.empty());
    EXPECT_FALSE(fs::exists(user_)) << "a portable copy leaves the user's data folder alone";
}

TEST_F(WorkingFolderTest, InstalledCopyStartsTheUserFolderWithTheShippedSettingsOnce) {
    MarkInstalled();
    // Shipped read-only: the user's copy must still be writable.
    fs::permissions(program_ / "RollMode.ini", fs::perms::owner_read | fs::perms::group_read);
    const WorkingFolder first = PrepareWorkingFolder(program_, user_);
    EXPECT_EQ(first.path, user_);
    EXPECT_TRUE(first.perUser);
    EXPECT_TRUE(first.created);
    EXPECT_TRUE(first.problem.empty()) << first.problem;
    EXPECT_EQ(Read(user_ / "RollMode.ini"), "shipped defaults\r\n");
    EXPECT_TRUE((fs::status(user_ / "RollMode.ini").permissions() & fs::perms::owner_write) != fs::perms::none);
    EXPECT_EQ(fs::status(user_).permissions() & fs::perms::all, fs::perms::owner_all);

    // The user's own settings are never replaced by the shipped ones.
    Write(user_ / "RollMode.ini", "the user's settings\r\n");
    const WorkingFolder again = PrepareWorkingFolder(program_, user_);
    EXPECT_EQ(again.path, user_);
    EXPECT_FALSE(again.created);
    EXPECT_EQ(Read(user_ / "RollMode.ini"), "the user's settings\r\n");

    // A file that went missing later stays missing, so the program reports it.
    fs::remove(user_ / "RollMode.ini");
    EXPECT_EQ(PrepareWorkingFolder(program_, user_).path, user_);
    EXPECT_FALSE(fs::exists(user_ / "RollMode.ini"));
}

TEST_F(WorkingFolderTest, ReadersTakeTheSettingsTheProgramWouldWithoutCreatingAnything) {
    EXPECT_EQ(SettingsFileToRead(program_, user_), program_ / "RollMode.ini");  // portable
    MarkInstalled();
    // Before the first start: the shipped file the start would copy; nothing is made.
    EXPECT_EQ(SettingsFileToRead(program_, user_), program_ / "RollMode.ini");
    EXPECT_FALSE(fs::exists(user_));
    PrepareWorkingFolder(program_, user_);
    EXPECT_EQ(SettingsFileToRead(program_, user_), user_ / "RollMode.ini");
    // Gone later: the user's missing file, not the shipped defaults.
    fs::remove(user_ / "RollMode.ini");
    EXPECT_EQ(SettingsFileToRead(program_, user_), user_ / "RollMode.ini");
}

TEST_F(WorkingFolderTest, WithoutShippedSettingsTheFolderIsStillMade) {
    MarkInstalled();
    fs::remove(program_ / "RollMode.ini");
    const WorkingFolder w = PrepareWorkingFolder(program_, user_);
    EXPECT_EQ(w.path, user_);
    EXPECT_TRUE(fs::is_directory(user_));
    EXPECT_FALSE(fs::exists(user_ / "RollMode.ini"));
}

TEST_F(WorkingFolderTest, ReadOnlyProgramFolderUsesTheUserFolder) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders; the installed marker covers it";
    fs::permissions(program_, fs::perms::owner_read | fs::perms::owner_exec);
    const WorkingFolder w = PrepareWorkingFolder(program_, user_);
    EXPECT_TRUE(w.perUser);
    EXPECT_EQ(w.path, user_);
    EXPECT_EQ(Read(user_ / "RollMode.ini"), "shipped defaults\r\n");
}

TEST_F(WorkingFolderTest, UserFolderThatCannotBeMadeIsReportedNotUsed) {
    MarkInstalled();
    Write(root_ / "data", "a file where the folder should be");
    const WorkingFolder w = PrepareWorkingFolder(program_, user_);
    EXPECT_TRUE(w.perUser);
    EXPECT_TRUE(w.path.empty());
    EXPECT_FALSE(w.problem.empty());

    const WorkingFolder homeless = PrepareWorkingFolder(program_, fs::path());
    EXPECT_TRUE(homeless.path.empty());
    EXPECT_FALSE(homeless.problem.empty());
}
