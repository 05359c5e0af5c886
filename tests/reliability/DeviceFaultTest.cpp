// The instrument vanishes at random moments of a saved measurement, again and again:
// each time the retry box comes, Yes (the unit is back) resumes the stream, nothing
// hangs, and the record file stays one valid stream that marks every gap.
#include <gtest/gtest.h>

#include <random>

#include "RecordFileReader.h"
#include "ReliabilitySupport.h"

using namespace rollmode;
using namespace rollmode::core;
using namespace rollmode::reliability;

namespace {

// How a record file marks its measurements: the count of runs started and stopped, and
// whether every start is followed at once by the full snapshot (records 2 to 12 in order)
// and every stop but the last at once by a start. Also the sample instants in all and
// those before the first stop.
struct MeasurementMarks {
    int starts = 0, stops = 0;
    bool snapshotAfterEveryStart = true;
    bool startAfterEveryInnerStop = true;
    uint64_t instants = 0, instantsBeforeFirstStop = 0;
    std::string error;
};

MeasurementMarks ReadMeasurementMarks(const std::string& path) {
    MeasurementMarks m;
    records::TRecordFileReader reader;
    if (!reader.Open(path)) {
        m.error = reader.Error();
        return m;
    }
    records::RecordItem item;
    int snapshotNext = 0;      // the record code the snapshot after a start must give next; 0 when none
    bool stopPending = false;  // a stop was read and nothing since
    while (reader.Next(item)) {
        const bool settings = item.kind == records::RecordItem::Kind::Settings;
        if (stopPending) {
            if (!(settings && item.code == records::recordcode::kMeasurement && item.args[0] == 1))
                m.startAfterEveryInnerStop = false;
            stopPending = false;
        }
        if (snapshotNext != 0) {
            if (settings && item.code == snapshotNext) {
                snapshotNext = snapshotNext == records::recordcode::kDeflectionB ? 0 : snapshotNext + 1;
                continue;
            }
            m.snapshotAfterEveryStart = false;
            snapshotNext = 0;
        }
        if (settings && item.code == records::recordcode::kMeasurement) {
            if (item.args[0] == 1) {
                ++m.starts;
                snapshotNext = records::recordcode::kLevelA;
            } else {
                if (m.stops++ == 0) m.instantsBeforeFirstStop = reader.Instants();
                stopPending = true;
            }
        }
    }
    if (reader.Failed()) m.error = reader.Error();
    if (snapshotNext != 0) m.snapshotAfterEveryStart = false;
    m.instants = reader.Instants();
    return m;
}

// The unit vanishes once in the middle of a measurement of a defined length: Yes brings it
// back, and the measurement goes on with the samples it still misses.
TEST(DeviceFaults, ADefinedLengthCountsItsSamplesAcrossAGap) {
    constexpr uint32_t kLengthMs = 1000;
    constexpr uint64_t kSamples = 100000;  // 1 s at 100,000 samples per second
    TempFolder folder;
    Bench b;
    ASSERT_TRUE(b.Start(10));
    b.stack.scope.SetMeasurementDefined(true);
    b.stack.scope.SetMeasurementLength(kLengthMs);
    b.stack.StartSaving(folder.File("defined.rmd"));
    b.stack.SetMeasurement(true);
    ASSERT_TRUE(b.Serve([&] { return b.screen.Words() > kSamples * 6 / 10; }, 10000));
    b.messages.Push(MsgResult::Yes, [&] { ASSERT_TRUE(b.unit.Plug()); });
    b.unit.Unplug();
    ASSERT_TRUE(b.Serve([&] { return !b.stack.scope.MeasurementStarted(); }, 20000)) << "the measurement ends";
    b.ServeFor(50);
    b.stack.Shutdown();
    ASSERT_EQ(b.messages.shown.size(), 1u);

    const MeasurementMarks m = ReadMeasurementMarks(folder.File("defined.rmd"));
    ASSERT_TRUE(m.error.empty()) << m.error;
    EXPECT_EQ(m.starts, 2) << "the start, and the start where the samples resume";
    EXPECT_EQ(m.stops, 2) << "the stop at the gap, and the end of the measurement";
    EXPECT_TRUE(m.snapshotAfterEveryStart);
    EXPECT_TRUE(m.startAfterEveryInnerStop);
    EXPECT_GE(m.instantsBeforeFirstStop, kSamples / 2);
    // The last read may run past the length by part of one block, never by the samples
    // counted before the gap.
    EXPECT_GE(m.instants, kSamples);
    EXPECT_LT(m.instants, kSamples + kSamples / 5);
}

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
    // Each gap is a stop, then a start with the full snapshot where the samples resume.
    const MeasurementMarks m = ReadMeasurementMarks(folder.File("gaps.rmd"));
    EXPECT_EQ(m.starts, kVanishes + 1);
    EXPECT_EQ(m.stops, kVanishes + 1);
    EXPECT_TRUE(m.snapshotAfterEveryStart);
    EXPECT_TRUE(m.startAfterEveryInnerStop);
}

}  // namespace
