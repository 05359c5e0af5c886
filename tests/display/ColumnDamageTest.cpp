#include "ColumnDamage.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using rollmode::display::TColumnDamage;

std::vector<std::pair<int, int>> RunsOf(const TColumnDamage& d) {
    std::vector<std::pair<int, int>> out;
    for (const auto& r : d.Runs()) out.emplace_back(r.begin, r.end);
    return out;
}

TColumnDamage Fresh(int width) {
    TColumnDamage d;
    d.SetWidth(width);
    d.Clear();
    return d;
}

TEST(ColumnDamage, NewWidthAndMarkAllShowEverything) {
    TColumnDamage d;
    d.SetWidth(100);
    EXPECT_TRUE(d.All());
    EXPECT_FALSE(d.Empty());
    d.Mark(5);  // covered already
    d.Scroll(3);
    EXPECT_TRUE(d.All());
    EXPECT_EQ(d.Scrolled(), 0);
    EXPECT_TRUE(d.Runs().empty());
    d.Clear();
    EXPECT_TRUE(d.Empty());
}

TEST(ColumnDamage, TouchingAndOverlappingRunsJoinAndStaySorted) {
    TColumnDamage d = Fresh(100);
    d.MarkRange(50, 60);
    d.MarkRange(10, 20);
    d.MarkRange(20, 25);  // touches: one run
    d.Mark(70);
    EXPECT_EQ(RunsOf(d), (std::vector<std::pair<int, int>>{{10, 25}, {50, 60}, {70, 71}}));
    d.MarkRange(24, 51);  // bridges two runs
    EXPECT_EQ(RunsOf(d), (std::vector<std::pair<int, int>>{{10, 60}, {70, 71}}));
    d.MarkRange(-5, 3);
    d.MarkRange(98, 130);
    d.MarkRange(40, 40);  // empty
    EXPECT_EQ(RunsOf(d), (std::vector<std::pair<int, int>>{{0, 3}, {10, 60}, {70, 71}, {98, 100}}));
}

// A fifth run joins the two runs with the smallest gap between them, so the runs always
// cover every marked column.
TEST(ColumnDamage, TooManyRunsJoinAcrossTheSmallestGap) {
    TColumnDamage d = Fresh(200);
    for (int x : {0, 20, 60, 120}) d.Mark(x);
    d.Mark(123);
    EXPECT_EQ(RunsOf(d), (std::vector<std::pair<int, int>>{{0, 1}, {20, 21}, {60, 61}, {120, 124}}));

    std::mt19937 rng(3);
    for (int round = 0; round < 200; ++round) {
        TColumnDamage r = Fresh(300);
        std::vector<bool> marked(300, false);
        for (int i = 0; i < 30; ++i) {
            const int a = static_cast<int>(rng() % 300), b = a + static_cast<int>(rng() % 8);
            r.MarkRange(a, b);
            for (int x = a; x < b && x < 300; ++x) marked[x] = true;
        }
        ASSERT_LE(r.Runs().size(), static_cast<size_t>(TColumnDamage::kMaxRuns));
        std::vector<bool> covered(300, false);
        int previousEnd = -1;
        for (const auto& run : r.Runs()) {
            ASSERT_GT(run.begin, previousEnd);  // sorted, disjoint, not touching
            previousEnd = run.end;
            for (int x = run.begin; x < run.end; ++x) covered[x] = true;
        }
        for (int x = 0; x < 300; ++x) ASSERT_TRUE(!marked[x] || covered[x]) << round << " " << x;
    }
}

TEST(ColumnDamage, ScrollMovesRunsLeftUntilThePictureHasMovedItsWidth) {
    TColumnDamage d = Fresh(100);
    d.MarkRange(2, 6);
    d.MarkRange(90, 95);
    d.Scroll(4);
    EXPECT_EQ(d.Scrolled(), 4);
    EXPECT_EQ(RunsOf(d), (std::vector<std::pair<int, int>>{{0, 2}, {86, 91}}));
    // A mark in the run that moved must not be taken for one inside the old run.
    d.Mark(93);
    EXPECT_EQ(RunsOf(d), (std::vector<std::pair<int, int>>{{0, 2}, {86, 91}, {93, 94}}));
    d.Scroll(3);
    EXPECT_EQ(RunsOf(d), (std::vector<std::pair<int, int>>{{83, 88}, {90, 91}}));
    EXPECT_EQ(d.Scrolled(), 7);
    d.Scroll(92);
    EXPECT_FALSE(d.All());
    d.Scroll(1);  // 100 in all: nothing on the window can be kept
    EXPECT_TRUE(d.All());
}

}  // namespace
