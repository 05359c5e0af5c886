// The shared library as a host sees it: loaded by name, three entry points bound by name.
#include <gtest/gtest.h>

#include <vector>

#include "platform/DynamicLibrary.h"
#include "rollmode/Abi.h"

namespace {

using rollmode::platform::DynamicLibrary;

TEST(DriverLibrary, EntryPointsAnswerWithoutADevice) {
    auto lib = DynamicLibrary::Load("PeltaRMDrv.dll");
    ASSERT_TRUE(lib.IsLoaded()) << lib.Error();
    auto init = lib.Bind<rollmode::abi::InitializeDeviceFn>("InitializeDevice");
    auto deinit = lib.Bind<rollmode::abi::DeInitializeDeviceFn>("DeInitializeDevice");
    auto fn = lib.Bind<rollmode::abi::DeviceFunctionFn>("DeviceFunction");
    ASSERT_NE(init, nullptr);
    ASSERT_NE(deinit, nullptr);
    ASSERT_NE(fn, nullptr);
    EXPECT_EQ(lib.Symbol("_ZN8rollmode6driver11PeltaDriverC1ENSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE"),
              nullptr);

    // The failure flag's full address crosses the boundary in the pointer-sized value.
    uint8_t failed = 0;
    uint32_t out = 0xDEADBEEF;
    EXPECT_EQ(fn(1, nullptr, 0, nullptr, 0, reinterpret_cast<uintptr_t>(&failed), &out), 0u);

    uint8_t version[2] = {0, 0};
    EXPECT_EQ(fn(2, nullptr, 0, version, 0, 0, &out), 0u);
    EXPECT_EQ(version[0], 1);
    EXPECT_EQ(version[1], 1);

    std::vector<uint16_t> buffer(32768, 5);
    EXPECT_EQ(fn(14, buffer.data(), 0, nullptr, 0, 0, &out), 0u);
    EXPECT_EQ(out, 0xDEADBEEF);
    EXPECT_EQ(fn(35, nullptr, 0, nullptr, 0, 0, &out), 0u);
    EXPECT_EQ(out, 0u);
    // Null pointers where none are expected are tolerated.
    EXPECT_EQ(fn(14, nullptr, 0, nullptr, 0, 0, nullptr), 0u);
    EXPECT_EQ(fn(2, nullptr, 0, nullptr, 0, 0, nullptr), 0u);

    EXPECT_EQ(deinit(), 0);  // nothing loaded
    EXPECT_EQ(failed, 0);
}

}  // namespace
