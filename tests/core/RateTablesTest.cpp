#include "RateTables.h"

#include <gtest/gtest.h>

using namespace rollmode::core;

TEST(RateTables, SamplesPerColumnAtTheExtremes) {
    EXPECT_DOUBLE_EQ(SamplesPerColumn(0, 3), 1.0);
    EXPECT_DOUBLE_EQ(SamplesPerColumn(14, 16), 1e9);
}

TEST(RateTables, DeflectionIsOneOutsideTheTable) {
    EXPECT_EQ(Deflection(4, 9), 5000000);
    EXPECT_EQ(Deflection(1, 1), 10);
    EXPECT_EQ(Deflection(2, 3), 500);
    for (int probe = 0; probe <= 5; ++probe) EXPECT_EQ(Deflection(probe, 0), 1);
    EXPECT_EQ(Deflection(0, 5), 1);
    EXPECT_EQ(Deflection(5, 5), 1);
    EXPECT_EQ(Deflection(1, 10), 1);
}

TEST(RateTables, StepsOutsideTheTablesClampInsteadOfIndexingPast) {
    EXPECT_EQ(SamplesPerSecond(-1), 50);
    EXPECT_EQ(SamplesPerSecond(16), 5000000);
    EXPECT_EQ(SamplesPerSecond(1000000), 5000000);
    EXPECT_DOUBLE_EQ(SecondsPerDivision(-7), 0.1);
    EXPECT_DOUBLE_EQ(SecondsPerDivision(17), 20000.0);
}
