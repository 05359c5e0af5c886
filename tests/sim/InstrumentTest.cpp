#include "sim/Instrument.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <vector>

using namespace rollmode::sim;
using Bytes = std::vector<uint8_t>;
using Steady = std::chrono::steady_clock;

namespace {

constexpr uint32_t kSend = 0x220018;
constexpr uint32_t kWrite = 0x22001C;
constexpr uint32_t kRead = 0x220024;

class InstrumentTest : public ::testing::Test {
protected:
    void Make(InstrumentConfig config = {}) {
        instrument_ = std::make_unique<Instrument>(config);
        instrument_->SetClock([this] { return now_; });
        instrument_->SetRollWait(std::chrono::milliseconds(0));
    }
    bool Send(const Bytes& commands) {
        Bytes out;
        return instrument_->HandleRequest(kSend, commands, 0, out);
    }
    bool Read(uint32_t capacity, Bytes& out) {
        out.clear();
        return instrument_->HandleRequest(kRead, {}, capacity, out);
    }
    Bytes Answer(const Bytes& commands, uint32_t capacity = 4) {
        Bytes out;
        EXPECT_TRUE(Send(commands));
        EXPECT_TRUE(Read(capacity, out));
        return out;
    }
    void Configure(uint32_t bytes = 54979, uint16_t packets = 860) {
        Bytes out;
        ASSERT_TRUE(Send({0x20, uint8_t(packets >> 8), uint8_t(packets), 0x21}));
        Bytes image(bytes, 0x5A);
        StampFpgaHeader(image);
        ASSERT_TRUE(instrument_->HandleRequest(kWrite, image, 0, out));
        ASSERT_TRUE(Read(4, out));
        lastFpgaAnswer_ = out;
    }
    void WriteRegister(uint8_t reg, uint16_t value) {
        ASSERT_TRUE(Send({0x26, reg, uint8_t(value >> 8), uint8_t(value)}));
    }
    std::vector<uint16_t> Roll(size_t words) {
        std::vector<uint16_t> w(words);
        instrument_->ReadRoll(w.data(), words);
        return w;
    }
    void Advance(double seconds) {
        now_ += std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double>(seconds));
    }
    static uint64_t CountIndex(uint16_t word) {  // the sample index of a counting-pattern word (mod 255*255)
        return ((word >> 8) - 1u) * 255u + ((word & 0xFF) - 1u);
    }

    Steady::time_point now_ = Steady::time_point(std::chrono::hours(1));
    std::unique_ptr<Instrument> instrument_;
    Bytes lastFpgaAnswer_;
};

InstrumentConfig Counting(uint32_t depth = 131072) {
    InstrumentConfig c;
    c.channels[0].shape = SignalShape::Count;
    c.channels[1].shape = SignalShape::Count;
    c.fifoDepth = depth;
    return c;
}

TEST_F(InstrumentTest, FpgaImageAcceptedOnlyWhenItMatchesItsAnnouncement) {
    Make();
    Configure(54979, 860);
    EXPECT_EQ(lastFpgaAnswer_, (Bytes{1, 0, 0, 0}));
    EXPECT_TRUE(instrument_->FpgaConfigured());
    EXPECT_EQ(instrument_->FpgaImageBytes(), 54979u);
    Configure(54979, 859);
    EXPECT_EQ(lastFpgaAnswer_, (Bytes{0, 0, 0, 0}));
    EXPECT_FALSE(instrument_->FpgaConfigured());
    // The right size with a damaged payload, header or length field is refused too.
    for (size_t at : {size_t{0}, size_t{9}, size_t{12}, size_t{30000}}) {
        Configure(54979, 860);
        Bytes image(54979, 0x5A);
        StampFpgaHeader(image);
        image[at] ^= 0x40;
        Bytes out;
        ASSERT_TRUE(Send({0x20, 0x03, 0x5C, 0x21}));
        ASSERT_TRUE(instrument_->HandleRequest(kWrite, image, 0, out));
        ASSERT_TRUE(Read(4, out));
        EXPECT_EQ(out, (Bytes{0, 0, 0, 0})) << "byte " << at << " damaged";
        EXPECT_FALSE(instrument_->FpgaConfigured());
    }
    // Without a configured FPGA the run bit starts nothing.
    WriteRegister(1, 0x8009);
    Advance(1);
    EXPECT_EQ(instrument_->Available(), 0u);
}

