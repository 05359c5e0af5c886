#pragma once
// Steps and texts of the viewer's scales and read-outs: 1-2-5 steps, times since the
// measurement's start (h:min:s over long spans, s, and ms/µs offsets at fine zoom),
// millivolts and frequencies. Plain C++, no Qt.
#include <string>

namespace rollmode::viewer {

// The smallest 1, 2 or 5 times a power of ten that is at least `rough` (> 0).
double NiceStep(double rough);

// A step of a time axis of at least `rough` seconds: 1-2-5 below a second, whole
// clock steps (1, 2, 5, 10, 15, 30 s, 1, 2, 5, 10, 15, 30 min, 1, 2, 3, 6, 12 h) above.
double NiceTimeStep(double rough);

// How the labels of a time axis with ticks `step` seconds apart are written.
struct TimeLabelStyle {
    enum class Kind { Clock, Seconds, Offset } kind = Kind::Seconds;
    int decimals = 0;        // decimals of the seconds (Clock, Seconds) or of the unit (Offset)
    double unit = 1.0;       // Offset: seconds per unit (1e-3 ms, 1e-6 µs)
    double origin = 0.0;     // Offset: time the offsets count from
};

// Clock when ticks are whole seconds and the view reaches a minute; offsets from
// `viewStart` (rounded down to a multiple of ten steps) below a millisecond; seconds
// otherwise.
TimeLabelStyle ChooseTimeStyle(double step, double viewStart, double viewEnd);
std::string FormatTimeLabel(double seconds, const TimeLabelStyle& style);
// The axis' origin for Offset labels, e.g. "t = 12.345600 s".
std::string FormatOrigin(const TimeLabelStyle& style);

// A time or time difference read-out with enough digits for one sample of the rate
// (e.g. "1:02:03.250000", "12.5 ms", "840 µs").
std::string FormatInstantTime(double seconds, double secondsPerSample);
std::string FormatDuration(double seconds);
std::string FormatFrequency(double hertz);
// Millivolts as "12.5 mV" or "1.25 V".
std::string FormatMillivolts(double mv);
// A label of a scale with ticks `step` mV apart, in V when `volts` (one unit per scale).
std::string FormatScaleMillivolts(double mv, double step, bool volts);

}  // namespace rollmode::viewer
