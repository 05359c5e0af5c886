#include "sim/Calibration.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace rollmode::sim;

namespace {

// The driver's default curves and offsets, the reference values of the zero-code model.
CalibrationData DefaultCurves() {
    static constexpr uint16_t kA[21] = {1147, 1424, 1702, 1976, 2244, 2505, 2767, 1238, 1512, 1789, 2065,
                                        2327, 2588, 2850, 1282, 1561, 1839, 2114, 2379, 2643, 2907};
    static constexpr uint16_t kB[21] = {1040, 1314, 1589, 1859, 2128, 2393, 2657, 1181, 1455, 1730, 2005,
                                        2268, 2533, 2796, 1239, 1515, 1793, 2069, 2334, 2600, 2867};
    CalibrationData d;
    for (int k = 0; k < 21; ++k) {
        d.breakpoints[0][k] = kA[k];
        d.breakpoints[1][k] = kB[k];
    }
    d.offsets = {101, 110, 50, 57, 21, 25, -6, -8, -4, -5, 1, -2};
    return d;
}

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

TEST(ZeroCodeModel, MatchesTheDriverReferencePoints) {
    const CalibrationData d = DefaultCurves();
    EXPECT_EQ(ZeroCode(d, 0, 100, 1976), 127);
    EXPECT_EQ(ZeroCode(d, 0, 100, 1147), 31);
    EXPECT_EQ(ZeroCode(d, 0, 100, 2767), 223);
    EXPECT_EQ(ZeroCode(d, 0, 10, 2077), 127);  // offset correction 101
    EXPECT_EQ(ZeroCode(d, 0, 100, 0), -102);   // below the curve: mean slope of three intervals
    EXPECT_EQ(ZeroCode(d, 0, 100, 1976 + 14), 127 + 2);  // between breakpoints: 32 codes per interval
    EXPECT_EQ(ZeroCode(d, 1, 2000, 2005 - 5), 127);      // B, class 1, offset -5
    EXPECT_EQ(ZeroCode(d, 0, 7, 1976), 127);             // unknown deflection: class 0, no offset
}

TEST(ZeroCodeModel, EqualBreakpointsNeverDivide) {
    CalibrationData d = DefaultCurves();
    for (int j = 0; j < 7; ++j) d.breakpoints[0][j] = 2000;
    EXPECT_EQ(ZeroCode(d, 0, 100, 3000), 223);
    EXPECT_EQ(ZeroCode(d, 0, 100, 100), 31);
    EXPECT_TRUE(std::isfinite(ZeroCode(d, 0, 100, 2000)));
}

TEST(CalibrationBlock, LayoutChecksumAndSerial) {
    const CalibrationData d = SimulatedUnitCalibration(0x01020304);
    const auto block = EncodeCalibrationBlock(d, true);
    EXPECT_EQ(Be32(&block[156]), CalibrationChecksum(block.data()));
    EXPECT_EQ(Be32(&block[167]), 0x01020304u);
    EXPECT_EQ(block[1] << 8 | block[2], d.gainWords[0]);
    EXPECT_EQ(block[11] << 8 | block[12], d.gainWords[5]);
    EXPECT_EQ(block[13] << 8 | block[14], d.corrections[0]);
    EXPECT_EQ(block[33] << 8 | block[34], d.breakpoints[0][0]);
    EXPECT_EQ(block[35] << 8 | block[36], d.breakpoints[1][0]);
    EXPECT_EQ(block[113] << 8 | block[114], d.breakpoints[0][20]);
    EXPECT_EQ(static_cast<int16_t>(block[139] << 8 | block[140]), d.offsets[11]);

    const auto broken = EncodeCalibrationBlock(d, false);
    EXPECT_EQ(Be32(&broken[156]), CalibrationChecksum(broken.data()) + 1);
}

TEST(CalibrationBlock, ChecksumWeighsPositionAndIndex) {
    uint8_t block[256] = {};
    EXPECT_EQ(CalibrationChecksum(block), 155u * 156u / 2);  // sum of i
    block[0] = 1;
    block[155] = 2;
    block[156] = 99;  // outside the summed range
    EXPECT_EQ(CalibrationChecksum(block), 155u * 156u / 2 + 1 + 156 * 2);
}

TEST(CalibrationBlock, CalibratedGainsFollowWordsAndFactors) {
    const CalibrationData d = SimulatedUnitCalibration(1);
    EXPECT_EQ(CalibratedGain(d, 0, 100), d.gainWords[0]);
    EXPECT_EQ(CalibratedGain(d, 1, 500), d.gainWords[5]);
    EXPECT_EQ(CalibratedGain(d, 0, 10), std::lround(d.gainWords[0] * CorrectionFactor(d.corrections[0])));
    EXPECT_EQ(CalibratedGain(d, 1, 2000), std::lround(d.gainWords[3] * CorrectionFactor(d.corrections[3])));
    EXPECT_EQ(CalibratedGain(d, 0, 33), 0);
    EXPECT_DOUBLE_EQ(CorrectionFactor(0), 0.8);
    EXPECT_DOUBLE_EQ(CorrectionFactor(65535), 1.2);
}

}  // namespace
