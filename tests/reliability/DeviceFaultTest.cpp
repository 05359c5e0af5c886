// The instrument vanishes at random moments of a saved measurement, again and again:
// each time the retry box comes, Yes (the unit is back) resumes the stream, nothing
// hangs, and the record file stays one valid stream across every gap.
#include <gtest/gtest.h>

#include <random>

#include "ReliabilitySupport.h"

using namespace rollmode;
using namespace rollmode::core;
using namespace rollmode::reliability;

namespace {

TEST(DeviceFaults, TheUnitVanishesAndReturnsAgainAndAgain) {
    const int kVanishes = Runs(5, 100);
    TempFolder folder;
    Bench b;
    ASSERT_TRUE(b.Start(12));  // 500,000 samples per second
    b.stack.StartSaving(folder.File("gaps.rmd"));
    b.stack.SetMeasurement(true);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> runMs(20, 400);
    double longestRecoveryMs = 0;
    for (int i = 0; i < kVanishes; ++i) {
        const uint64_t words = b.screen.Words();
        ASSERT_TRUE(b.Serve([&] { return b.screen.Words() > words + 20000; }, 10000)) << "streaming before vanish " << i;
        b.ServeFor(runMs(random));
        b.messages.Push(MsgResult::Yes, [&] { ASSERT_TRUE(b.unit.Plug()); });
        const size_t boxes = b.messages.shown.size();
        const auto t0 = std::chrono::steady_clock::now();
        b.unit.Unplug();
        ASSERT_TRUE(b.Serve([&] { return b.messages.shown.size() > boxes; }, 10000)) << "box of vanish " << i;
        EXPECT_EQ(b.messages.shown.back(), "Device not present. Retry?");
        const uint64_t resumed = b.screen.Words();
        ASSERT_TRUE(b.Serve([&] { return b.screen.Words() > resumed + 20000; }, 10000)) << "resumed after vanish " << i;
        longestRecoveryMs = std::max(
            longestRecoveryMs, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        EXPECT_TRUE(b.stack.scope.SavingActivated());
    }
    b.stack.SetMeasurement(false);
    b.ServeFor(50);
    b.stack.Shutdown();
    EXPECT_EQ(b.messages.shown.size(), size_t(kVanishes)) << "one box per vanish, no other";
    RecordProperty("longest_recovery_ms", std::to_string(longestRecoveryMs));
    std::printf("%d vanishes, longest from unplug to streaming again: %.0f ms\n", kVanishes, longestRecoveryMs);

    const auto r = tools::CheckCountStream(folder.File("gaps.rmd"));
    EXPECT_TRUE(r.error.empty()) << r.error;
    EXPECT_FALSE(r.tornTail);
    EXPECT_GT(r.samples, uint64_t(kVanishes) * 20000);
    // The returning unit counts from its own start: at most one break per gap.
    EXPECT_LE(r.breaks, uint64_t(kVanishes));
    EXPECT_GT(r.settingsRecords, uint64_t(kVanishes)) << "the settings are recorded again after each re-open";
}

}  // namespace
