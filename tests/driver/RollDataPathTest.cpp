#include "RollDataPath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <random>
#include <vector>

#include "DriverTestSupport.h"

namespace rollmode::driver {
namespace {

uint16_t W(int a, int b) { return static_cast<uint16_t>((b << 8) | a); }

struct Result {
    uint32_t status;
    std::vector<uint16_t> words;
};

// Runs one processor stage over a copy of the words.
template <class Stage>
Result RunStage(RollDataPath& p, Stage stage, std::vector<uint16_t> words) {
    uint32_t count = 0;
    const uint32_t status = (p.*stage)(words.data(), &count, 0, static_cast<uint32_t>(words.size()));
    words.resize(count);
    return {status, words};
}

TEST(PlainCompaction, DropsEmptyPositionsInOrder) {
    RollDataPath p;
    const auto r = RunStage(p, &RollDataPath::PlainCompaction, {0, W(5, 6), 0, 0, 1, W(7, 8), 2, 0});
    EXPECT_EQ(r.status, kStatusTriggered);
    EXPECT_EQ(r.words, (std::vector<uint16_t>{W(5, 6), 1, W(7, 8), 2}));
    EXPECT_EQ(RunStage(p, &RollDataPath::PlainCompaction, std::vector<uint16_t>(100, 0)).words.size(), 0u);

    // A start index moves the delivered words to the front of the buffer.
    std::vector<uint16_t> buf = {9, 9, 0, W(1, 1), W(2, 2)};
    uint32_t count = 0;
    p.PlainCompaction(buf.data(), &count, 2, 5);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(buf[0], W(1, 1));
    EXPECT_EQ(buf[1], W(2, 2));
}

// Blocks with no empty word, empty words only at the end, single ones on either side of a
// 32-word step and scattered ones, from several start positions: the compacted words are the
// block's non-zero words in order.
TEST(PlainCompaction, AgreesWithWordByWordOverRunsOfEveryLength) {
    std::mt19937 rng(20261208);
    std::uniform_int_distribution<int> code(1, 0xFFFF);
    RollDataPath p;
    for (int round = 0; round < 400; ++round) {
        const uint32_t size = 1 + rng() % 200;
        std::vector<uint16_t> block(size);
        for (auto& w : block) w = static_cast<uint16_t>(code(rng));
        switch (round % 4) {
            case 0: break;  // a full FIFO
            case 1: std::fill(block.begin() + rng() % size, block.end(), 0); break;  // padded tail
            case 2: block[rng() % size] = 0; break;
            case 3: for (auto& w : block) if (rng() % 5 == 0) w = 0; break;
        }
        const uint32_t start = round % 3 == 0 ? 0 : static_cast<uint32_t>(rng() % (size + 1));
        std::vector<uint16_t> expected;
        std::copy_if(block.begin() + start, block.end(), std::back_inserter(expected), [](uint16_t w) { return w != 0; });
        std::vector<uint16_t> buffer = block;
        uint32_t count = 0;
        p.PlainCompaction(buffer.data(), &count, start, size);
        buffer.resize(count);
        ASSERT_EQ(buffer, expected) << "round " << round << " size " << size << " start " << start;
    }
}

TEST(TriggerSearch, StrictLevelOnChannelAStartsDeliveryAtTheTriggerSample) {
    RollDataPath p;
    p.recordFree = false;
    p.triggerFlags = kTrigSourceA;
    p.triggerThreshold = {128, 0};
    p.SelectProcessor();
    ASSERT_EQ(p.processor, Processor::TriggerSearch);

    auto r = RunStage(p, &RollDataPath::TriggerSearch, {W(10, 200), 0, W(128, 255), W(129, 3), 0, W(4, 4), 1});
    EXPECT_EQ(r.status, kStatusTriggered);
    EXPECT_EQ(r.words, (std::vector<uint16_t>{W(129, 3), W(4, 4), 1}));
    EXPECT_TRUE(p.triggerFound);
    // Without ARM sources the stream stays untriggered from now on.
    EXPECT_EQ(p.processor, Processor::PlainCompaction);
}

TEST(TriggerSearch, NothingDeliveredUntilTheConditionHolds) {
    RollDataPath p;
    p.triggerFlags = kTrigSourceA | kTrigUnderA;
    p.triggerThreshold = {50, 0};
    auto r = RunStage(p, &RollDataPath::TriggerSearch, {W(50, 1), W(60, 1), 0, 0});
    EXPECT_EQ(r.status, kStatusWaiting);
    EXPECT_TRUE(r.words.empty());
    EXPECT_EQ(p.processor, Processor::PlainCompaction);  // unchanged by a failed search
    r = RunStage(p, &RollDataPath::TriggerSearch, {W(60, 1), W(49, 1)});
    EXPECT_EQ(r.status, kStatusTriggered);
    EXPECT_EQ(r.words, (std::vector<uint16_t>{W(49, 1)}));
    // An empty read: waiting, nothing delivered.
    EXPECT_EQ(RunStage(p, &RollDataPath::TriggerSearch, std::vector<uint16_t>(8, 0)).status, kStatusWaiting);
}

TEST(TriggerSearch, MarkersNeverTrigger) {
    RollDataPath p;
    p.triggerFlags = kTrigSourceA;
    p.triggerThreshold = {-1, 0};  // every sample is above it
    EXPECT_FALSE(p.TriggerTest(1));
    EXPECT_FALSE(p.TriggerTest(2));
    EXPECT_TRUE(p.TriggerTest(3));
}

TEST(TriggerSearch, RelationsCombineTheChannels) {
    RollDataPath p;
    p.triggerThreshold = {100, 100};

    // AND with source A only: B counts as met, so A alone decides.
    p.triggerRelationAnd = true;
    p.triggerFlags = kTrigSourceA;
    EXPECT_FALSE(p.TriggerTest(W(100, 255)));
    EXPECT_TRUE(p.TriggerTest(W(101, 3)));

    // OR with no source: never.
    p.triggerRelationAnd = false;
    p.triggerFlags = 0;
    EXPECT_FALSE(p.TriggerTest(W(255, 255)));
    auto r = RunStage(p, &RollDataPath::TriggerSearch, {W(255, 255), W(200, 200)});
    EXPECT_EQ(r.status, kStatusWaiting);
    EXPECT_TRUE(r.words.empty());

    // OR with both sources, B under: either condition.
    p.triggerFlags = kTrigSourceA | kTrigSourceB | kTrigUnderB;
    EXPECT_FALSE(p.TriggerTest(W(100, 100)));
    EXPECT_TRUE(p.TriggerTest(W(100, 99)));
    EXPECT_TRUE(p.TriggerTest(W(101, 100)));

    // AND with both: a failed test resets both states, so both must hold in one sample.
    p.triggerRelationAnd = true;
    p.triggerFlags = kTrigSourceA | kTrigSourceB;
    p.triggerState = {kTriggerState1, kTriggerState1};  // as a start leaves them
    EXPECT_FALSE(p.TriggerTest(W(101, 50)));
    EXPECT_EQ(p.triggerState[0], kTriggerState1);
    EXPECT_FALSE(p.TriggerTest(W(50, 101)));
    EXPECT_TRUE(p.TriggerTest(W(101, 101)));
}

TEST(ArmProcessing, MarksSamplesOnTheWrongSideOfTheLevel) {
    RollDataPath p;
    p.armFlags = kArmSourceA;
    p.armThreshold = {100, 0};
    p.SelectProcessor();
    ASSERT_EQ(p.processor, Processor::ArmProcessing);

    auto r = RunStage(p, &RollDataPath::ArmProcessing, {W(100, 0), 0, W(99, 7), 1});
    EXPECT_EQ(r.words, (std::vector<uint16_t>{W(100, 0), 2, 1}));
    EXPECT_EQ(r.status, kStatusTriggered);  // last word is the device marker, not 2
    r = RunStage(p, &RollDataPath::ArmProcessing, {W(150, 0), W(99, 7)});
    EXPECT_EQ(r.words, (std::vector<uint16_t>{W(150, 0), 2}));
    EXPECT_EQ(r.status, kStatusWaiting);
    // An empty read repeats the previous ARM status.
    EXPECT_EQ(RunStage(p, &RollDataPath::ArmProcessing, {0, 0}).status, kStatusWaiting);
    r = RunStage(p, &RollDataPath::ArmProcessing, {W(99, 1), W(101, 1)});
    EXPECT_EQ(r.status, kStatusTriggered);
    EXPECT_EQ(RunStage(p, &RollDataPath::ArmProcessing, {0}).status, kStatusTriggered);

    // Under on A, plain on B: armed at or below A's level and at or above B's.
    p.armFlags = kArmSourceA | kArmUnderA | kArmSourceB;
    p.armThreshold = {100, 50};
    EXPECT_EQ(p.ArmCheck(W(100, 50)), W(100, 50));
    EXPECT_EQ(p.ArmCheck(W(101, 50)), 2);
    EXPECT_EQ(p.ArmCheck(W(100, 49)), 2);
    EXPECT_EQ(p.ArmCheck(1), 1);
}

TEST(ArmProcessing, TriggerSearchOverArmedWordsUntilFound) {
    RollDataPath p;
    p.recordFree = false;
    p.armFlags = kArmSourceA;
    p.armThreshold = {100, 0};
    p.triggerFlags = kTrigSourceB;
    p.triggerThreshold = {0, 200};
    p.SelectProcessor();

    // Armed, not triggered: nothing delivered, 0x21.
    auto r = RunStage(p, &RollDataPath::ArmProcessing, {W(120, 10), W(130, 20)});
    EXPECT_EQ(r.status, 0x21u);
    EXPECT_TRUE(r.words.empty());
    // Triggered inside, ending not armed: delivery from the trigger sample, 0x12.
    r = RunStage(p, &RollDataPath::ArmProcessing, {W(120, 10), W(120, 201), W(120, 5), W(50, 250)});
    EXPECT_EQ(r.status, 0x12u);
    EXPECT_EQ(r.words, (std::vector<uint16_t>{W(120, 201), W(120, 5), 2}));
    EXPECT_EQ(p.processor, Processor::ArmProcessing);
    // Once triggered every kept word passes.
    r = RunStage(p, &RollDataPath::ArmProcessing, {W(120, 1), W(99, 1), W(101, 1)});
    EXPECT_EQ(r.status, kStatusTriggered);
    EXPECT_EQ(r.words, (std::vector<uint16_t>{W(120, 1), 2, W(101, 1)}));
}

TEST(GroundSubstitution, ReplacesGroundedChannelsAndKeepsMarkers) {
    RollDataPath p;
    p.groundZeroCode = {0x31, 0x42};
    std::vector<uint16_t> buf = {W(1, 2), W(200, 100), 1, 2, W(3, 4)};
    p.ground = {true, true};
    p.SubstituteGround(buf.data(), 2);
    EXPECT_EQ(buf[0], 0x4231);
    EXPECT_EQ(buf[1], 0x4231);
    EXPECT_EQ(buf[4], W(3, 4));  // beyond the count

    buf = {W(1, 2), 1, 2};
    p.ground = {true, false};
    p.SubstituteGround(buf.data(), 3);
    EXPECT_EQ(buf, (std::vector<uint16_t>{W(0x31, 2), 1, 2}));
    buf = {W(1, 2)};
    p.ground = {false, true};
    p.SubstituteGround(buf.data(), 1);
    EXPECT_EQ(buf[0], W(1, 0x42));

    // A zero code off the 8-bit scale is pinned to it, so no word can turn into 0.
    p.groundZeroCode = {-102, 384};
    buf = {W(0, 7), W(9, 3)};
    p.ground = {true, false};
    p.SubstituteGround(buf.data(), 2);
    EXPECT_EQ(buf, (std::vector<uint16_t>{W(1, 7), W(1, 3)}));
    p.ground = {false, true};
    p.SubstituteGround(buf.data(), 2);
    EXPECT_EQ(buf, (std::vector<uint16_t>{W(1, 255), W(1, 255)}));
}

// ---- the whole path behind the data-read command ----

using test::DriverTest;
using test::kUntouched;

class DataReadTest : public DriverTest {
protected:
    Result Read() {
        std::vector<uint16_t> buffer(kRollBlockWords, 0xEEEE);
        uint32_t count = kUntouched;
        const uint32_t status = Call(kCodeReadData, 0, &count, buffer.data());
        if (count != kUntouched) buffer.resize(count);
        return {status, buffer};
    }
};

TEST_F(DataReadTest, NothingBeforeTheStart) {
    std::vector<uint16_t> buffer(kRollBlockWords, 0);
    uint32_t count = kUntouched;
    EXPECT_EQ(Call(kCodeReadData, 0, &count, buffer.data()), 0u);
    EXPECT_EQ(count, kUntouched);
    EXPECT_TRUE(fake.Calls().empty());
}

TEST_F(DataReadTest, FirstReadAfterEachStartDropsItsFirstWord) {
    Call(kCodeMeasurementStarted, 1);
    fake.ClearLog();
    std::vector<uint16_t> ten;
    for (int i = 1; i <= 10; ++i) ten.push_back(W(i + 10, i));
    fake.PushFifo(ten);
    fake.PushFifo(ten);
    auto r = Read();
    EXPECT_EQ(r.status, kStatusTriggered);
    EXPECT_EQ(r.words, std::vector<uint16_t>(ten.begin() + 1, ten.end()));
    EXPECT_EQ(Read().words, ten);
    EXPECT_EQ(fake.Calls(), (std::vector<test::TransportCall>{{"USBRollFIFORead", 1, 65536},
                                                             {"USBRollFIFORead", 1, 65536}}));

    Call(kCodeMeasurementStarted, 0);
    Call(kCodeMeasurementStarted, 1);
    fake.PushFifo(ten);
    EXPECT_EQ(Read().words.size(), 9u);
    // An empty first read has nothing to drop; the next read is a normal one.
    Call(kCodeMeasurementStarted, 0);
    Call(kCodeMeasurementStarted, 1);
    EXPECT_TRUE(Read().words.empty());
    fake.PushFifo(ten);
    EXPECT_EQ(Read().words.size(), 10u);
}

TEST_F(DataReadTest, FailedTransferDeliversNothing) {
    Call(kCodeMeasurementStarted, 1);
    fake.PushFifo({W(1, 1)});
    Read();
    fake.failNextFifo();
    const auto r = Read();  // the buffer still holds 0xEEEE everywhere
    EXPECT_TRUE(r.words.empty());
    EXPECT_EQ(failed, 1);
}

TEST_F(DataReadTest, TriggeredThenFreeRunning) {
    Out(kCodeDensityA, 100);
    ASSERT_EQ(Out(kCodeLevelA, 1985), 128u);  // trigger level 0: threshold at the zero code
    Call(kCodeTriggerSourceA, 1);
    Call(kCodeRecordFree, 0);
    Call(kCodeMeasurementStarted, 1);
    ASSERT_EQ(driver.DataPath().triggerThreshold[0], 128);
    // The stale first word of a start is dropped before the search: it does not trigger, and
    // delivery begins with the sample that does.
    fake.PushFifo({W(200, 1), W(128, 9), W(129, 9), W(5, 5)});
    fake.PushFifo({W(6, 6), W(7, 7)});
    auto r = Read();
    EXPECT_EQ(r.status, kStatusTriggered);
    EXPECT_EQ(r.words, (std::vector<uint16_t>{W(129, 9), W(5, 5)}));
    r = Read();
    EXPECT_EQ(r.words, (std::vector<uint16_t>{W(6, 6), W(7, 7)}));
}

TEST_F(DataReadTest, GroundedChannelsDeliverTheirZeroCodes) {
    Out(kCodeDensityA, 100);
    Out(kCodeDensityB, 100);
    ASSERT_EQ(Out(kCodeLevelA, 1976), 127u);
    ASSERT_EQ(Out(kCodeLevelB, 1040), 31u);
    Call(kCodeGroundA, 1);
    Call(kCodeGroundB, 1);
    Call(kCodeMeasurementStarted, 1);
    fake.PushFifo({W(1, 1), W(200, 3), 0, W(4, 250), W(9, 9)});
    const auto r = Read();
    EXPECT_EQ(r.words, std::vector<uint16_t>(3, W(127, 31)));
}

TEST_F(DataReadTest, ArmStatusReachesTheHost) {
    Out(kCodeDensityA, 100);
    Out(kCodeLevelA, 1976);  // zero code 127
    Call(kCodeArmSourceA, 1);
    Call(kCodeMeasurementStarted, 1);
    fake.PushFifo({W(1, 1), W(130, 0), W(100, 0)});
    const auto r = Read();
    EXPECT_EQ(r.words, (std::vector<uint16_t>{W(130, 0), 2}));
    EXPECT_EQ(r.status, kStatusWaiting);
}

}  // namespace
}  // namespace rollmode::driver

