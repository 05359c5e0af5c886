#pragma once
// Calibration and range model: the EEPROM calibration block, the zero-code curves that relate a
// channel's level value to the sample code of 0 V, and the range table of control bits and gains.
#include <array>
#include <cstdint>
#include <span>

namespace rollmode::driver {

enum Channel : int { kChannelA = 0, kChannelB = 1 };

inline constexpr uint32_t kCalibrationBlockBytes = 256;
inline constexpr uint32_t kCalibrationEepromBase = 256;
inline constexpr uint32_t kRangeTableBytes = 240;
inline constexpr uint32_t kRangeEntries = 11;
inline constexpr uint32_t kRangeEntriesInUse = 9;
inline constexpr uint32_t kDeviceModelIndex = 3;

// Sample codes at which the seven breakpoints of a curve place 0 V.
inline constexpr std::array<int32_t, 7> kCurveCodes = {31, 63, 95, 127, 159, 191, 223};

struct RangeEntry {
    uint32_t key = 0;  // 1:1 deflection, mV per division
    struct PerChannel {
        uint16_t control = 0;
        uint16_t gainProbe1 = 0;      // calibrated, probe 1:1
        uint16_t gainOtherProbe = 0;  // calibrated, probes 1:10 and above
        uint16_t gainUncalibrated = 0;
    };
    std::array<PerChannel, 2> channel{};
};

struct RangeTable {
    uint32_t count = 0;
    std::array<RangeEntry, kRangeEntries> entries{};
    uint32_t trailer500 = 0;
    uint32_t trailer50 = 0;
    uint32_t modelValue = 0;
    uint32_t modelIndex = 0;
};

// Class of a deflection step: 0 for 10/100/1000, 1 for 20/200/2000, 2 for 5/50/500/5000;
// -1 for a value outside the nine steps.
int DeflectionClass(uint32_t deflection);

// Sum over bytes 0..155 of ((i + 1) * byte + i), modulo 2^32.
uint32_t CalibrationChecksum(std::span<const uint8_t, kCalibrationBlockBytes> block);

class RangeModel {
public:
    // Forgets any calibration: invalid, curves, offsets and serial zero.
    void Clear();
    // Decodes a block read from the EEPROM; an invalid checksum loads the default curves.
    void LoadBlock(std::span<const uint8_t, kCalibrationBlockBytes> block);

    bool CalibrationValid() const { return valid_; }
    uint32_t SerialNumber() const { return serial_; }

    // Fills the table from the template and, with a valid calibration, the calibrated gains.
    void BuildRangeTable(uint32_t modelIndex);
    const RangeTable& Table() const { return table_; }
    // The 240-byte little-endian layout handed to the host.
    std::array<uint8_t, kRangeTableBytes> SerializeRangeTable() const;
    // The entry whose key equals the deflection, else the last entry in use; null with an empty table.
    const RangeEntry* FindEntry(uint32_t deflection) const;

    // Sample code at which 0 V lies for a level value and 1:1 deflection.
    double ZeroCode(int channel, int32_t level, uint32_t deflection) const;
    // The level value that places 0 V at `zeroCode` for the deflection.
    int32_t LevelForZero(int channel, int32_t zeroCode, uint32_t deflection) const;

    int32_t Breakpoint(int channel, int cls, int j) const { return curves_[channel][cls][j]; }
    int32_t OffsetCorrection(int channel, uint32_t deflection) const;

private:
    void LoadDefaultCurves();

    bool valid_ = false;
    uint32_t serial_ = 0;
    std::array<uint16_t, 6> w_{};
    std::array<double, 10> g_{};
    // curves_[channel][class][j]
    std::array<std::array<std::array<int32_t, 7>, 3>, 2> curves_{};
    // offsets_[channel][decade step]: 10, 20, 50, 1000, 2000, 5000
    std::array<std::array<int32_t, 6>, 2> offsets_{};
    RangeTable table_{};
};

}  // namespace rollmode::driver
