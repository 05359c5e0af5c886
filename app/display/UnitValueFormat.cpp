#include "UnitValueFormat.h"

#include <cmath>

#include "FloatText.h"
#include "ResourceStringsLyraRM.h"

namespace rollmode::display {

namespace {

struct Scaled {
    double shown;
    const char* unit;
};

// The metric steps shared by plain numbers and sample counts.
Scaled MetricNumber(double v) {
    if (v > 999999999.0) return {RoundHalfEven(v / 1e6) / 1000.0, "G"};
    if (v > 999999.0) return {RoundHalfEven(v / 1e3) / 1000.0, "M"};
    if (v > 999.0) return {RoundHalfEven(v) / 1000.0, "k"};
    if (v >= 1.0) return {RoundHalfEven(v * 1e3) / 1000.0, ""};
    if (v < 0.001) return {RoundHalfEven(v * 1e9) / 1000.0, "u"};
    return {RoundHalfEven(v * 1e6) / 1000.0, "m"};
}

// Time bases of a minute and more: plain integers of hours, minutes and seconds.
std::string LongTimeBase(double v) {
    // Clamped so that an absurd value cannot overflow the integer conversion.
    const auto s = static_cast<long long>(std::fmin(RoundHalfEven(v), 9.0e15));
    std::string text;
    if (v > 3599.0) {
        text = std::to_string(s / 3600) + "h";
        const long long r = s % 3600;
        if (r / 60 != 0) text += " " + std::to_string(r / 60) + "min";
        if (r % 60 != 0) text += " " + std::to_string(r % 60) + "s";
    } else {
        text = std::to_string(s / 60) + "min";
        if (s % 60 != 0) text += " " + std::to_string(s % 60) + "s";
    }
    return text + "/d";
}

}  // namespace

std::string FormatUnitValue(double v, int32_t controlType, bool invalid, double& shownValue) {
    Scaled scaled{shownValue, ""};
    switch (controlType) {
        case kUnitNanoseconds:
            if (v > 999999999.0) scaled = {RoundHalfEven(v / 1e6) / 1000.0, "s"};
            else if (v > 999999.0) scaled = {RoundHalfEven(v / 1e3) / 1000.0, "ms"};
            else if (v > 999.0) scaled = {RoundHalfEven(v) / 1000.0, "us"};
            else scaled = {RoundHalfEven(v * 1e3) / 1000.0, "ns"};
            break;
        case kUnitMillivolts:
            if (std::fabs(v) > 999999.0) scaled = {RoundHalfEven(v / 1e3) / 1000.0, "kV"};
            else if (std::fabs(v) > 999.0) scaled = {RoundHalfEven(v) / 1000.0, "V"};
            else scaled = {RoundHalfEven(v * 1e3) / 1000.0, "mV"};
            break;
        case kUnitBytes:
            if (v > 1073741824.0) scaled = {RoundHalfEven(v / 1073741824.0 * 10.0) / 10.0, " GB"};
            else if (v > 1048575.0) scaled = {RoundHalfEven(v / 1048576.0 * 10.0) / 10.0, " MB"};
            else if (v > 1023.0) scaled = {RoundHalfEven(v / 1024.0 * 10.0) / 10.0, " KB"};
            else scaled = {v, " B"};
            break;
        case kUnitMillivoltsPerDivision:
            if (v > 999999.0) scaled = {RoundHalfEven(v / 1e3) / 1000.0, "kV/d"};
            else if (v > 999.0) scaled = {RoundHalfEven(v) / 1000.0, "V/d"};
            else scaled = {RoundHalfEven(v * 1e3) / 1000.0, "mV/d"};
            break;
        case kUnitSecondsPerDivision:
            if (v > 59.0) return LongTimeBase(v);
            scaled = {RoundHalfEven(v * 1e3) / 1000.0, "s/d"};
            break;
        case kUnitSamplesPerSecond:
            if (v > 999999.0) scaled = {RoundHalfEven(v / 1e3) / 1000.0, "MS/s"};
            else if (v > 999.0) scaled = {RoundHalfEven(v) / 1000.0, "kS/s"};
            else scaled = {RoundHalfEven(v * 1e3) / 1000.0, "S/s"};
            break;
        case kUnitHertzPerDivision:
            if (v > 999.0) scaled = {RoundHalfEven(v) / 1000.0, "kHz/d"};
            else if (v >= 1.0) scaled = {RoundHalfEven(v * 1e3) / 1000.0, "Hz/d"};
            else if (v < 0.001) scaled = {RoundHalfEven(v * 1e9) / 1000.0, "uHz/d"};
            else scaled = {RoundHalfEven(v * 1e6) / 1000.0, "mHz/d"};
            break;
        case kUnitPlainNumber:
            scaled = MetricNumber(v);
            break;
        case kUnitSampleCount: {
            scaled = MetricNumber(v);
            shownValue = scaled.shown;
            if (invalid) return strings::kNotAvailable;
            return FloatToText(scaled.shown) + scaled.unit + "S";
        }
        default:
            break;
    }
    shownValue = scaled.shown;
    if (invalid) return strings::kNotAvailable;
    return FloatToText(scaled.shown) + scaled.unit;
}

}  // namespace rollmode::display
