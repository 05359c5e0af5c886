#include "platform/DynamicLibrary.h"

#include <gtest/gtest.h>

#include <cstdint>

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
