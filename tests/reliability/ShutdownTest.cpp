// Stopping the worker threads always ends, and ends soon: start/stop cycles during a
// fast measurement, each stop timed; a watchdog ends the run if one hangs.
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "ReliabilitySupport.h"

using namespace rollmode;
using namespace rollmode::reliability;

namespace {

TEST(Shutdown, WorkerThreadsStartAndStopDuringAFastMeasurement) {
    const int kCycles = Runs(60, 1000);
    TempFolder folder;
    Bench b;
    ASSERT_TRUE(b.Start(15));  // 5,000,000 samples per second
    b.stack.StartSaving(folder.File("cycles.rmd"));
    b.stack.SetMeasurement(true);
    Watchdog watchdog(std::chrono::seconds(10));
    std::mt19937 random(3);
    std::uniform_int_distribution<int> runMs(0, 60);
    double longestStopMs = 0;
    for (int i = 0; i < kCycles; ++i) {
        b.ServeFor(runMs(random));
        const auto t0 = std::chrono::steady_clock::now();
        b.stack.flow.StopThreads();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        longestStopMs = std::max(longestStopMs, ms);
        EXPECT_LT(ms, 2000) << "stop " << i;
        ASSERT_FALSE(b.stack.flow.ThreadsRunning());
        b.stack.flow.StartThreads();
        ASSERT_TRUE(b.stack.flow.ThreadsRunning());
        watchdog.Feed();
    }
    const uint64_t words = b.screen.Words();
    EXPECT_TRUE(b.Serve([&] { return b.screen.Words() > words + 100000; }, 5000)) << "still streaming";
    b.stack.SetMeasurement(false);
    b.ServeFor(50);
    b.stack.Shutdown();
    std::printf("%d start/stop cycles, longest stop %.1f ms\n", kCycles, longestStopMs);
    RecordProperty("longest_stop_ms", std::to_string(longestStopMs));
    EXPECT_TRUE(b.messages.shown.empty());
    const auto r = tools::CheckCountStream(folder.File("cycles.rmd"));
    EXPECT_TRUE(r.error.empty()) << r.error;
}

}  // namespace
