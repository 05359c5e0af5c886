#pragma once
// How long a roll screen waits between two paints. At most 25 paints a second; fewer when a
// paint costs more than kShare of a core, which happens only where the whole picture must move
// on a very large window (a rolling screen at 3840 x 2160 moves 33 MB per paint), so that cost
// stays bounded however large the window; never fewer than 10 a second. Qt-free.
#include <algorithm>

namespace rollmode::display {

class TPaintPacer {
public:
    static constexpr int kMinIntervalMs = 40;
    static constexpr int kMaxIntervalMs = 100;
    static constexpr double kShare = 0.02;

    // CPU seconds one paint took; smoothed, so a single slow paint does not halve the rate.
    void AddPaintCost(double seconds) { cost_ = cost_ <= 0 ? seconds : 0.75 * cost_ + 0.25 * seconds; }

    int IntervalMs() const {
        const double ms = cost_ * 1000.0 / kShare;
        return static_cast<int>(std::clamp(ms, double(kMinIntervalMs), double(kMaxIntervalMs)));
    }

private:
    double cost_ = 0;
};

}  // namespace rollmode::display