TEST_F(InstrumentTest, EepromHoldsTheCalibrationBlockAndTakesEnabledWrites) {
    InstrumentConfig config;
    config.serial = 0xA1B2C3D4;
    Make(config);
    uint8_t block[256];
    for (uint32_t i = 0; i < 256; ++i) {
        const Bytes a = Answer({0x01, uint8_t((256 + i) >> 8), uint8_t(256 + i), 0x04});
        block[i] = a[0];
    }
    EXPECT_EQ(uint32_t(block[156]) << 24 | block[157] << 16 | block[158] << 8 | block[159], CalibrationChecksum(block));
    EXPECT_EQ(uint32_t(block[167]) << 24 | block[168] << 16 | block[169] << 8 | block[170], 0xA1B2C3D4u);

    ASSERT_TRUE(Send({0x03, 0x00, 0x20, 0x77}));  // no write enable: ignored
    EXPECT_EQ(instrument_->EepromByte(0x20), 0xFF);
    ASSERT_TRUE(Send({0x02, 0x13, 0, 0, 0x03, 0x00, 0x20, 0x77, 0x03, 0x00, 0x21, 0x66}));
    EXPECT_EQ(instrument_->EepromByte(0x20), 0x77);
    EXPECT_EQ(instrument_->EepromByte(0x21), 0xFF);  // the enable covers one write
    EXPECT_EQ(Answer({0x01, 0x7F, 0xFF, 0x04})[0], 0xFF);  // beyond the EEPROM
}

TEST_F(InstrumentTest, BrokenCalibrationBlockFailsItsChecksum) {
    InstrumentConfig config;
    config.validCalibration = false;
    Make(config);
    uint8_t block[256];
    for (uint32_t i = 0; i < 256; ++i) block[i] = instrument_->EepromByte(256 + i);
    EXPECT_NE(uint32_t(block[156]) << 24 | block[157] << 16 | block[158] << 8 | block[159], CalibrationChecksum(block));
}

TEST_F(InstrumentTest, RegistersQueriesAndShift) {
    Make();
    WriteRegister(9, 0x0ABC);
    EXPECT_EQ(Answer({0x24, 0x09, 0, 0}), (Bytes{0x0A, 0xBC, 0, 0}));
    EXPECT_EQ(Answer({0x01, 0, 0, 0x2A}), (Bytes{4, 0, 0, 0}));
    EXPECT_EQ(Answer({0x01, 0, 0, 0x2C}), (Bytes{1, 0, 0, 0}));
    EXPECT_EQ(Answer({0x01, 0, 0, 0x36})[0], kCpldId);
    ASSERT_TRUE(Send({0x2C, 1, 3, 0}));
    EXPECT_EQ(instrument_->Shift(), (std::array<uint8_t, 2>{1, 3}));
    // Two answers asked in one batch come back in order.
    ASSERT_TRUE(Send({0x24, 0x09, 0, 0, 0x01, 0, 0, 0x2C}));
    Bytes out;
    ASSERT_TRUE(Read(4, out));
    EXPECT_EQ(out, (Bytes{0x0A, 0xBC, 0, 0}));
    ASSERT_TRUE(Read(4, out));
    EXPECT_EQ(out, (Bytes{1, 0, 0, 0}));
}

TEST_F(InstrumentTest, TdoCaptureShiftsBitsInFromTheTop) {
    Make();
    Bytes cmds = {0x30, 0, 0, 0, 0x32, 0, 0, 0};
    for (int i = 0; i < 10; ++i) cmds.insert(cmds.end(), {0x34, 0, 0, 0});
    ASSERT_TRUE(Send(cmds));
    const Bytes capture = Answer({0x01, 0, 0, 0x33}, 16);
    ASSERT_EQ(capture.size(), 16u);
    EXPECT_EQ(capture[0], kCpldIdcode & 0xFF);
    EXPECT_EQ(capture[1], uint8_t(((kCpldIdcode >> 8) & 0x3) << 6));
    EXPECT_EQ(Answer({0x01, 0, 0, 0x31})[0], (kCpldIdcode >> 10) & 1);
}

