#include "FloatText.h"

#include <gtest/gtest.h>

namespace rollmode::display {
namespace {

TEST(FloatText, ShortestFormUpToFifteenDigits) {
    EXPECT_EQ(FloatToText(0.0), "0");
    EXPECT_EQ(FloatToText(2.0), "2");
    EXPECT_EQ(FloatToText(-2.5), "-2.5");
    EXPECT_EQ(FloatToText(0.999), "0.999");
    EXPECT_EQ(FloatToText(999.999), "999.999");
    EXPECT_EQ(FloatToText(0.1 + 0.2), "0.3");
    EXPECT_EQ(FloatToText(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(FloatToText(123456789012345.0), "123456789012345");
    EXPECT_EQ(FloatToText(5020.0), "5020");
}

TEST(FloatText, ExponentOutsideTheFixedRange) {
    EXPECT_EQ(FloatToText(0.00001), "0.00001");
    EXPECT_EQ(FloatToText(0.000001), "1E-6");
    EXPECT_EQ(FloatToText(-0.0000015), "-1.5E-6");
    EXPECT_EQ(FloatToText(1e15), "1E15");
}

TEST(FloatText, ParsesEitherSeparatorSignAndExponent) {
    EXPECT_EQ(TextToFloat("1.5"), 1.5);
    EXPECT_EQ(TextToFloat("1,5"), 1.5);
    EXPECT_EQ(TextToFloat(" -2 "), -2.0);
    EXPECT_EQ(TextToFloat("+3"), 3.0);
    EXPECT_EQ(TextToFloat("1e3"), 1000.0);
    EXPECT_EQ(TextToFloat("2.5E-1"), 0.25);
    EXPECT_EQ(TextToFloat(".5"), 0.5);
}

TEST(FloatText, RejectsWhatIsNotAFiniteNumber) {
    for (const char* text : {"", " ", "-", "abc", "1.2.3", "1e", "inf", "nan", "1e999", "12a", "--1"})
        EXPECT_FALSE(TextToFloat(text).has_value()) << text;
}

TEST(FloatText, IntegersFitThirtyTwoBits) {
    EXPECT_EQ(TextToInteger("-7"), -7);
    EXPECT_EQ(TextToInteger("2147483647"), 2147483647LL);
    EXPECT_FALSE(TextToInteger("2147483648").has_value());
    EXPECT_FALSE(TextToInteger("1.5").has_value());
    EXPECT_FALSE(TextToInteger("").has_value());
}

TEST(FloatText, RoundsHalvesToEven) {
    EXPECT_EQ(RoundHalfEven(2.5), 2.0);
    EXPECT_EQ(RoundHalfEven(3.5), 4.0);
    EXPECT_EQ(RoundHalfEven(-2.5), -2.0);
}

}  // namespace
}  // namespace rollmode::display
