#include "ViewSpan.h"

#include <gtest/gtest.h>

using rollmode::viewer::TViewSpan;

namespace {

TViewSpan Span(uint64_t begin, uint64_t end, int columns) {
    TViewSpan span;
    span.SetColumns(columns);
    span.SetLimits(begin, end);
    span.ShowWhole();
    return span;
}

}  // namespace

TEST(ViewSpan, ZoomKeepsTheInstantUnderTheMouseAndStopsAtTheLimits) {
    TViewSpan span = Span(1000, 1001000, 1000);
    EXPECT_DOUBLE_EQ(span.PerColumn(), 1000.0);
    const double under = span.InstantAt(250);
    span.ZoomAbout(0.1, 250);
    EXPECT_DOUBLE_EQ(span.PerColumn(), 100.0);
    EXPECT_NEAR(span.InstantAt(250), under, 1e-6);
    // Zooming far in stops at the closest zoom, far out at the whole measurement.
    for (int i = 0; i < 40; ++i) span.ZoomAbout(0.1, 500);
    EXPECT_DOUBLE_EQ(span.PerColumn(), 1.0 / TViewSpan::kMaxColumnsPerInstant);
    for (int i = 0; i < 40; ++i) span.ZoomAbout(10.0, 10);
    EXPECT_DOUBLE_EQ(span.PerColumn(), 1000.0);
    EXPECT_DOUBLE_EQ(span.First(), 1000.0);
}

TEST(ViewSpan, ZoomNearAnEdgeAndPanningStayInsideTheMeasurement) {
    TViewSpan span = Span(0, 10000, 100);
    span.ZoomAbout(0.5, 95);  // near the right edge: the view may not leave the data
    EXPECT_LE(span.Last(), 10000.0);
    span.PanColumns(-1e9);
    EXPECT_DOUBLE_EQ(span.First(), 0.0);
    span.PanColumns(1e9);
    EXPECT_DOUBLE_EQ(span.Last(), 10000.0);
    EXPECT_TRUE(span.AtEnd());
}

TEST(ViewSpan, RubberBandShowsTheDraggedColumns) {
    TViewSpan span = Span(0, 100000, 1000);
    span.ZoomToColumns(600, 200);  // dragged right to left
    EXPECT_DOUBLE_EQ(span.First(), 20000.0);
    EXPECT_DOUBLE_EQ(span.Last(), 60000.0);
}

TEST(ViewSpan, AViewAtTheEndFollowsGrowthAndOneElsewhereStays) {
    TViewSpan span = Span(0, 5000, 100);
    span.ZoomAbout(0.2, 100);  // 1000 instants wide at the end
    ASSERT_TRUE(span.AtEnd());
    span.Grow(8000);
    EXPECT_DOUBLE_EQ(span.Last(), 8000.0);
    span.ShowStart();
    span.Grow(9000);
    EXPECT_DOUBLE_EQ(span.First(), 0.0);
    // The whole measurement stays whole while it grows (a file opened just after
    // its start would otherwise stay at the closest zoom).
    TViewSpan whole = Span(0, 0, 100);
    whole.Grow(100000);
    EXPECT_TRUE(whole.Whole());
    EXPECT_DOUBLE_EQ(whole.PerColumn(), 1000.0);
    // Data shorter than the view sit at the start and count as at the end.
    TViewSpan young = Span(0, 10, 100);
    EXPECT_DOUBLE_EQ(young.First(), 0.0);
    EXPECT_TRUE(young.AtEnd());
}
