#pragma once
// The instrument's units: sampling-rate, display-rate and deflection steps.
#include <array>
#include <cstdint>

namespace rollmode::core {

inline constexpr int kSmpSteps = 16;  // SMPSetting 0..15
inline constexpr int kDspSteps = 17;  // DSPSetting 0..16
inline constexpr int kProbeCodes = 4;       // probe 1..4
inline constexpr int kSensitivitySteps = 9;  // density 1..9

inline constexpr int kCodesPerDivision = 32;
inline constexpr int kColumnsPerDivision = 50;

inline constexpr std::array<int32_t, kSmpSteps> kSamplesPerSecond = {
    50, 100, 250, 500, 1000, 2500, 5000, 10000,
    25000, 50000, 100000, 250000, 500000, 1000000, 2500000, 5000000};

inline constexpr std::array<double, kDspSteps> kSecondsPerDivision = {
    0.1, 0.2, 0.5, 1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000};

// Millivolts per division, by probe code 1..4 (rows) and sensitivity step 1..9.
inline constexpr std::array<std::array<int32_t, kSensitivitySteps>, kProbeCodes> kDeflection = {{
    {10, 20, 50, 100, 200, 500, 1000, 2000, 5000},
    {100, 200, 500, 1000, 2000, 5000, 10000, 20000, 50000},
    {1000, 2000, 5000, 10000, 20000, 50000, 100000, 200000, 500000},
    {10000, 20000, 50000, 100000, 200000, 500000, 1000000, 2000000, 5000000},
}};

// A step outside a table is clamped to its nearest end: the callers keep steps in
// range, only a damaged settings file does not, and a clamped step stays usable.
constexpr int ClampSmpStep(int step) { return step < 0 ? 0 : (step >= kSmpSteps ? kSmpSteps - 1 : step); }
constexpr int ClampDspStep(int step) { return step < 0 ? 0 : (step >= kDspSteps ? kDspSteps - 1 : step); }

constexpr int32_t SamplesPerSecond(int smpStep) { return kSamplesPerSecond[ClampSmpStep(smpStep)]; }
constexpr double SecondsPerDivision(int dspStep) { return kSecondsPerDivision[ClampDspStep(dspStep)]; }

// 1 outside the table, step 0 included.
constexpr int32_t Deflection(int probeCode, int sensitivityStep) {
    if (probeCode < 1 || probeCode > kProbeCodes || sensitivityStep < 1 || sensitivityStep > kSensitivitySteps)
        return 1;
    return kDeflection[probeCode - 1][sensitivityStep - 1];
}

// Samples that fall into one pixel column.
constexpr double SamplesPerColumn(int smpStep, int dspStep) {
    return SamplesPerSecond(smpStep) * SecondsPerDivision(dspStep) / kColumnsPerDivision;
}

}  // namespace rollmode::core
