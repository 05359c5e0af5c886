#pragma once
// The instrument's calibration block (EEPROM 256..511) and the zero-code model the
// driver library reads from it. The simulated front end places its zero line with
// the same model, so codes, levels and thresholds agree end to end.
#include <array>
#include <cstdint>

namespace rollmode::sim {

inline constexpr uint32_t kCalibrationAddress = 256;
inline constexpr uint32_t kCalibrationBytes = 256;

struct CalibrationData {
    // Gain words: W0/W1 (A/B) 1-steps, W2/W3 2-steps, W4/W5 5-steps.
    std::array<uint16_t, 6> gainWords{};
    // Correction words R0..R9; factor Gk = 0.8 + 0.4 * Rk / 65535.
    std::array<uint16_t, 10> corrections{};
    // Zero-line breakpoints per channel, index 7 * class + j (class 0: 1-steps, 1: 2-steps, 2: 5-steps).
    std::array<std::array<uint16_t, 21>, 2> breakpoints{};
    // Offset corrections A10, B10, A20, B20, A50, B50, A1000, B1000, A2000, B2000, A5000, B5000.
    std::array<int16_t, 12> offsets{};
    uint32_t serial = 0;
};

// The calibration of the simulated unit: close to, but not equal to, the driver's defaults,
// so a host that ignores the block is visibly off.
CalibrationData SimulatedUnitCalibration(uint32_t serial);

// The 256-byte block; with valid false the checksum field is one off.
std::array<uint8_t, kCalibrationBytes> EncodeCalibrationBlock(const CalibrationData& data, bool valid);
uint32_t CalibrationChecksum(const uint8_t* block);

double CorrectionFactor(uint16_t word);

// Class 0/1/2 of a 1:1 deflection (1-, 2-, 5-steps); -1 outside the nine steps.
int DeflectionClass(int32_t deflection);
// The stored offset correction for channel 0/1 at a deflection (0 for 100, 200, 500 and unknown).
int32_t OffsetCorrection(const CalibrationData& data, int channel, int32_t deflection);
// Sample code of 0 V for a level value at a deflection (ties to even).
double ZeroCode(const CalibrationData& data, int channel, int32_t deflection, int32_t level);
// The gain value that gives exactly the nominal deflection with a 1:1 probe.
int32_t CalibratedGain(const CalibrationData& data, int channel, int32_t deflection);

}  // namespace rollmode::sim
