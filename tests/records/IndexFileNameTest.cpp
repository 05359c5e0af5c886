#include "IndexFileName.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

using rollmode::records::IndexFileName;
using rollmode::records::IndexRemoval;
using rollmode::records::RemoveIndexFileOf;
namespace fs = std::filesystem;

namespace {

struct Folder {
    Folder() {
        std::string pattern = ::testing::TempDir() + "rmindXXXXXX";
        path = mkdtemp(pattern.data());
    }
    ~Folder() { fs::remove_all(path); }
    std::string File(const std::string& name) const { return (path / name).string(); }
    fs::path path;
};

void Touch(const std::string& name) { std::ofstream(name) << "data"; }

}  // namespace

TEST(IndexFile, TheRuleWorksOnTheFilesOwnNameOnly) {
    EXPECT_EQ(IndexFileName("sdata.rmd"), "sdata.ind");
    EXPECT_EQ(IndexFileName("/a.b/c.xyz"), "/a.b/c.ind");
    EXPECT_EQ(IndexFileName(".rmd"), ".ind");
    EXPECT_EQ(IndexFileName("/a.b/cde"), "/a.b/cde.ind") << "the folder's dot is no extension";
    EXPECT_EQ(IndexFileName("run.data"), "run.data.ind") << "a four-character extension";
    EXPECT_EQ(IndexFileName("X.IND"), "X.IND.ind");
}

TEST(IndexFile, ItsOwnIndexIsRemovedNothingElse) {
    Folder folder;
    Touch(folder.File("sdata.rmd"));
    Touch(folder.File("sdata.ind"));
    EXPECT_EQ(RemoveIndexFileOf(folder.File("sdata.rmd")), IndexRemoval::Removed);
    EXPECT_FALSE(fs::exists(folder.File("sdata.ind")));
    EXPECT_EQ(RemoveIndexFileOf(folder.File("sdata.rmd")), IndexRemoval::Absent);
    EXPECT_TRUE(fs::exists(folder.File("sdata.rmd")));

    // The names the old rule turned into the record itself or into "ind" elsewhere.
    for (const char* name : {"wind", "x.ind", "ab"}) {
        Touch(folder.File(name));
        Touch(folder.File("ind"));
        RemoveIndexFileOf(folder.File(name));
        EXPECT_TRUE(fs::exists(folder.File(name))) << name;
        EXPECT_TRUE(fs::exists(folder.File("ind"))) << name;
    }
    // A name without extension in a sub-folder: the parent's "ind" stays.
    fs::create_directory(folder.path / "d");
    Touch(folder.File("d/x"));
    Touch(folder.File("d/x.ind"));
    EXPECT_EQ(RemoveIndexFileOf(folder.File("d/x")), IndexRemoval::Removed);
    EXPECT_TRUE(fs::exists(folder.File("ind")));
    EXPECT_TRUE(fs::exists(folder.File("d/x")));
}

TEST(IndexFile, AnythingButASeparateRegularFileIsKept) {
    Folder folder;
    const std::string record = folder.File("run.rmd");
    Touch(record);
    // A hard link to the record under the index name is the record itself.
    ASSERT_EQ(::link(record.c_str(), folder.File("run.ind").c_str()), 0);
    EXPECT_EQ(RemoveIndexFileOf(record), IndexRemoval::Kept);
    EXPECT_TRUE(fs::exists(folder.File("run.ind")));
    fs::remove(folder.File("run.ind"));

    // A link, a folder and a FIFO under the index name are not files we wrote.
    Touch(folder.File("elsewhere"));
    fs::create_symlink(folder.File("elsewhere"), folder.File("run.ind"));
    EXPECT_EQ(RemoveIndexFileOf(record), IndexRemoval::Kept);
    EXPECT_TRUE(fs::is_symlink(folder.File("run.ind")));
    fs::remove(folder.File("run.ind"));
    fs::create_directory(folder.File("run.ind"));
    EXPECT_EQ(RemoveIndexFileOf(record), IndexRemoval::Kept);
    fs::remove(folder.File("run.ind"));
    ASSERT_EQ(mkfifo(folder.File("run.ind").c_str(), 0600), 0);
    EXPECT_EQ(RemoveIndexFileOf(record), IndexRemoval::Kept);
    EXPECT_TRUE(fs::exists(folder.File("run.ind")));

    // A record reached through a link whose target is the index.
    fs::remove(folder.File("run.ind"));
    Touch(folder.File("loop.ind"));
    fs::create_symlink(folder.File("loop.ind"), folder.File("loop.rmd"));
    EXPECT_EQ(RemoveIndexFileOf(folder.File("loop.rmd")), IndexRemoval::Kept);
    EXPECT_TRUE(fs::exists(folder.File("loop.ind")));
}
