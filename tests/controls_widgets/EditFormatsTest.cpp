#include "EditFormats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace rollmode::controls {
namespace {

TEST(EditFormats, KeyboardCharacterSets) {
    for (char32_t c : {U'8', U'-', U'.', char32_t{8}}) {
        EXPECT_TRUE(VoltageEditAccepts(c));
        EXPECT_TRUE(TimeEditAccepts(c));
        EXPECT_TRUE(NumEditAccepts(c));
    }
    EXPECT_TRUE(VoltageEditAccepts(U'm'));
    EXPECT_TRUE(VoltageEditAccepts(U'u'));
    EXPECT_FALSE(VoltageEditAccepts(U'n'));
    EXPECT_FALSE(VoltageEditAccepts(U'h'));
    EXPECT_TRUE(TimeEditAccepts(U'h'));
    EXPECT_TRUE(TimeEditAccepts(U's'));
    EXPECT_FALSE(TimeEditAccepts(U'u'));
    EXPECT_FALSE(NumEditAccepts(U'm'));
    for (char32_t c : {U'a', U',', U' ', U'+', U'e'}) {
        EXPECT_FALSE(VoltageEditAccepts(c));
        EXPECT_FALSE(TimeEditAccepts(c));
        EXPECT_FALSE(NumEditAccepts(c));
    }
}

TEST(EditFormats, VoltageTexts) {
    const struct {
        double mv;
        const char* text;
    } rows[] = {{2000, "2"}, {1500, "1.5"}, {-2500, "-2.5"}, {999.4, "0.999"}, {999, "999m"},
                {200, "200m"}, {0.5, "0.5m"}, {0, "0m"},     {-999, "-999m"}, {1234.5, "1.234"}};
    for (const auto& row : rows) EXPECT_EQ(VoltageText(RoundVoltage(row.mv)), row.text) << row.mv;
    EXPECT_EQ(RoundVoltage(1.23456), 1.235);
    EXPECT_EQ(VoltageText(RoundVoltage(0.0004)), "0m");
}

TEST(EditFormats, VoltageParsing) {
    EXPECT_EQ(ParseVoltageText("250m").millivolts, 250.0);
    EXPECT_EQ(ParseVoltageText("0.25").millivolts, 250.0);
    EXPECT_EQ(ParseVoltageText("1,5m").millivolts, 1.5);
    EXPECT_EQ(ParseVoltageText("0.0625").millivolts, 62.0);  // whole millivolts, ties to even
    EXPECT_EQ(ParseVoltageText("0.1875").millivolts, 188.0);
    EXPECT_EQ(ParseVoltageText("0.2225m").millivolts, 0.2225);  // millivolts as written
    EXPECT_EQ(ParseVoltageText("-1.5").millivolts, -1500.0);

    const VoltageParse micro = ParseVoltageText("5u");
    EXPECT_TRUE(micro.ok);
    EXPECT_FALSE(micro.millivolts.has_value());
    EXPECT_TRUE(ParseVoltageText("5n").ok);

    for (const char* bad : {"", "m", "abc", ".m", "1.m", "5x", "1e999", "-m"}) {
        const VoltageParse p = ParseVoltageText(bad);
        EXPECT_FALSE(p.ok) << bad;
        EXPECT_FALSE(p.millivolts.has_value()) << bad;
    }
}

// Levels far out of any range stay finite, and whatever the edit writes reads back.
TEST(EditFormats, HugeLevelsStayFiniteAndReadBack) {
    for (const char* overflow : {"1e308", "-1e308", "2e305"}) {
        EXPECT_FALSE(ParseVoltageText(overflow).ok) << overflow;
    }
    EXPECT_EQ(ParseVoltageText("1e305m").millivolts, 1e300);
    EXPECT_EQ(ParseVoltageText("-1e304").millivolts, -1e300);
    for (const double mv : {1e300, 1.7976931348623157e308, -1.7976931348623157e308, 1e306}) {
        const double kept = RoundVoltage(mv);
        EXPECT_TRUE(std::isfinite(kept)) << mv;
        const VoltageParse back = ParseVoltageText(VoltageText(kept));
        ASSERT_TRUE(back.ok && back.millivolts) << VoltageText(kept);
        EXPECT_EQ(RoundVoltage(*back.millivolts), kept) << VoltageText(kept);
    }
}

TEST(EditFormats, TimeTexts) {
    const struct {
        double ms;
        const char* text;
    } rows[] = {{5400000, "1h30m"}, {90000, "1m30s"},  {120000, "2m"},        {60000, "1m"},
                {59999, "59s999ms"}, {1500, "1s500ms"}, {3661001, "1h1m1s1ms"}, {0, "0s"},
                {0.5, "0.5ms"},      {7200000, "2h"},   {36000000, "10h"}};
    for (const auto& row : rows) EXPECT_EQ(TimeText(row.ms), row.text) << row.ms;
}

TEST(EditFormats, TimeParsing) {
    const struct {
        const char* text;
        double ms;
    } rows[] = {{"1h30m", 5400000}, {"1.5h", 5400000}, {"1h 30m", 5400000}, {"2m5s", 125000},
                {"10s", 10000},      {"1.25s", 1250},   {"500ms", 500},      {"0.5ms", 0.5},
                {"1h5", 3600000},    {"15", 0},         {"5", 0},            {"1m30s", 90000},
                {"0s", 0},           {"1hh", 3600000},  {"1x2s", 2000},      {"0.0625s", 62}};
    for (const auto& row : rows) EXPECT_EQ(ParseTimeText(row.text), row.ms) << row.text;
    for (const char* bad : {"", "-5s", "h", " 5s", ".5s"}) EXPECT_FALSE(ParseTimeText(bad).has_value()) << bad;
}

// A run of more digits than a double holds is endless, not nothing; a tiny one is nothing.
TEST(EditFormats, TimeRunsBeyondADouble) {
    const std::string many(400, '9');
    EXPECT_EQ(ParseTimeText(many + "h"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(ParseTimeText("0000" + many + ".5s"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(ParseTimeText("0." + std::string(400, '0') + "1s"), 0.0);
    EXPECT_EQ(ParseTimeText(many), 0.0);  // no unit: counts nothing
}

TEST(EditFormats, TimeTextsReadBack) {
    for (double ms : {5400000.0, 90000.0, 59999.0, 3661001.0, 1.0, 86399999.0})
        EXPECT_EQ(ParseTimeText(TimeText(ms)), ms) << TimeText(ms);
}

TEST(EditFormats, NumbersAndTheirConversionErrors) {
    EXPECT_EQ(NumText(2.5, false), "2");
    EXPECT_EQ(NumText(3.5, false), "4");
    EXPECT_EQ(NumText(-0.4, false), "0");
    EXPECT_EQ(NumText(-1234.6, false), "-1235");
    EXPECT_EQ(NumText(2.5, true), "2.5");

    EXPECT_EQ(NumFromText("1,5"), 1.5);
    EXPECT_EQ(NumFromText("-3"), -3.0);
    EXPECT_EQ(IntegerFromText("-7"), -7);
    try {
        NumFromText("abc");
        FAIL() << "no conversion error";
    } catch (const ConvertError& e) {
        EXPECT_STREQ(e.what(), "'abc' is not a valid floating point value");
    }
    try {
        IntegerFromText("1.5");
        FAIL() << "no conversion error";
    } catch (const ConvertError& e) {
        EXPECT_STREQ(e.what(), "'1.5' is not a valid integer value");
    }
    EXPECT_THROW(IntegerFromText("4294967296"), ConvertError);
    EXPECT_THROW(NumFromText(""), ConvertError);
}

}  // namespace
}  // namespace rollmode::controls
