#include "sim/Calibration.h"

#include <cmath>

namespace rollmode::sim {

namespace {

constexpr std::array<int, 7> kCodes = {31, 63, 95, 127, 159, 191, 223};

void PutBe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
void PutBe32(uint8_t* p, uint32_t v) {
    PutBe16(p, static_cast<uint16_t>(v >> 16));
    PutBe16(p + 2, static_cast<uint16_t>(v));
}

double Nearest(double v) { return std::nearbyint(v); }  // default rounding: ties to even

int OffsetIndex(int32_t deflection) {
    switch (deflection) {
        case 10: return 0;
        case 20: return 2;
        case 50: return 4;
        case 1000: return 6;
        case 2000: return 8;
        case 5000: return 10;
        default: return -1;
    }
}

}  // namespace

CalibrationData SimulatedUnitCalibration(uint32_t serial) {
    // Defaults of the driver with a per-channel shift: A sits 9 level units higher, B 7 lower.
    static constexpr uint16_t kDefaultA[21] = {1147, 1424, 1702, 1976, 2244, 2505, 2767, 1238, 1512, 1789, 2065,
                                               2327, 2588, 2850, 1282, 1561, 1839, 2114, 2379, 2643, 2907};
    static constexpr uint16_t kDefaultB[21] = {1040, 1314, 1589, 1859, 2128, 2393, 2657, 1181, 1455, 1730, 2005,
                                               2268, 2533, 2796, 1239, 1515, 1793, 2069, 2334, 2600, 2867};
    CalibrationData d;
    d.gainWords = {1830, 1806, 3661, 3611, 3652, 3622};
    d.corrections = {33423, 32112, 34078, 31457, 32768, 32768, 32440, 33096, 32768, 32768};
    for (int k = 0; k < 21; ++k) {
        d.breakpoints[0][k] = static_cast<uint16_t>(kDefaultA[k] + 9);
        d.breakpoints[1][k] = static_cast<uint16_t>(kDefaultB[k] - 7);
    }
    d.offsets = {97, 112, 48, 59, 20, 26, -5, -9, -4, -6, 2, -1};
    d.serial = serial;
    return d;
}

uint32_t CalibrationChecksum(const uint8_t* block) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i <= 155; ++i) sum += (i + 1) * block[i] + i;
    return sum;
}

std::array<uint8_t, kCalibrationBytes> EncodeCalibrationBlock(const CalibrationData& data, bool valid) {
    std::array<uint8_t, kCalibrationBytes> b{};
    b[0] = 0x5A;  // format tag; counts in the checksum, read by nobody
    for (int i = 0; i < 6; ++i) PutBe16(&b[1 + 2 * i], data.gainWords[i]);
    for (int i = 0; i < 10; ++i) PutBe16(&b[13 + 2 * i], data.corrections[i]);
    for (int k = 0; k < 21; ++k) {
        PutBe16(&b[33 + 4 * k], data.breakpoints[0][k]);
        PutBe16(&b[35 + 4 * k], data.breakpoints[1][k]);
    }
    for (int i = 0; i < 12; ++i) PutBe16(&b[117 + 2 * i], static_cast<uint16_t>(data.offsets[i]));
    PutBe32(&b[156], CalibrationChecksum(b.data()) + (valid ? 0 : 1));
    PutBe32(&b[167], data.serial);
    return b;
}

double CorrectionFactor(uint16_t word) { return 0.8 + 0.4 * word / 65535.0; }

int DeflectionClass(int32_t deflection) {
    switch (deflection) {
        case 10: case 100: case 1000: return 0;
        case 20: case 200: case 2000: return 1;
        case 50: case 500: case 5000: return 2;
        default: return -1;
    }
}

int32_t OffsetCorrection(const CalibrationData& data, int channel, int32_t deflection) {
    const int index = OffsetIndex(deflection);
    return index < 0 ? 0 : data.offsets[index + channel];
}

double ZeroCode(const CalibrationData& data, int channel, int32_t deflection, int32_t level) {
    int cls = DeflectionClass(deflection);
    if (cls < 0) cls = 0;
    const double x = level - OffsetCorrection(data, channel, deflection);
    const auto P = [&](int j) { return static_cast<double>(data.breakpoints[channel][7 * cls + j]); };
    int j = 0;
    while (j < 7 && P(j) < x) ++j;
    if (j == 7) return P(6) == P(3) ? 223 : 223 + Nearest((x - P(6)) * 96 / (P(6) - P(3)));
    if (j == 0) return P(3) == P(0) ? 31 : 31 - Nearest((P(0) - x) * 96 / (P(3) - P(0)));
    if (P(j) == P(j - 1)) return kCodes[j - 1];
    return kCodes[j - 1] + Nearest((x - P(j - 1)) * 32 / (P(j) - P(j - 1)));
}

int32_t CalibratedGain(const CalibrationData& data, int channel, int32_t deflection) {
    const int cls = DeflectionClass(deflection);
    if (cls < 0) return 0;
    const double w = data.gainWords[2 * cls + channel];
    double factor = 1.0;
    if (deflection < 100) factor = CorrectionFactor(data.corrections[0 + channel]);
    else if (deflection >= 1000) factor = CorrectionFactor(data.corrections[2 + channel]);
    return static_cast<int32_t>(Nearest(w * factor));
}

}  // namespace rollmode::sim