TEST_F(InstrumentTest, FifoFillsAtTheRegisterRateOnlyWhileRunning) {
    Make(Counting());
    Configure();
    WriteRegister(1, 0x0009);  // 5000 per second, not running
    Advance(1);
    EXPECT_EQ(instrument_->Available(), 0u);
    WriteRegister(1, 0x8009);
    EXPECT_EQ(instrument_->Available(), 1u);  // the first sample is taken at the start
    Advance(0.010);
    EXPECT_EQ(instrument_->Available(), 51u);
    auto words = Roll(100);
    for (size_t i = 0; i < 51; ++i) EXPECT_EQ(CountIndex(words[i]), i);
    EXPECT_EQ(words[51], 0);
    Advance(0.020);
    EXPECT_EQ(instrument_->Available(), 100u);
    // A rate change takes effect from now on.
    WriteRegister(1, 0x800F);  // 50 per second
    Roll(200);
    Advance(1.0);
    EXPECT_EQ(instrument_->Available(), 50u);
    WriteRegister(1, 0x000F);  // stop: what was taken stays readable
    Advance(1.0);
    EXPECT_EQ(instrument_->Available(), 50u);
    words = Roll(60);
    EXPECT_EQ(CountIndex(words[0]), 151u);
    EXPECT_EQ(words[50], 0);
}

TEST_F(InstrumentTest, OverflowKeepsTheOldestSamplesAndMarksTheGap) {
    Make(Counting(1000));
    Configure();
    WriteRegister(1, 0x8009);  // 5000 per second
    Advance(1.0);               // 5001 taken, room for 1000
    auto words = Roll(2000);
    for (size_t i = 0; i < 999; ++i) ASSERT_EQ(CountIndex(words[i]), i);
    EXPECT_EQ(words[999], kOverflowMark);
    EXPECT_EQ(words[1000], 0);
    EXPECT_EQ(instrument_->Overflows(), 1u);
    Advance(0.1);
    words = Roll(2000);
    EXPECT_EQ(CountIndex(words[0]), 5001u);
    EXPECT_EQ(CountIndex(words[499]), 5500u);
    EXPECT_EQ(words[500], 0);
    EXPECT_EQ(instrument_->Overflows(), 1u);
    // A reader that keeps up sees no marks.
    for (int i = 0; i < 20; ++i) {
        Advance(0.1);
        words = Roll(2000);
        for (uint16_t w : words) ASSERT_NE(w, kOverflowMark);
    }
}

TEST_F(InstrumentTest, PartlyReadOverflowKeepsItsMarkForTheNextRead) {
    Make(Counting(100));
    Configure();
    WriteRegister(1, 0x8009);
    Advance(1.0);
    auto words = Roll(50);
    EXPECT_EQ(CountIndex(words[49]), 49u);
    words = Roll(100);
    EXPECT_EQ(CountIndex(words[48]), 98u);
    EXPECT_EQ(words[49], kOverflowMark);
}

TEST_F(InstrumentTest, FrontEndPlacesSignalsThroughTheCalibrationModel) {
    InstrumentConfig config;
    config.channels[0] = {SignalShape::Dc, 0, 0.1, 0.0, 0.0};
    config.channels[1] = {SignalShape::Dc, 0, -0.2, 0.0, 0.0};
    Make(config);
    Configure();
    const auto& cal = instrument_->TrueCalibration();
    // A: 100 mV/div (range bits 0x14), B: 1 V/div (0x1C), both DC-coupled.
    WriteRegister(15, 0x1C14);
    WriteRegister(8, uint16_t(CalibratedGain(cal, 0, 100)));
    WriteRegister(11, uint16_t(CalibratedGain(cal, 1, 1000)));
    WriteRegister(9, 2000);
    WriteRegister(12, 1900);
    WriteRegister(1, 0x8000);
    const double zeroA = ZeroCode(cal, 0, 100, 2000);
    const double zeroB = ZeroCode(cal, 1, 1000, 1900);
    const uint16_t w = Roll(1)[0];
    EXPECT_EQ(w & 0xFF, std::lround(zeroA + 100.0 / (100 * 8.0 / 255)));
    EXPECT_EQ(w >> 8, std::lround(zeroB - 200.0 / (1000 * 8.0 / 255)));
    EXPECT_DOUBLE_EQ(instrument_->CodeFor(0, 0.0), zeroA);

    WriteRegister(15, 0x1D15);  // AC coupling on both: the DC level is gone
    Advance(0.001);
    const uint16_t ac = Roll(2)[1];
    EXPECT_EQ(ac & 0xFF, std::lround(zeroA));
    EXPECT_EQ(ac >> 8, std::lround(zeroB));

    // The uncalibrated gain of a 1-step is off by the unit's gain error.
    WriteRegister(15, 0x1C14);
    WriteRegister(8, 1818);
    Advance(0.001);
    const double mvPerCode = 100.0 * 1818 / CalibratedGain(cal, 0, 100) * 8 / 255;
    EXPECT_EQ(Roll(2)[1] & 0xFF, std::lround(zeroA + 100.0 / mvPerCode));
}

