#pragma once
// Time since a measurement's start, exact: every sample instant (a sample word or a
// not-armed word 2) advances it by 1/rate of the rate in force. Kept as whole
// picoseconds plus a remainder in units of 1/rate ps, so millions of steps add up
// without drift and a row's time is exact to well below a nanosecond.
#include <cstdint>

namespace rollmode::records {

class TInstantClock {
public:
    static constexpr uint64_t kPsPerSecond = 1'000'000'000'000ULL;

    // Back to time 0, keeping the rate (a new measurement).
    void Restart() { ps_ = 0; rem_ = 0; }
    // A new rate counts from the current instant on; 0 = unknown.
    void SetRate(uint32_t samplesPerSecond);
    uint32_t Rate() const { return rate_; }
    bool Known() const { return rate_ != 0; }

    void Step() {
        ps_ += whole_;
        rem_ += frac_;
        if (rem_ >= rate_) {
            rem_ -= rate_;
            ++ps_;
        }
    }
    void Advance(uint64_t instants);

    // Picoseconds since the start, rounded down (0 while the rate is unknown).
    uint64_t Ps() const { return ps_; }
    // Nanoseconds, rounded to nearest.
    uint64_t Ns() const { return (ps_ + 500) / 1000; }
    double Seconds() const { return static_cast<double>(ps_) / static_cast<double>(kPsPerSecond); }
    // How many instants from now lie before the time `ps` (0 when it is not later).
    uint64_t InstantsBefore(uint64_t ps) const;

private:
    uint32_t rate_ = 0;
    uint64_t whole_ = 0, frac_ = 0;  // 1e12 / rate as whole ps and remainder
    uint64_t ps_ = 0, rem_ = 0;
};

}  // namespace rollmode::records
