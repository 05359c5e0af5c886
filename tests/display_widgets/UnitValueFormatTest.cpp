#include "UnitValueFormat.h"

#include <gtest/gtest.h>

#include <string>

namespace rollmode::display {
namespace {

std::string Format(int32_t type, double v) {
    double shown = 0.0;
    return FormatUnitValue(v, type, false, shown);
}

struct Row {
    int32_t type;
    double value;
    const char* text;
};

TEST(UnitValueFormat, ExactTextsPerControlType) {
    const Row rows[] = {
        {1, 1500000000.0, "1.5s"},   {1, 2500000.0, "2.5ms"},   {1, 1000.0, "1us"},
        {1, 999.0, "999ns"},         {1, 0.5, "0.5ns"},
        {2, -1500.0, "-1.5V"},       {2, 999.0, "999mV"},       {2, 1000.0, "1V"},
        {2, -2000000.0, "-2kV"},     {2, 0.0004, "0mV"},        {2, -0.25, "-0.25mV"},
        {3, 0.0, "0 B"},             {3, 1024.0, "1 KB"},       {3, 1536.0, "1.5 KB"},
        {3, 1048576.0, "1 MB"},      {3, 1023.0, "1023 B"},     {3, 1073741824.0, "1024 MB"},
        {3, 1610612736.0, "1.5 GB"},
        {4, 10.0, "10mV/d"},         {4, 5000000.0, "5kV/d"},   {4, 2000.0, "2V/d"},
        {5, 0.1, "0.1s/d"},          {5, 59.0, "59s/d"},        {5, 60.0, "1min/d"},
        {5, 100.0, "1min 40s/d"},    {5, 3600.0, "1h/d"},       {5, 5000.0, "1h 23min 20s/d"},
        {5, 20000.0, "5h 33min 20s/d"}, {5, 3660.0, "1h 1min/d"}, {5, 3601.0, "1h 1s/d"},
        {6, 5020.0, "5.02kS/s"},     {6, 2500000.0, "2.5MS/s"}, {6, 50.0, "50S/s"},
        {7, 10.0, "10Hz/d"},         {7, 0.00005, "50uHz/d"},   {7, 0.5, "500mHz/d"},
        {7, 2000.0, "2kHz/d"},       {7, 0.001, "1mHz/d"},
        {8, 1e9 + 1, "1G"},          {8, 2500.0, "2.5k"},       {8, 1.0, "1"},
        {8, 0.0005, "500u"},         {8, 0.25, "250m"},
        {9, 100.0, "100S"},          {9, 999999000.0, "999.999MS"}, {9, 1e9, "1GS"},
        {9, 1250.0, "1.25kS"},
    };
    for (const Row& row : rows) EXPECT_EQ(Format(row.type, row.value), row.text) << row.type << " " << row.value;
}

TEST(UnitValueFormat, RoundsToThreeDecimalsHalvesToEven) {
    EXPECT_EQ(Format(2, 1.0005), "1mV");    // 1000.5 -> 1000
    EXPECT_EQ(Format(2, 1.0625), "1.062mV");
    EXPECT_EQ(Format(2, 1.1875), "1.188mV");
    EXPECT_EQ(Format(6, 1234.5), "1.234kS/s");
    EXPECT_EQ(Format(5, 90.5), "1min 30s/d");  // 90.5 s rounds to 90
}

TEST(UnitValueFormat, InvalidShowsNotAvailableExceptLongTimeBases) {
    double shown = 0.0;
    EXPECT_EQ(FormatUnitValue(1500.0, 2, true, shown), "N/A");
    EXPECT_EQ(shown, 1.5);
    EXPECT_EQ(FormatUnitValue(100.0, 9, true, shown), "N/A");
    EXPECT_EQ(FormatUnitValue(0.5, 5, true, shown), "N/A");
    EXPECT_EQ(FormatUnitValue(100.0, 5, true, shown), "1min 40s/d");
}

TEST(UnitValueFormat, UnknownTypeRepeatsTheLastShownNumberWithoutUnit) {
    double shown = 0.0;
    EXPECT_EQ(FormatUnitValue(2500.0, 6, false, shown), "2.5kS/s");
    EXPECT_EQ(FormatUnitValue(7.0, 0, false, shown), "2.5");
    EXPECT_EQ(FormatUnitValue(7.0, 42, false, shown), "2.5");
}

}  // namespace
}  // namespace rollmode::display
