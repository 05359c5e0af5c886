#include "InstantClock.h"

#include <limits>

namespace rollmode::records {

namespace {
using u128 = unsigned __int128;
}

void TInstantClock::SetRate(uint32_t samplesPerSecond) {
    rate_ = samplesPerSecond;
    rem_ = 0;  // the fraction of a picosecond left over is dropped
    whole_ = rate_ == 0 ? 0 : kPsPerSecond / rate_;
    frac_ = rate_ == 0 ? 0 : kPsPerSecond % rate_;
}

void TInstantClock::Advance(uint64_t instants) {
    if (rate_ == 0) return;
    const u128 total = static_cast<u128>(rem_) + static_cast<u128>(instants) * frac_;
    ps_ += instants * whole_ + static_cast<uint64_t>(total / rate_);
    rem_ = static_cast<uint64_t>(total % rate_);
}

uint64_t TInstantClock::InstantsBefore(uint64_t ps) const {
    if (rate_ == 0) return 0;
    if (ps <= ps_) return 0;
    // Instant k lies at ps_ + floor((rem_ + k * 1e12) / rate): the first k at or after
    // `ps` is the smallest with rem_ + k * 1e12 >= (ps - ps_) * rate.
    const u128 need = static_cast<u128>(ps - ps_) * rate_;
    if (need <= rem_) return 0;
    const u128 k = (need - rem_ + kPsPerSecond - 1) / kPsPerSecond;
    return k > std::numeric_limits<uint64_t>::max() ? std::numeric_limits<uint64_t>::max() : static_cast<uint64_t>(k);
}

}  // namespace rollmode::records
