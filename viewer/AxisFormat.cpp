#include "AxisFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace rollmode::viewer {

namespace {

std::string Printf(const char* format, double a, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, format, decimals, a);
    return text;
}

int DecimalsFor(double step) {
    if (!(step > 0.0)) return 0;
    return std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 9);
}

std::string Clock(double seconds, int decimals) {
    const bool negative = seconds < 0.0;
    double s = std::fabs(seconds);
    // Round first so 59.9999 shows as 1:00, not 0:60.
    const double scale = std::pow(10.0, decimals);
    s = std::round(s * scale) / scale;
    const auto hours = static_cast<long long>(s / 3600.0);
    s -= static_cast<double>(hours) * 3600.0;
    const auto minutes = static_cast<int>(s / 60.0);
    s -= minutes * 60.0;
    char text[64];
    const int width = decimals > 0 ? decimals + 3 : 2;
    std::snprintf(text, sizeof text, "%s%lld:%02d:%0*.*f", negative ? "-" : "", hours, minutes, width, decimals, s);
    return text;
}

}  // namespace

double NiceStep(double rough) {
    if (!(rough > 0.0) || !std::isfinite(rough)) return 1.0;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * power >= rough * (1.0 - 1e-9)) return m * power;
    }
    return 10.0 * power;
}

double NiceTimeStep(double rough) {
    if (!(rough > 1.0)) return NiceStep(rough);
    static constexpr double kClockSteps[] = {1,    2,    5,    10,   15,    30,    60,    120,   300,
                                             600,  900,  1800, 3600, 7200,  10800, 21600, 43200};
    for (double step : kClockSteps) {
        if (step >= rough) return step;
    }
    return std::ceil(rough / 86400.0) * 86400.0;
}

TimeLabelStyle ChooseTimeStyle(double step, double viewStart, double viewEnd) {
    TimeLabelStyle style;
    if (step >= 1.0 && std::max(std::fabs(viewStart), std::fabs(viewEnd)) >= 60.0) {
        style.kind = TimeLabelStyle::Kind::Clock;
        style.decimals = 0;
    } else if (step < 1e-3 && std::fabs(viewStart) >= 1e-3) {
        style.kind = TimeLabelStyle::Kind::Offset;
        style.unit = step >= 1e-4 ? 1e-3 : 1e-6;
        style.decimals = DecimalsFor(step / style.unit);
        style.origin = std::floor(viewStart / (10.0 * step)) * 10.0 * step;
    } else if (step < 1e-3) {
        // Near the start the time itself is short enough to read.
        style.kind = TimeLabelStyle::Kind::Offset;
        style.unit = step >= 1e-4 ? 1e-3 : 1e-6;
        style.decimals = DecimalsFor(step / style.unit);
        style.origin = 0.0;
    } else {
        style.kind = std::max(std::fabs(viewStart), std::fabs(viewEnd)) >= 60.0 ? TimeLabelStyle::Kind::Clock
                                                                               : TimeLabelStyle::Kind::Seconds;
        style.decimals = DecimalsFor(step);
    }
    return style;
}

std::string FormatTimeLabel(double seconds, const TimeLabelStyle& style) {
    switch (style.kind) {
        case TimeLabelStyle::Kind::Clock:
            return Clock(seconds, style.decimals);
        case TimeLabelStyle::Kind::Offset: {
            const double v = (seconds - style.origin) / style.unit;
            std::string text = Printf(style.origin != 0.0 ? "%+.*f" : "%.*f", v, style.decimals);
            return text + (style.unit < 1e-3 ? " \xC2\xB5s" : " ms");
        }
        case TimeLabelStyle::Kind::Seconds:
            break;
    }
    return Printf("%.*f s", seconds, style.decimals);
}

std::string FormatOrigin(const TimeLabelStyle& style) {
    if (style.kind != TimeLabelStyle::Kind::Offset || style.origin == 0.0) return {};
    const int decimals = std::clamp(DecimalsFor(style.unit), 3, 9);
    if (std::fabs(style.origin) >= 60.0) return "t = " + Clock(style.origin, decimals);
    return Printf("t = %.*f s", style.origin, decimals);
}

std::string FormatInstantTime(double seconds, double secondsPerSample) {
    if (!std::isfinite(seconds)) return "?";
    const int decimals = std::clamp(DecimalsFor(secondsPerSample > 0.0 ? secondsPerSample : 1e-6), 0, 9);
    if (std::fabs(seconds) >= 60.0) return Clock(seconds, decimals);
    return Printf("%.*f s", seconds, decimals);
}

std::string FormatDuration(double seconds) {
    if (!std::isfinite(seconds)) return "?";
    const double a = std::fabs(seconds);
    if (a >= 60.0) return Clock(seconds, 3);
    if (a >= 1.0 || a == 0.0) return Printf("%.*f s", seconds, a == 0.0 ? 0 : 6);
    if (a >= 1e-3) return Printf("%.*f ms", seconds * 1e3, 4);
    return Printf("%.*f \xC2\xB5s", seconds * 1e6, 3);
}

std::string FormatFrequency(double hertz) {
    if (!std::isfinite(hertz)) return "-";
    const double a = std::fabs(hertz);
    if (a >= 1e6) return Printf("%.*f MHz", hertz / 1e6, 4);
    if (a >= 1e3) return Printf("%.*f kHz", hertz / 1e3, 4);
    if (a >= 1.0) return Printf("%.*f Hz", hertz, 4);
    return Printf("%.*f mHz", hertz * 1e3, 4);
}

std::string FormatMillivolts(double mv) {
    if (!std::isfinite(mv)) return "-";
    if (std::fabs(mv) >= 1000.0) return Printf("%.*f V", mv / 1000.0, 4);
    return Printf("%.*f mV", mv, 2);
}

std::string FormatScaleMillivolts(double mv, double step, bool volts) {
    if (std::fabs(mv) < step * 1e-6) mv = 0.0;
    if (volts) return Printf("%.*f V", mv / 1000.0, DecimalsFor(step / 1000.0));
    return Printf("%.*f mV", mv, DecimalsFor(step));
}

}  // namespace rollmode::viewer