TEST_F(InstrumentTest, CodesStayWithinOneTo255) {
    InstrumentConfig config;
    config.channels[0] = {SignalShape::Square, 1000, 50.0, 0.0, 0.0};
    config.channels[1] = {SignalShape::Noise, 0, 50.0, 0.0, 1.0};
    Make(config);
    Configure();
    WriteRegister(15, 0x1212);
    WriteRegister(8, 1830);
    WriteRegister(11, 1806);
    WriteRegister(1, 0x8000);
    Advance(0.01);
    bool low = false, high = false;
    for (uint16_t w : Roll(50000)) {
        if (w == 0) break;
        ASSERT_GE(w & 0xFF, 1);
        ASSERT_GE(w >> 8, 1);
        low |= (w & 0xFF) == 1;
        high |= (w & 0xFF) == 255;
    }
    EXPECT_TRUE(low);
    EXPECT_TRUE(high);
}

TEST_F(InstrumentTest, ExternalArmInputMarksSamplesOnTheUnarmedSide) {
    InstrumentConfig config = Counting();
    config.externalArm = {false, 10.0};  // high for 50 ms, low for 50 ms
    Make(config);
    Configure();
    WriteRegister(1, 0x800C);  // 500 per second
    Advance(0.098);
    auto words = Roll(60);
    EXPECT_NE(words[10], kNotArmedMark);  // external source off: no marking
    WriteRegister(2, 0x0004);             // source on, armed while high
    Advance(0.098);
    words = Roll(60);
    for (int i = 0; i < 49; ++i) {
        const double t = (50 + i) / 500.0;
        const bool high = t * 10 - std::floor(t * 10) < 0.5;
        EXPECT_EQ(words[i] == kNotArmedMark, !high) << i;
    }
    WriteRegister(2, 0x0024);  // under: armed while low
    Advance(0.098);
    words = Roll(60);
    for (int i = 0; i < 49; ++i) {
        const double t = (99 + i) / 500.0;
        const bool high = t * 10 - std::floor(t * 10) < 0.5;
        EXPECT_EQ(words[i] == kNotArmedMark, high) << i;
    }
}

TEST_F(InstrumentTest, OutOfStepHostIsRefusedNotObeyed) {
    Make();
    Bytes out;
    EXPECT_FALSE(Read(4, out));  // nothing announced
    EXPECT_FALSE(instrument_->HandleRequest(kWrite, Bytes(10, 1), 0, out));
    EXPECT_FALSE(instrument_->HandleRequest(0x220099, {}, 16, out));
    EXPECT_TRUE(Send({0xEE, 1, 2, 3, 0x26, 9, 0x01, 0x02, 0x77}));  // unknown op and a stray byte
    EXPECT_EQ(instrument_->Register(9), 0x0102);
    EXPECT_TRUE(instrument_->HandleRequest(0x220028, {}, 0, out));
    // Unclaimed answers are bounded.
    Bytes many;
    for (int i = 0; i < 5000; ++i) many.insert(many.end(), {0x24, 9, 0, 0});
    EXPECT_TRUE(Send(many));
    int answered = 0;
    while (Read(4, out)) ++answered;
    EXPECT_EQ(answered, 1024);
}

