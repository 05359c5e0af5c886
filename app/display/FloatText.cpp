#include "FloatText.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace rollmode::display {

namespace {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string FloatToText(double v) {
    if (std::isnan(v)) return "NAN";
    if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
    if (v == 0.0) return "0";

    // 15 significant digits in scientific form give the digits and the exponent.
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.14e", v);
    std::string_view s(buffer);
    const bool negative = s.front() == '-';
    if (negative) s.remove_prefix(1);
    const std::size_t e = s.find('e');
    std::string digits;
    for (char c : s.substr(0, e))
        if (IsDigit(c)) digits.push_back(c);
    const int exponent = std::atoi(std::string(s.substr(e + 1)).c_str());
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string out = negative ? "-" : "";
    if (exponent >= 15 || std::fabs(v) < 0.00001) {
        out += digits[0];
        if (digits.size() > 1) out += "." + digits.substr(1);
        out += "E" + std::to_string(exponent);
        return out;
    }
    if (exponent < 0) {
        out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
        return out;
    }
    const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= integerDigits) {
        out += digits + std::string(integerDigits - digits.size(), '0');
    } else {
        out += digits.substr(0, integerDigits) + "." + digits.substr(integerDigits);
    }
    return out;
}

std::optional<double> TextToFloat(std::string_view text) {
    text = TrimBlanks(text);
    std::string normal;
    normal.reserve(text.size());
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') normal.push_back('-');
        ++i;
    }
    // from_chars would also take "inf" and "nan"; the program's numbers start with a
    // digit or the separator.
    if (i >= text.size() || !(IsDigit(text[i]) || text[i] == '.' || text[i] == ',')) return std::nullopt;
    for (; i < text.size(); ++i) normal.push_back(text[i] == ',' ? '.' : text[i]);

    double value = 0.0;
    const char* first = normal.data();
    const char* last = normal.data() + normal.size();
    const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec != std::errc{} || ptr != last || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<long long> TextToInteger(std::string_view text) {
    text = TrimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || !IsDigit(text.front())) return std::nullopt;
    long long value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (ec != std::errc{} || ptr != text.data() + text.size()) return std::nullopt;
    if (negative) value = -value;
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return value;
}

}  // namespace rollmode::display
