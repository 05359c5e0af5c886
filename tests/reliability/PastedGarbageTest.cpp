// Whatever is pasted into an edit: random bytes, endless text, numbers out of any range.
// Each parse ends quickly with a value in range, a rejection, or the program's
// conversion error; nothing else escapes.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "EditFormats.h"

using namespace rollmode::controls;

namespace {

std::vector<std::string> Garbage() {
    std::vector<std::string> texts = {"", " ", "-", ".", "e", "1e999", "-1e999", "1e-999", "nan", "inf", "-inf",
                                      "0x1p3", "1,5", "١٢٣", "\xff\xfe", std::string(1, '\0'), "9999999999999999999999",
                                      "1h1h1h1h", "1.2.3", "--1", "+-1", "1m2u3n", "999999999h", "5msms", "\t7\n"};
    texts.push_back(std::string(1u << 20, '9'));
    texts.push_back(std::string(1u << 20, 'h'));
    std::string digitsAndUnits;
    for (int i = 0; i < 200000; ++i) digitsAndUnits += "9h";
    texts.push_back(digitsAndUnits);
    std::mt19937 random(9);
    for (int i = 0; i < 300; ++i) {
        std::string t(random() % 64, '\0');
        for (auto& c : t) c = static_cast<char>(random());
        texts.push_back(t);
    }
    return texts;
}

TEST(PastedGarbage, EveryParseEndsWithAValueARejectionOrTheConversionError) {
    const auto t0 = std::chrono::steady_clock::now();
    for (const std::string& text : Garbage()) {
        const VoltageParse v = ParseVoltageText(text);
        if (v.ok && v.millivolts) {
            EXPECT_TRUE(std::isfinite(*v.millivolts)) << text.substr(0, 40);
        }
        if (const auto ms = ParseTimeText(text)) {
            EXPECT_FALSE(std::isnan(*ms)) << text.substr(0, 40);
        }
        try {
            EXPECT_FALSE(std::isnan(NumFromText(text))) << text.substr(0, 40);
        } catch (const ConvertError&) {
        }
        try {
            (void)IntegerFromText(text);
        } catch (const ConvertError&) {
        }
    }
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 10.0);
}

}  // namespace
