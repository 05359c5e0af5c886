// Lossless streaming through the whole core into the record file: a stall of the
// processing thread that the ring buffer bridges loses nothing; a longer one makes the
// instrument's FIFO overflow, and the mark reaches the file and the model's count.
#include <gtest/gtest.h>

#include "ReliabilitySupport.h"

using namespace rollmode;
using namespace rollmode::reliability;

namespace {

// 1,000,000 samples per second: the ring buffer holds about 0.98 s of it, the FIFO
// below 65 ms, so the outcome of a stall depends on the ring alone.
constexpr int kSmp = 13;
constexpr uint32_t kFifoWords = 65536;

struct StallRun {
    tools::CountStreamReport file;
    uint64_t lostDataMarks = 0;
};

StallRun RunWithStall(int stallMs) {
    TempFolder folder;
    sim::InstrumentConfig config = CountingConfig();
    config.fifoDepth = kFifoWords;
    Bench b(config);
    EXPECT_TRUE(b.Start(kSmp));
    b.stack.StartSaving(folder.File("stall.rmd"));
    b.stack.SetMeasurement(true);
    EXPECT_TRUE(b.Serve([&] { return b.screen.Words() > 300000; }, 10000));
    b.screen.StallOnce(stallMs);
    EXPECT_TRUE(b.Serve([&] { return !b.screen.StallPending(); }, 5000));
    const uint64_t after = b.screen.Words();
    // Past the stall and the catching up.
    EXPECT_TRUE(b.Serve([&] { return b.screen.Words() > after + 1500000; }, 20000));
    b.stack.SetMeasurement(false);
    b.ServeFor(50);
    StallRun r;
    r.lostDataMarks = b.stack.scope.LostDataMarks();
    b.stack.Shutdown();
    EXPECT_TRUE(b.messages.shown.empty());
    r.file = tools::CheckCountStream(folder.File("stall.rmd"));
    return r;
}

TEST(Stream, AStallTheRingBridgesLosesNothing) {
    const StallRun r = RunWithStall(400);
    EXPECT_TRUE(r.file.error.empty()) << r.file.error;
    EXPECT_GT(r.file.samples, 1500000u);
    EXPECT_EQ(r.file.breaks, 0u) << "first break at byte " << r.file.firstBreakOffset;
    EXPECT_EQ(r.file.overflowMarks, 0u);
    EXPECT_EQ(r.lostDataMarks, 0u);
    EXPECT_FALSE(r.file.tornTail) << "a stopped recording ends on a whole item";
}

TEST(Stream, ALongerStallIsMarkedInTheFileAndCounted) {
    const StallRun r = RunWithStall(2000);
    EXPECT_TRUE(r.file.error.empty()) << r.file.error;
    EXPECT_GE(r.file.overflowMarks, 1u) << "the FIFO overflowed while the ring was full";
    EXPECT_EQ(r.lostDataMarks, r.file.overflowMarks) << "every mark in the file is counted, no other word";
    EXPECT_EQ(r.file.breaks, 0u) << "samples are missing only where a mark says so";
}

}  // namespace
