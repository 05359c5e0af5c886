#include "EditFormats.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "FloatText.h"
#include "ResourceStringsLyraRM.h"

namespace rollmode::controls {

using display::FloatToText;
using display::RoundHalfEven;
using display::TextToFloat;

namespace {

bool IsDigit(char32_t c) { return c >= U'0' && c <= U'9'; }
constexpr char32_t kBackspace = 8;
constexpr char kDecimalSeparator = '.';

std::string FormatMessage(const char* format, const std::string& text) {
    const int size = std::snprintf(nullptr, 0, format, text.c_str());
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    std::snprintf(out.data(), out.size() + 1, format, text.c_str());
    return out;
}

// A run of digits with an optional fraction that does not convert: too large when its
// whole part has more significant digits than the largest double, else too small.
bool RunOverflows(std::string_view run) {
    const std::size_t dot = run.find(kDecimalSeparator);
    std::string_view whole = run.substr(0, dot);
    while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
    return whole.size() > static_cast<std::size_t>(std::numeric_limits<double>::max_exponent10);
}

}  // namespace

bool VoltageEditAccepts(char32_t c) {
    return c == kBackspace || c == U'-' || IsDigit(c) || c == U'm' || c == U'u' || c == kDecimalSeparator;
}

bool TimeEditAccepts(char32_t c) {
    return c == kBackspace || c == U'-' || IsDigit(c) || c == U'h' || c == U'm' || c == U's' ||
           c == kDecimalSeparator;
}

bool NumEditAccepts(char32_t c) {
    return c == kBackspace || c == U'-' || IsDigit(c) || c == kDecimalSeparator;
}

// Levels are held within this many millivolts either way: far beyond any instrument, and
// small enough that thousandths of a millivolt and the volts text never overflow a double,
// so every text a voltage edit writes reads back.
namespace {
constexpr double kLargestVoltage = 1e300;

double HeldVoltage(double millivolts) {
    if (millivolts > kLargestVoltage) return kLargestVoltage;
    if (millivolts < -kLargestVoltage) return -kLargestVoltage;
    return millivolts;
}
}  // namespace

double RoundVoltage(double millivolts) {
    return RoundHalfEven(HeldVoltage(millivolts) * 1000.0) / 1000.0;
}

std::string VoltageText(double millivolts) {
    millivolts = HeldVoltage(millivolts);
    if (std::fabs(millivolts) > 999.0) return FloatToText(RoundHalfEven(millivolts) / 1000.0);
    return FloatToText(millivolts) + "m";
}

VoltageParse ParseVoltageText(std::string_view text) {
    if (text.empty()) return {};
    const char c = text.back();
    if (c == 'm' || c == 'n' || c == 'u') {
        if (text.size() < 2 || !IsDigit(static_cast<unsigned char>(text[text.size() - 2]))) return {};
        const auto number = TextToFloat(text.substr(0, text.size() - 1));
        if (!number) return {};
        if (c == 'm') return {true, HeldVoltage(*number)};
        return {true, std::nullopt};
    }
    const auto volts = TextToFloat(text);
    if (!volts) return {};
    // Volts beyond the largest double in millivolts are no level at all.
    const double millivolts = RoundHalfEven(*volts * 1000.0);
    if (!std::isfinite(millivolts)) return {};
    return {true, HeldVoltage(millivolts)};
}

std::string TimeText(double ms) {
    if (ms == 0.0) return "0s";
    std::string text;
    double r = ms;
    const auto wholeUnits = [&r, &text](double unit, const char* suffix) {
        if (r < unit) return;
        const double count = std::floor(r / unit);
        text += FloatToText(count) + suffix;
        r -= count * unit;
    };
    wholeUnits(3600000.0, "h");
    wholeUnits(60000.0, "m");
    wholeUnits(1000.0, "s");
    if (r > 0.0) text += FloatToText(r) + "ms";
    return text;
}

std::optional<double> ParseTimeText(std::string_view text) {
    if (text.empty() || !IsDigit(static_cast<unsigned char>(text.front()))) return std::nullopt;
    const std::size_t n = text.size();
    double total = 0.0;
    std::size_t pos = 0;
    do {
        const std::size_t start = pos;
        while (pos < n && IsDigit(static_cast<unsigned char>(text[pos]))) ++pos;
        if (pos < n && text[pos] == kDecimalSeparator) {
            ++pos;
            while (pos < n && IsDigit(static_cast<unsigned char>(text[pos]))) ++pos;
        }
        // An empty run (an item that is only a unit) counts as 0; a run of more digits
        // than a double holds counts as endless, not as nothing (the owner clamps it).
        const double number = pos > start ? TextToFloat(text.substr(start, pos - start))
                                                .value_or(RunOverflows(text.substr(start, pos - start))
                                                              ? std::numeric_limits<double>::infinity()
                                                              : 0.0)
                                          : 0.0;
        const char unit = pos < n ? text[pos] : '\0';
        if (unit == 'h') {
            total += number * 3600000.0;
        } else if (unit == 'm' && pos + 1 < n && text[pos + 1] == 's') {
            total += number;
            ++pos;  // the "s" of "ms" belongs to this item
        } else if (unit == 'm') {
            total += number * 60000.0;
        } else if (unit == 's') {
            total += RoundHalfEven(number * 1000.0);
        }
        pos += 1;  // past the unit character
    } while (pos < n - 1);
    return total;
}

std::string NumText(double value, bool floating) {
    if (floating) return FloatToText(value);
    char buffer[400];
    // Adding 0 turns a rounded -0 into 0, so -0.4 reads "0".
    std::snprintf(buffer, sizeof buffer, "%.0f", RoundHalfEven(value) + 0.0);
    return buffer;
}

double NumFromText(const std::string& text) {
    const auto value = TextToFloat(text);
    if (!value) throw ConvertError(FormatMessage(strings::kNotValidFloat, text));
    return *value;
}

int32_t IntegerFromText(const std::string& text) {
    const auto value = display::TextToInteger(text);
    if (!value) throw ConvertError(FormatMessage(strings::kNotValidInteger, text));
    return static_cast<int32_t>(*value);
}

}  // namespace rollmode::controls