TEST_F(InstrumentTest, RollReadWaitsBrieflyWhenEmpty) {
    Make(Counting());
    instrument_->SetClock([] { return Steady::now(); });
    instrument_->SetRollWait(std::chrono::milliseconds(5));
    Configure();
    Bytes out;
    ASSERT_TRUE(Send({0x2B, 1, 0, 1}));
    const auto start = Steady::now();
    ASSERT_TRUE(Read(64, out));
    EXPECT_GE(Steady::now() - start, std::chrono::milliseconds(4));
    EXPECT_EQ(out, Bytes(64, 0));
    // Running at 50 per second the next sample is far off: the wait stays short.
    WriteRegister(1, 0x800F);
    instrument_->Available();
    ASSERT_TRUE(Send({0x2B, 1, 0, 1}));
    ASSERT_TRUE(Read(64, out));
    EXPECT_NE(out[0] | out[1] << 8, 0);  // the sample taken at the start
    ASSERT_TRUE(Send({0x2B, 1, 0, 1}));
    const auto again = Steady::now();
    ASSERT_TRUE(Read(64, out));
    // Waiting for the block to fill would take 640 ms.
    EXPECT_LT(Steady::now() - again, std::chrono::milliseconds(200));
    // At 5,000,000 per second a block fills within microseconds: the read waits for it and
    // comes back full rather than with the one or two samples there at its start.
    WriteRegister(1, 0x0000);
    WriteRegister(1, 0x8000);
    ASSERT_TRUE(Send({0x2B, 1, 0, 4}));
    ASSERT_TRUE(Read(256, out));
    for (size_t i = 0; i < out.size(); i += 2) EXPECT_NE(out[i] | out[i + 1] << 8, 0) << "word " << i / 2;
}

TEST_F(InstrumentTest, RollReadWaitCountsFromItsAnnouncement) {
    Make(Counting(1u << 20));
    instrument_->SetRollWait(std::chrono::milliseconds(8));
    std::vector<Steady::duration> slept;
    instrument_->SetSleep([&slept](Steady::duration d) { slept.push_back(d); });
    Configure();
    WriteRegister(1, 0x8000);  // 5,000,000 per second, one sample taken at the start
    // A 64 KB read announced on an empty FIFO: the server may wait until the block is full
    // (6.55 ms) before it reads the request, and the read then finds it full at once.
    ASSERT_TRUE(Send({0x2B, 1, 4, 0}));
    const auto pause = instrument_->PauseBeforeNextRequest();
    EXPECT_GT(pause, std::chrono::microseconds(6500));
    EXPECT_LT(pause, std::chrono::microseconds(6700));
    now_ += pause;
    EXPECT_EQ(instrument_->PauseBeforeNextRequest(), Steady::duration::zero());
    Bytes out;
    ASSERT_TRUE(Read(65536, out));
    EXPECT_TRUE(slept.empty());
    ASSERT_EQ(out.size(), 65536u);
    for (size_t i = 0; i < out.size(); i += 2) ASSERT_EQ(CountIndex(uint16_t(out[i] | out[i + 1] << 8)), i / 2);

    // At 50 per second the block never fills: the wait ends 8 ms after the announcement, and a
    // read that arrives later does not wait again.
    WriteRegister(1, 0x000F);
    WriteRegister(1, 0x800F);
    ASSERT_TRUE(Send({0x2B, 1, 4, 0}));
    EXPECT_EQ(instrument_->PauseBeforeNextRequest(), std::chrono::milliseconds(8));
    now_ += std::chrono::milliseconds(8);
    EXPECT_EQ(instrument_->PauseBeforeNextRequest(), Steady::duration::zero());
    ASSERT_TRUE(Read(65536, out));
    EXPECT_TRUE(slept.empty());
    EXPECT_NE(out[0] | out[1] << 8, 0);  // the start sample
    EXPECT_EQ(out[2] | out[3] << 8, 0);

    // Read at once, without the pause, the same request waits out its 8 ms itself.
    ASSERT_TRUE(Send({0x2B, 1, 4, 0}));
    ASSERT_TRUE(Read(65536, out));
    EXPECT_EQ(slept, std::vector<Steady::duration>{std::chrono::milliseconds(8)});

    // Only a pending roll read asks for a pause; an answer does not.
    ASSERT_TRUE(Send({0x24, 9, 0, 0, 0x2B, 1, 4, 0}));
    EXPECT_EQ(instrument_->PauseBeforeNextRequest(), Steady::duration::zero());
}

}  // namespace
