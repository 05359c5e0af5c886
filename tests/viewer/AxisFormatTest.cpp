#include "AxisFormat.h"
#include "CommandLine.h"
#include "EventText.h"

#include <gtest/gtest.h>

using namespace rollmode::viewer;

TEST(AxisFormat, NiceStepsAreOneTwoFiveTimesAPowerOfTen) {
    EXPECT_DOUBLE_EQ(NiceStep(0.7), 1.0);
    EXPECT_DOUBLE_EQ(NiceStep(1.0), 1.0);
    EXPECT_DOUBLE_EQ(NiceStep(1.3), 2.0);
    EXPECT_DOUBLE_EQ(NiceStep(3.0), 5.0);
    EXPECT_DOUBLE_EQ(NiceStep(6.0), 10.0);
    EXPECT_NEAR(NiceStep(2.1e-7), 5e-7, 1e-20);
    // Clock steps above a second: a minute and a half rounds to two minutes, not 100 s.
    EXPECT_DOUBLE_EQ(NiceTimeStep(0.3), 0.5);
    EXPECT_DOUBLE_EQ(NiceTimeStep(12.0), 15.0);
    EXPECT_DOUBLE_EQ(NiceTimeStep(90.0), 120.0);
    EXPECT_DOUBLE_EQ(NiceTimeStep(2000.0), 3600.0);
    EXPECT_DOUBLE_EQ(NiceTimeStep(100000.0), 172800.0);
}

TEST(AxisFormat, TimeLabelsFollowTheZoom) {
    // Long spans: h:min:s.
    TimeLabelStyle clock = ChooseTimeStyle(600.0, 0.0, 7200.0);
    EXPECT_EQ(FormatTimeLabel(3600.0, clock), "1:00:00");
    EXPECT_EQ(FormatTimeLabel(59.9999, ChooseTimeStyle(10.0, 0.0, 120.0)), "0:01:00");
    // Short spans near the start: seconds.
    TimeLabelStyle seconds = ChooseTimeStyle(0.05, 0.0, 0.5);
    EXPECT_EQ(FormatTimeLabel(0.15, seconds), "0.15 s");
    // Fine zoom deep into a measurement: offsets in µs from an origin shown once.
    TimeLabelStyle fine = ChooseTimeStyle(2e-6, 12.34561, 12.34563);
    EXPECT_EQ(fine.kind, TimeLabelStyle::Kind::Offset);
    EXPECT_EQ(FormatTimeLabel(fine.origin + 4e-6, fine), "+4 \xC2\xB5s");
    EXPECT_EQ(FormatOrigin(fine), "t = 12.345600 s");
    // Fine zoom at the start: plain µs.
    EXPECT_EQ(FormatTimeLabel(6e-7, ChooseTimeStyle(2e-7, 0.0, 2e-6)), "0.6 \xC2\xB5s");
}

TEST(AxisFormat, ReadOutsCarryTheirUnits) {
    EXPECT_EQ(FormatDuration(0.1), "100.0000 ms");
    EXPECT_EQ(FormatDuration(-2e-6), "-2.000 \xC2\xB5s");
    EXPECT_EQ(FormatDuration(3661.5), "1:01:01.500");
    EXPECT_EQ(FormatFrequency(10.0), "10.0000 Hz");
    EXPECT_EQ(FormatFrequency(5e6), "5.0000 MHz");
    EXPECT_EQ(FormatMillivolts(-1250.0), "-1.2500 V");
    EXPECT_EQ(FormatMillivolts(31.25), "31.25 mV");
    EXPECT_EQ(FormatInstantTime(0.0126, 1e-3), "0.013 s");
    EXPECT_EQ(FormatInstantTime(3725.0000002, 2e-7), "1:02:05.0000002");
    // One unit per scale, and no "-0" from rounding at the zero line.
    EXPECT_EQ(FormatScaleMillivolts(-1e-12, 200.0, false), "0 mV");
    EXPECT_EQ(FormatScaleMillivolts(500.0, 500.0, true), "0.5 V");
    EXPECT_EQ(FormatScaleMillivolts(-1e-9, 500.0, true), "0.0 V");
}

TEST(EventText, SettingsChangesSayWhatChanged) {
    using rollmode::records::IndexEvent;
    IndexEvent e;
    e.kind = IndexEvent::Kind::Settings;
    e.code = 11;
    e.value = 200;
    EXPECT_EQ(DescribeEvent(e), "A: 200 mV/div");
    e.code = 12;
    e.value = 2000;
    EXPECT_EQ(DescribeEvent(e), "B: 2 V/div");
    e.code = 10;
    e.value = 5000000;
    EXPECT_EQ(DescribeEvent(e), "Rate: 5 MS/s");
    e.code = 3;
    e.value = static_cast<uint16_t>(-20);
    EXPECT_EQ(DescribeEvent(e), "B: zero code -20");
    e.code = 5;
    e.value = 2;
    EXPECT_EQ(DescribeEvent(e), "B: probe 1:10");
}

TEST(CommandLine, ParsesTheOptionsAndRejectsBadOnes) {
    ViewerOptions o = ParseViewerOptions({"--screenshot", "a.png", "--size", "1920x1080", "s.rmd"});
    EXPECT_TRUE(o.error.empty()) << o.error;
    EXPECT_EQ(o.screenshot, "a.png");
    EXPECT_EQ(o.file, "s.rmd");
    EXPECT_EQ(o.width, 1920);
    EXPECT_EQ(o.height, 1080);
    EXPECT_TRUE(ParseViewerOptions({}).error.empty());
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--screenshot", "a.png"}, {"--size", "19x10", "f"}, {"--size", "1920x", "f"},
          {"--size", "1920x1080x3", "f"}, {"--frob", "f"}, {"a.rmd", "b.rmd"}, {"--screenshot"}}) {
        EXPECT_FALSE(ParseViewerOptions(bad).error.empty()) << bad[0];
    }
}
