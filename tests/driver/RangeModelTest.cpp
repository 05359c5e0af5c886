#include "RangeModel.h"

#include <gtest/gtest.h>

#include <cstring>

#include "FakeBraskControl.h"

namespace rollmode::driver {
namespace {

using test::CalibrationBlockBuilder;

std::array<uint8_t, 256> AsBlock(const std::vector<uint8_t>& bytes) {
    std::array<uint8_t, 256> block{};
    std::memcpy(block.data(), bytes.data(), 256);
    return block;
}

RangeModel DefaultModel() {
    RangeModel model;
    model.LoadBlock(AsBlock(std::vector<uint8_t>(256, 0xFF)));  // checksum cannot match
    EXPECT_FALSE(model.CalibrationValid());
    return model;
}

uint32_t Le32(const std::array<uint8_t, 240>& t, size_t at) {
    return t[at] | (t[at + 1] << 8) | (t[at + 2] << 16) | (uint32_t{t[at + 3]} << 24);
}
uint16_t Le16(const std::array<uint8_t, 240>& t, size_t at) { return static_cast<uint16_t>(t[at] | (t[at + 1] << 8)); }

TEST(ZeroCurves, DefaultCurvesPlaceBreakpointsAtTheirCodes) {
    const RangeModel model = DefaultModel();
    EXPECT_EQ(model.ZeroCode(kChannelA, 1976, 100), 127);
    EXPECT_EQ(model.ZeroCode(kChannelA, 1147, 100), 31);
    EXPECT_EQ(model.ZeroCode(kChannelA, 2767, 100), 223);
    // Deflection 10 carries the offset correction 101.
    EXPECT_EQ(model.ZeroCode(kChannelA, 2077, 10), 127);
    // Below P0 the curve continues with the mean slope of the three outer intervals.
    EXPECT_EQ(model.ZeroCode(kChannelA, 0, 100), -102);
    // Above P6: 223 + nearest((4095 - 2767) * 96 / (2767 - 1976)) = 223 + 161.
    EXPECT_EQ(model.ZeroCode(kChannelA, 4095, 100), 384);
    // Between breakpoints: 63 + nearest((1563 - 1424) * 32 / 278) = 63 + 16.
    EXPECT_EQ(model.ZeroCode(kChannelA, 1563, 100), 79);
    // Channel B uses its own curve: 5-steps, offset B50 = 25.
    EXPECT_EQ(model.ZeroCode(kChannelB, 2069 + 25, 50), 127);
}

TEST(ZeroCurves, DeflectionOutsideTheStepsCountsAsFirstClassWithoutOffset) {
    const RangeModel model = DefaultModel();
    EXPECT_EQ(model.ZeroCode(kChannelA, 1976, 30), 127);
    EXPECT_EQ(model.LevelForZero(kChannelA, 127, 30), 1976);
    EXPECT_EQ(model.ZeroCode(kChannelA, 1976, 0), 127);
}

TEST(ZeroCurves, LevelForZeroInvertsTheCurve) {
    const RangeModel model = DefaultModel();
    EXPECT_EQ(model.LevelForZero(kChannelA, 127, 100), 1976);
    EXPECT_EQ(model.LevelForZero(kChannelA, 127, 20), 2115);  // class 1, e = 50
    EXPECT_EQ(model.LevelForZero(kChannelA, 31, 100), 1147);
    EXPECT_EQ(model.LevelForZero(kChannelA, 223, 100), 2767);
    // Outside the breakpoints: 1147 - nearest(31 * 829 / 96) and 2767 + nearest(32 * 791 / 96).
    EXPECT_EQ(model.LevelForZero(kChannelA, 0, 100), 1147 - 268);
    EXPECT_EQ(model.LevelForZero(kChannelA, 255, 100), 2767 + 264);
    // Round trip on every code inside the curve for every step and both channels.
    for (int ch = 0; ch < 2; ++ch) {
        for (uint32_t d : {10u, 20u, 50u, 100u, 200u, 500u, 1000u, 2000u, 5000u}) {
            for (int z = 31; z <= 223; ++z) {
                EXPECT_EQ(model.ZeroCode(ch, model.LevelForZero(ch, z, d), d), z) << ch << " " << d << " " << z;
            }
        }
    }
}

TEST(ZeroCurves, EqualBreakpointsNeverDivide) {
    RangeModel model;
    model.Clear();  // every breakpoint 0
    EXPECT_EQ(model.ZeroCode(kChannelA, 0, 100), 31);
    EXPECT_EQ(model.ZeroCode(kChannelA, -5, 100), 31);
    EXPECT_EQ(model.ZeroCode(kChannelA, 5, 100), 223);
    EXPECT_EQ(model.LevelForZero(kChannelA, 10, 100), 0);
    EXPECT_EQ(model.LevelForZero(kChannelA, 240, 100), 0);

    CalibrationBlockBuilder b;
    for (int j = 0; j < 7; ++j) b.SetBreakpoint(0, 0, j, j < 3 ? 1000 : 2000);
    model.LoadBlock(AsBlock(b.Finish()));
    ASSERT_TRUE(model.CalibrationValid());
    EXPECT_EQ(model.ZeroCode(kChannelA, 2000, 100), 127);  // P3 = 2000 reached first
    EXPECT_EQ(model.ZeroCode(kChannelA, 2500, 100), 223);  // P6 = P3
    EXPECT_EQ(model.LevelForZero(kChannelA, 159, 100), 2000);
}

TEST(Calibration, ChecksumOneOffSelectsDefaultsAndUncalibratedGains) {
    CalibrationBlockBuilder b;
    b.SetW(0, 2000);
    b.SetSerial(12345678);
    RangeModel model;
    model.LoadBlock(AsBlock(b.Finish(1)));
    EXPECT_FALSE(model.CalibrationValid());
    EXPECT_EQ(model.Breakpoint(kChannelA, 0, 0), 1147);
    EXPECT_EQ(model.Breakpoint(kChannelB, 2, 6), 2867);
    EXPECT_EQ(model.OffsetCorrection(kChannelB, 5000), -2);
    EXPECT_EQ(model.OffsetCorrection(kChannelA, 1000), -6);
    EXPECT_EQ(model.OffsetCorrection(kChannelA, 500), 0);
    model.BuildRangeTable(kDeviceModelIndex);
    for (uint32_t i = 0; i < 9; ++i) {
        const auto& e = model.Table().entries[i];
        EXPECT_EQ(e.channel[0].gainUncalibrated, i % 3 == 0 ? 1818 : 3636);
        EXPECT_EQ(e.channel[1].gainUncalibrated, i % 3 == 0 ? 1818 : 3636);
        EXPECT_EQ(e.channel[0].gainProbe1, 0);
        EXPECT_EQ(e.channel[1].gainOtherProbe, 0);
    }
}

TEST(Calibration, ValidBlockSuppliesCurvesOffsetsSerialAndGains) {
    CalibrationBlockBuilder b;
    // W0..W5 and corrections at the ends of their range: G = 1.2 for R = 65535, 0.8 for R = 0.
    const uint32_t w[6] = {1000, 1100, 2000, 2200, 3000, 3300};
    for (int k = 0; k < 6; ++k) b.SetW(k, w[k]);
    const uint32_t r[10] = {65535, 0, 0, 65535, 65535, 0, 0, 65535, 65535, 65535};
    for (int k = 0; k < 10; ++k) b.SetR(k, r[k]);
    for (int ch = 0; ch < 2; ++ch)
        for (int cls = 0; cls < 3; ++cls)
            for (int j = 0; j < 7; ++j) b.SetBreakpoint(ch, cls, j, 1000 + 100 * cls + 250 * j + 7 * ch);
    for (int k = 0; k < 12; ++k) b.SetOffset(k, static_cast<int16_t>(k % 2 ? -10 - k : 10 + k));
    b.SetSerial(0x01020304);
    RangeModel model;
    model.LoadBlock(AsBlock(b.Finish()));
    ASSERT_TRUE(model.CalibrationValid());
    EXPECT_EQ(model.SerialNumber(), 0x01020304u);
    EXPECT_EQ(model.Breakpoint(kChannelA, 1, 3), 1000 + 100 + 750);
    EXPECT_EQ(model.Breakpoint(kChannelB, 2, 6), 1000 + 200 + 1500 + 7);
    // Offsets in the order A10, B10, A20, B20, A50, B50, A1000, B1000, A2000, B2000, A5000, B5000.
    EXPECT_EQ(model.OffsetCorrection(kChannelA, 10), 10);
    EXPECT_EQ(model.OffsetCorrection(kChannelB, 10), -11);
    EXPECT_EQ(model.OffsetCorrection(kChannelA, 50), 14);
    EXPECT_EQ(model.OffsetCorrection(kChannelB, 1000), -17);
    EXPECT_EQ(model.OffsetCorrection(kChannelB, 5000), -21);
    EXPECT_EQ(model.OffsetCorrection(kChannelB, 200), 0);

    model.BuildRangeTable(kDeviceModelIndex);
    const auto& t = model.Table();
    auto gains = [&](int row, int ch) {
        const auto& c = t.entries[row].channel[ch];
        return std::pair<int, int>(c.gainProbe1, c.gainOtherProbe);
    };
    // Decade 10: A = W x G0 (1.2), probes x G4 (1.2); B = W x G1 (0.8), probes x G5 (0.8).
    EXPECT_EQ(gains(0, 0), (std::pair<int, int>(1200, 1440)));
    EXPECT_EQ(gains(1, 0), (std::pair<int, int>(2400, 2880)));
    EXPECT_EQ(gains(2, 1), (std::pair<int, int>(2640, 2112)));
    // Decade 100: plain W; probes x G6 (0.8) for A, G7 (1.2) for B.
    EXPECT_EQ(gains(3, 0), (std::pair<int, int>(1000, 800)));
    EXPECT_EQ(gains(5, 1), (std::pair<int, int>(3300, 3960)));
    // Decade 1000: A x G2 (0.8), probes x G8 (1.2); B x G3 (1.2), probes x G9 (1.2).
    EXPECT_EQ(gains(6, 0), (std::pair<int, int>(800, 960)));
    EXPECT_EQ(gains(8, 1), (std::pair<int, int>(3960, 4752)));
    EXPECT_EQ(t.entries[8].channel[1].gainUncalibrated, 3636);
}

TEST(Calibration, GainsSaturateAtSixteenBits) {
    CalibrationBlockBuilder b;
    b.SetW(0, 65535);
    b.SetR(0, 65535);  // 65535 x 1.2 does not fit the gain register
    b.SetW(4, 5);
    b.SetR(2, 0);  // 5 x 0.8 = 4
    RangeModel model;
    model.LoadBlock(AsBlock(b.Finish()));
    ASSERT_TRUE(model.CalibrationValid());
    model.BuildRangeTable(kDeviceModelIndex);
    EXPECT_EQ(model.Table().entries[0].channel[0].gainProbe1, 0xFFFF);
    EXPECT_EQ(model.Table().entries[8].channel[0].gainProbe1, 4);
}

TEST(RangeTable, LayoutIsLittleEndianWithTemplateAndTrailer) {
    RangeModel model = DefaultModel();
    model.BuildRangeTable(kDeviceModelIndex);
    const auto t = model.SerializeRangeTable();
    EXPECT_EQ(Le32(t, 0), 9u);
    const uint32_t keys[9] = {10, 20, 50, 100, 200, 500, 1000, 2000, 5000};
    const uint16_t control[9] = {0x12, 0x12, 0x02, 0x14, 0x14, 0x04, 0x1C, 0x1C, 0x0C};
    for (size_t i = 0; i < 9; ++i) {
        const size_t at = 4 + 20 * i;
        EXPECT_EQ(Le32(t, at), keys[i]);
        EXPECT_EQ(Le16(t, at + 4), control[i]);   // control A
        EXPECT_EQ(Le16(t, at + 10), i % 3 == 0 ? 1818 : 3636);  // uncalibrated A
        EXPECT_EQ(Le16(t, at + 12), control[i]);  // control B
        EXPECT_EQ(Le16(t, at + 18), i % 3 == 0 ? 1818 : 3636);  // uncalibrated B
    }
    for (size_t at = 4 + 20 * 9; at < 224; ++at) EXPECT_EQ(t[at], 0) << at;
    EXPECT_EQ(Le32(t, 224), 500u);
    EXPECT_EQ(Le32(t, 228), 50u);
    EXPECT_EQ(Le32(t, 232), 8192u);
    EXPECT_EQ(Le32(t, 236), 3u);
}

TEST(RangeTable, UnknownDeflectionSelectsLastEntryInUse) {
    RangeModel model = DefaultModel();
    EXPECT_EQ(model.FindEntry(100), nullptr);  // nothing built yet
    model.BuildRangeTable(kDeviceModelIndex);
    EXPECT_EQ(model.FindEntry(200)->key, 200u);
    EXPECT_EQ(model.FindEntry(300)->key, 5000u);
    EXPECT_EQ(model.FindEntry(0)->key, 5000u);
}

}  // namespace
}  // namespace rollmode::driver