namespace rollmode::driver {
namespace {

// Word-by-word references written straight from the rules, against the table-driven scans.
uint32_t ReferenceTriggerSearch(RollDataPath& p, std::vector<uint16_t>& words) {
    for (size_t i = 0; i < words.size(); ++i) {
        if (words[i] != 0 && p.TriggerTest(words[i])) {
            std::vector<uint16_t> kept;
            for (size_t k = i; k < words.size(); ++k)
                if (words[k] != 0) kept.push_back(words[k]);
            words = kept;
            return kStatusTriggered;
        }
    }
    words.clear();
    return kStatusWaiting;
}

TEST(DataPathReference, ScansAgreeWithWordByWordRules) {
    std::mt19937 rng(7);
    for (int round = 0; round < 400; ++round) {
        RollDataPath fast;
        fast.triggerFlags = static_cast<uint8_t>(rng() & 0x0F);
        fast.armFlags = static_cast<uint8_t>(rng() & 0x0F);
        fast.triggerRelationAnd = rng() & 1;
        fast.triggerThreshold = {static_cast<int32_t>(rng() % 300) - 20, static_cast<int32_t>(rng() % 300) - 20};
        fast.armThreshold = {static_cast<int32_t>(rng() % 300) - 20, static_cast<int32_t>(rng() % 300) - 20};
        fast.triggerState = {static_cast<uint8_t>(rng() & 1 ? 3 : 1), static_cast<uint8_t>(rng() & 1 ? 3 : 1)};
        RollDataPath reference = fast;

        std::vector<uint16_t> words(1 + rng() % 200);
        for (auto& w : words) {
            const uint32_t kind = rng() % 10;
            w = kind == 0 ? 0 : kind == 1 ? static_cast<uint16_t>(1 + rng() % 2) : static_cast<uint16_t>(rng());
        }

        auto got = words;
        uint32_t count = 0;
        const uint32_t status = fast.TriggerSearch(got.data(), &count, 0, static_cast<uint32_t>(got.size()));
        got.resize(count);
        auto expected = words;
        const uint32_t refStatus = ReferenceTriggerSearch(reference, expected);
        ASSERT_EQ(status, refStatus) << round;
        ASSERT_EQ(got, expected) << round;
        ASSERT_EQ(fast.triggerState, reference.triggerState) << round;

        std::vector<uint16_t> marked;
        for (uint16_t w : words)
            if (reference.ArmCheck(w) != 0) marked.push_back(reference.ArmCheck(w));
        got = words;
        fast.recordFree = true;
        fast.ArmProcessing(got.data(), &count, 0, static_cast<uint32_t>(got.size()));
        got.resize(count);
        ASSERT_EQ(got, marked) << round;
    }
}


// The ARM pass and then the trigger search over the kept words, one after the other: the
// single-pass processor must deliver the same words, status and state.
uint32_t TwoPassArmProcessing(RollDataPath& p, uint16_t* buffer, uint32_t* count, uint32_t start, uint32_t end) {
    uint32_t n = 0;
    for (uint32_t i = start; i < end; ++i) {
        const uint16_t w = p.ArmCheck(buffer[i]);
        buffer[n] = w;
        n += w != 0;
    }
    uint8_t armStatus = p.previousArmStatus;
    if (n > 0) armStatus = buffer[n - 1] == kMarkerNotArmed ? kStatusWaiting : kStatusTriggered;
    p.previousArmStatus = armStatus;
    *count = n;
    if (!p.recordFree && n > 0 && !p.triggerFound) {
        const uint32_t search = p.TriggerSearch(buffer, count, 0, n);
        return (search & 0x0F) | (armStatus & 0xF0);
    }
    return armStatus;
}

int32_t RandomThreshold(std::mt19937& rng) {
    switch (rng() % 16) {
        case 0: return INT32_MIN;
        case 1: return INT32_MAX;
        case 2: return static_cast<int32_t>(rng() % 3) - 1;    // around 0
        case 3: return 254 + static_cast<int32_t>(rng() % 3);  // around 255
        default: return static_cast<int32_t>(rng() % 300) - 20;
    }
}

TEST(DataPathReference, GroundSubstitutionFollowsTheWordRuleAtAnyLength) {
    std::mt19937 rng(3);
    for (int round = 0; round < 200; ++round) {
        RollDataPath p;
        p.ground = {static_cast<bool>(rng() & 1), static_cast<bool>(rng() & 1)};
        p.groundZeroCode = {RandomThreshold(rng), RandomThreshold(rng)};
        std::vector<uint16_t> words(rng() % 40);
        for (auto& w : words) w = rng() % 4 == 0 ? static_cast<uint16_t>(rng() % 3) : static_cast<uint16_t>(rng());
        const auto count = static_cast<uint32_t>(rng() % (words.size() + 1));
        auto expected = words;
        const auto code = [](int32_t zero) { return std::clamp(zero, 1, 255); };
        for (uint32_t i = 0; i < count; ++i) {
            if (expected[i] == 1 || expected[i] == 2) continue;
            const int a = p.ground[0] ? code(p.groundZeroCode[0]) : expected[i] & 0xFF;
            const int b = p.ground[1] ? code(p.groundZeroCode[1]) : expected[i] >> 8;
            expected[i] = W(a, b);
        }
        p.SubstituteGround(words.data(), count);
        ASSERT_EQ(words, expected) << round;
    }
}

TEST(DataPathReference, SinglePassArmProcessingMatchesTwoPassesAcrossSplitBlocks) {
    std::mt19937 rng(20261208);
    int triggeredCalls = 0, waitingCalls = 0;
    for (int round = 0; round < 300; ++round) {
        RollDataPath fast;
        fast.armFlags = static_cast<uint8_t>(rng() & 0x3F);
        fast.triggerFlags = static_cast<uint8_t>(rng() & 0x0F);
        fast.triggerRelationAnd = rng() & 1;
        fast.recordFree = rng() % 5 == 0;
        fast.triggerThreshold = {RandomThreshold(rng), RandomThreshold(rng)};
        fast.armThreshold = {RandomThreshold(rng), RandomThreshold(rng)};
        fast.triggerState = {static_cast<uint8_t>(rng() & 1 ? 3 : 1), static_cast<uint8_t>(rng() & 1 ? 3 : 1)};
        fast.previousArmStatus = rng() & 1 ? kStatusTriggered : kStatusWaiting;
        fast.processor = Processor::ArmProcessing;
        RollDataPath reference = fast;

        // Samples mostly from a narrow band so that triggers come late or not at all; some rounds
        // wide open. Empty positions and both markers mixed in.
        const int center = static_cast<int>(rng() % 256);
        const int spread = rng() % 4 == 0 ? 256 : static_cast<int>(1 + rng() % 24);
        const uint32_t outlierEvery = 50 + rng() % 5000;
        const auto code = [&](bool outlier) {
            if (outlier) return static_cast<int>(rng() % 256);
            return std::clamp(center + static_cast<int>(rng() % (2 * spread + 1)) - spread, 0, 255);
        };
        std::vector<uint16_t> stream(rng() % 6000);
        for (auto& w : stream) {
            const uint32_t kind = rng() % 16;
            const bool outlier = rng() % outlierEvery == 0;
            w = kind < 3 ? 0 : kind == 3 ? static_cast<uint16_t>(1 + rng() % 2) : W(code(outlier), code(outlier));
        }

        // Split into calls at arbitrary points, each block behind a few words of stale data.
        size_t pos = 0;
        while (pos < stream.size()) {
            const size_t take = std::min<size_t>(stream.size() - pos, rng() % 3 == 0 ? rng() % 8 : rng() % 1500);
            const uint32_t start = rng() % 3 == 0 ? rng() % 20 : 0;
            std::vector<uint16_t> block(start + take);
            for (uint32_t k = 0; k < start; ++k) block[k] = static_cast<uint16_t>(rng());
            std::copy(stream.begin() + pos, stream.begin() + pos + take, block.begin() + start);
            pos += take;
            const auto end = static_cast<uint32_t>(block.size());

            auto got = block, expected = block;
            uint32_t gotCount = 0xDEAD, expectedCount = 0xBEEF;
            const uint32_t status = fast.ArmProcessing(got.data(), &gotCount, start, end);
            const uint32_t refStatus = TwoPassArmProcessing(reference, expected.data(), &expectedCount, start, end);
            ASSERT_EQ(status, refStatus) << round << " at " << pos;
            ASSERT_EQ(gotCount, expectedCount) << round << " at " << pos;
            got.resize(gotCount);
            expected.resize(expectedCount);
            ASSERT_EQ(got, expected) << round << " at " << pos;
            ASSERT_EQ(fast.triggerState, reference.triggerState) << round << " at " << pos;
            ASSERT_EQ(fast.triggerFound, reference.triggerFound) << round << " at " << pos;
            ASSERT_EQ(fast.previousArmStatus, reference.previousArmStatus) << round << " at " << pos;
            ASSERT_EQ(fast.processor, reference.processor) << round << " at " << pos;
            if (!reference.recordFree) ++(reference.triggerFound ? triggeredCalls : waitingCalls);

            // Now and then the recording re-arms and waits for the trigger again.
            if (rng() % 4 == 0) fast.triggerFound = reference.triggerFound = false;
        }
    }
    // Both outcomes of the search were exercised often.
    EXPECT_GT(triggeredCalls, 500);
    EXPECT_GT(waitingCalls, 500);
}

}  // namespace
}  // namespace rollmode::driver
