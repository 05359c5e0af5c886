#include "PaintPacer.h"

#include <gtest/gtest.h>

namespace {

using rollmode::display::TPaintPacer;

TEST(PaintPacer, CheapPaintsKeepTheFullRateCostlyOnesAreSpacedWithinBounds) {
    TPaintPacer pacer;
    EXPECT_EQ(pacer.IntervalMs(), TPaintPacer::kMinIntervalMs);
    for (int i = 0; i < 20; ++i) pacer.AddPaintCost(0.0002);
    EXPECT_EQ(pacer.IntervalMs(), TPaintPacer::kMinIntervalMs);
    // One slow paint among cheap ones moves the pace only by its smoothed share.
    pacer.AddPaintCost(0.003);
    EXPECT_EQ(pacer.IntervalMs(), 45);  // 0.9 ms at 2 % of a core
    for (int i = 0; i < 40; ++i) pacer.AddPaintCost(0.0015);
    EXPECT_NEAR(pacer.IntervalMs(), 75, 1);
    for (int i = 0; i < 40; ++i) pacer.AddPaintCost(0.010);
    EXPECT_EQ(pacer.IntervalMs(), TPaintPacer::kMaxIntervalMs);
}

}  // namespace
