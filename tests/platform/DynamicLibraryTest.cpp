#include "platform/DynamicLibrary.h"
#include "platform/ProgramPath.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

using rollmode::platform::DynamicLibrary;
using rollmode::platform::MapLibraryName;

TEST(LibraryName, DllSuffixBecomesSoInAnyCase) {
    EXPECT_EQ(MapLibraryName("PeltaRMDrv.dll"), "PeltaRMDrv.so");
    EXPECT_EQ(MapLibraryName("brask.DLL"), "brask.so");
    EXPECT_EQ(MapLibraryName("plain.so"), "plain.so");
    EXPECT_EQ(MapLibraryName("dll"), "dll");
}

TEST(DynamicLibrary, LoadsFromProgramFolderBindsAndUnloads) {
    // The test library is built into the same folder as this test program.
    auto lib = DynamicLibrary::Load("RollModeTestLib.dll");
    ASSERT_TRUE(lib.IsLoaded()) << lib.Error();
    using AnswerFn = int32_t (*)(int32_t);
    auto answer = lib.Bind<AnswerFn>("RollModeTestAnswer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(20), 41);
    EXPECT_EQ(lib.Bind<AnswerFn>("NoSuchEntry"), nullptr);

    DynamicLibrary moved = std::move(lib);
    EXPECT_FALSE(lib.IsLoaded());
    EXPECT_TRUE(moved.IsLoaded());
    moved.Unload();
    EXPECT_FALSE(moved.IsLoaded());
    EXPECT_EQ(moved.Symbol("RollModeTestAnswer"), nullptr);
}

TEST(DynamicLibrary, MissingLibraryReportsError) {
    auto lib = DynamicLibrary::Load("NoSuchLibraryAnywhere.dll");
    EXPECT_FALSE(lib.IsLoaded());
    EXPECT_FALSE(lib.Error().empty());
}

TEST(DynamicLibrary, WithoutTheProgramFolderNothingIsGuessed) {
    // The test library lies in the current folder here; an unknown program folder must
    // not turn into "the current folder".
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(rollmode::platform::ProgramDirectory());
    ASSERT_TRUE(std::filesystem::exists("RollModeTestLib.so"));
    auto lib = DynamicLibrary::LoadBeside("RollModeTestLib.dll", std::nullopt);
    std::filesystem::current_path(before);
    EXPECT_FALSE(lib.IsLoaded());
    EXPECT_NE(lib.Error().find("folder is unknown"), std::string::npos) << lib.Error();
}

TEST(DynamicLibrary, ABrokenCopyBesideTheProgramIsNotReplacedByTheSystemsCopy) {
    char pattern[] = "/tmp/rmlib-XXXXXX";
    const std::filesystem::path folder = mkdtemp(pattern);
    // libm is on every system's search path; the copy "beside the program" is garbage.
    std::ofstream(folder / "libm.so.6") << "not a library";
    auto lib = DynamicLibrary::LoadBeside("libm.so.6", folder);
    EXPECT_FALSE(lib.IsLoaded());
    EXPECT_NE(lib.Error().find((folder / "libm.so.6").string()), std::string::npos) << lib.Error();
    std::filesystem::remove_all(folder);
    // Without a copy beside it the system's is taken.
    EXPECT_TRUE(DynamicLibrary::LoadBeside("libm.so.6", folder).IsLoaded());
}
