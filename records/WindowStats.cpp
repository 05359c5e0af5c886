#include "WindowStats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "FixedPoint.h"

namespace rollmode::records {

TWindowStats::TWindowStats(std::string path, TExportOptions options, uint64_t windowPs)
    : options_(std::move(options)), windowPs_(windowPs == 0 ? 1 : windowPs), out_(std::move(path)) {}

bool TWindowStats::Begin() {
    if (!out_.Create()) {
        error_ = out_.Error();
        return false;
    }
    writer_.Attach(out_.Fd());
    static constexpr char kHeader[] =
        "measurement,start_s,samples,not_armed,overflows,"
        "a_min_mV,a_max_mV,a_mean_mV,a_rms_mV,b_min_mV,b_max_mV,b_mean_mV,b_rms_mV\n";
    writer_.Write(kHeader, sizeof kHeader - 1);
    return true;
}

bool TWindowStats::Finish() {
    if (open_) EndWindow();
    return FlushAndCommit(writer_, out_, error_);
}

void TWindowStats::OnMeasurement(uint32_t measurement) {
    if (open_) EndWindow();
    measurement_ = measurement;
}

void TWindowStats::OnSettings(const RecordItem&, const RecordSettings& settings) { settings_ = &settings; }

void TWindowStats::StartWindowAt(uint64_t ps) {
    const uint64_t base = options_.range.fromPs;
    windowStartPs_ = ps < base ? base : base + (ps - base) / windowPs_ * windowPs_;
    windowEndPs_ = windowStartPs_ + std::min(windowPs_, TExportRange::kEnd - windowStartPs_);
    open_ = true;
}

void TWindowStats::OnOverflow(uint32_t, const TInstantClock& at) {
    if (!at.Known()) return;
    if (open_ && at.Ps() >= windowEndPs_) EndWindow();
    if (!open_) StartWindowAt(at.Ps());
    ++overflows_;
}

void TWindowStats::FoldCodes() {
    if (codeSamples_ == 0) return;
    for (int ch = 0; ch < 2; ++ch) {
        CodeSums& c = sums_[ch];
        const bool known = settings_ != nullptr && settings_->zeroKnown[ch] && settings_->deflection[ch] != 0;
        if (known) {
            const double k = static_cast<double>(settings_->deflection[ch]) / RecordSettings::kCodesPerDivision;
            const int64_t z = settings_->zeroCode[ch];
            const auto n = static_cast<int64_t>(codeSamples_);
            const auto sum = static_cast<int64_t>(c.sum);
            // Sum of (code - z) and of its square, exact in integers.
            const int64_t centred = sum - n * z;
            const int64_t squares = static_cast<int64_t>(c.squares) - 2 * z * sum + n * z * z;
            Channel& m = channels_[ch];
            const double lo = static_cast<double>(c.min - z) * k, hi = static_cast<double>(c.max - z) * k;
            m.min = m.count == 0 ? lo : std::min(m.min, lo);
            m.max = m.count == 0 ? hi : std::max(m.max, hi);
            m.count += codeSamples_;
            m.sum += static_cast<double>(centred) * k;
            m.squares += static_cast<double>(squares) * k * k;
        }
        c = CodeSums{};
    }
    codeSamples_ = 0;
}

void TWindowStats::EndWindow() {
    FoldCodes();
    char line[512];
    char* p = line;
    p = FormatUnsigned(p, measurement_);
    *p++ = ',';
    p = FormatNanoseconds(p, (windowStartPs_ + 500) / 1000);
    const auto end = line + sizeof line;
    p += std::snprintf(p, static_cast<std::size_t>(end - p), ",%llu,%llu,%llu", static_cast<unsigned long long>(samples_),
                       static_cast<unsigned long long>(notArmed_), static_cast<unsigned long long>(overflows_));
    for (const Channel& m : channels_) {
        if (m.count == 0) {
            p += std::snprintf(p, static_cast<std::size_t>(end - p), ",,,,");
            continue;
        }
        const double n = static_cast<double>(m.count);
        p += std::snprintf(p, static_cast<std::size_t>(end - p), ",%.3f,%.3f,%.3f,%.3f", m.min, m.max, m.sum / n,
                           std::sqrt(std::max(0.0, m.squares / n)));
    }
    *p++ = '\n';
    writer_.Write(line, static_cast<std::size_t>(p - line));
    ++windows_;
    open_ = false;
    samples_ = notArmed_ = overflows_ = 0;
    channels_ = {};
}

void TWindowStats::OnSpan(const TSpan& span) {
    settings_ = span.settings;
    if (!span.clock.Known()) {
        if (samples_ == 0 && windows_ == 0 && !open_)
            options_.note("samples before the first rate record have no time and are left out");
        return;
    }
    TInstantClock clock = span.clock;
    std::size_t i = 0;
    while (i < span.count) {
        if (open_ && clock.Ps() >= windowEndPs_) EndWindow();
        if (!open_) StartWindowAt(clock.Ps());
        const auto n = static_cast<std::size_t>(std::min<uint64_t>(span.count - i, clock.InstantsBefore(windowEndPs_)));
        const std::size_t take = n == 0 ? 1 : n;
        uint64_t sumA = 0, sumB = 0, sqA = 0, sqB = 0, armed = 0;
        int minA = sums_[0].min, maxA = sums_[0].max, minB = sums_[1].min, maxB = sums_[1].max;
        for (std::size_t k = i; k < i + take; ++k) {
            const uint16_t w = span.words[k];
            if (w == 2) continue;
            const int a = w & 0xFF, b = w >> 8;
            ++armed;
            sumA += a;
            sumB += b;
            sqA += static_cast<uint64_t>(a * a);
            sqB += static_cast<uint64_t>(b * b);
            minA = std::min(minA, a);
            maxA = std::max(maxA, a);
            minB = std::min(minB, b);
            maxB = std::max(maxB, b);
        }
        sums_[0] = {sums_[0].sum + sumA, sums_[0].squares + sqA, minA, maxA};
        sums_[1] = {sums_[1].sum + sumB, sums_[1].squares + sqB, minB, maxB};
        codeSamples_ += armed;
        samples_ += armed;
        notArmed_ += take - armed;
        FoldCodes();
        clock.Advance(take);
        i += take;
    }
}

}  // namespace rollmode::records
