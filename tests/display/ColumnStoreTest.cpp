#include "ColumnStore.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using rollmode::display::kGapColumn;
using rollmode::display::kMarkerColumn1;
using rollmode::display::kMarkerColumn2;
using rollmode::display::PixelRow;
using rollmode::display::SamplesPerColumnOf;
using rollmode::display::TColumnStore;

// Word-by-word fold, written as plainly as possible; the store's fast paths must agree
// with it entry for entry.
class ReferenceFold {
public:
    uint16_t buf[4][2048] = {};
    int index = 0;
    bool wrapped = false;
    int64_t n = 0;
    uint64_t sumA = 0, sumB = 0;
    uint32_t minA = 255, maxA = 0, minB = 255, maxB = 0;
    uint64_t skip = 0;
    bool lengthPending = false;

    void Clear() { n = 0; sumA = sumB = 0; minA = minB = 255; maxA = maxB = 0; }
    void Advance() {
        if (++index == 2048) { index = 0; wrapped = true; }
    }
    void Store(uint16_t e) {
        for (auto& b : buf) b[index] = e;
        Advance();
        Clear();
    }
    uint16_t Previous() const { return buf[0][(index + 2047) % 2048]; }

    int Fold(const std::vector<uint16_t>& w, int64_t k) {
        const int start = index;
        uint64_t i = 0;
        if (!w.empty() && lengthPending) {
            lengthPending = false;
            skip = w[0] == 0 ? 0 : w[0] - 1;
        }
        while (skip > 0 && i < w.size()) { ++i; --skip; }
        while (i < w.size()) {
            const uint16_t x = w[i];
            if (x == 0) {
                if (Previous() != 0xFFFF) Store(0xFFFF);
                if (i + 1 < w.size()) {
                    i += w[i + 1] == 0 ? 1 : w[i + 1];
                } else {
                    lengthPending = true;
                    ++i;
                }
                if (i > w.size()) { skip = i - w.size(); i = w.size(); }
            } else if (x == 1) {
                Store(0xFF01);
                ++i;
            } else if (x == 2) {
                if (Previous() != 0xFF02) Store(0xFF02);
                ++i;
            } else {
                const uint32_t a = x & 255, b = x >> 8;
                sumA += a; sumB += b;
                minA = std::min(minA, a); maxA = std::max(maxA, a);
                minB = std::min(minB, b); maxB = std::max(maxB, b);
                ++n;
                ++i;
                if (n >= k) {
                    buf[0][index] = static_cast<uint16_t>((255 - a) + 256 * (255 - b));
                    buf[1][index] = static_cast<uint16_t>((255 - maxA) + 256 * (255 - maxB));
                    buf[2][index] = static_cast<uint16_t>((255 - minA) + 256 * (255 - minB));
                    buf[3][index] = static_cast<uint16_t>((255 - sumA / n) + 256 * (255 - sumB / n));
                    Advance();
                    Clear();
                }
            }
        }
        return (index - start + 2048) % 2048;
    }
};

void ExpectSame(const TColumnStore& store, const ReferenceFold& ref) {
    ASSERT_EQ(store.WriteIndex(), ref.index);
    ASSERT_EQ(store.Wrapped(), ref.wrapped);
    ASSERT_EQ(store.AccumulatedSamples(), ref.n);
    ASSERT_EQ(store.SumA(), ref.sumA);
    for (int b = 0; b < 4; ++b)
        for (int i = 0; i < 2048; ++i)
            ASSERT_EQ(store.Entry(static_cast<TColumnStore::Buffer>(b), i), ref.buf[b][i]) << "buffer " << b << " entry " << i;
}

uint16_t Sample(uint8_t a, uint8_t b) { return static_cast<uint16_t>(a | (b << 8)); }

TEST(SamplesPerColumn, RoundsTheTableProductTiesToEven) {
    EXPECT_EQ(SamplesPerColumnOf(0, 3), 1);              // 50 div 50 x 1
    EXPECT_EQ(SamplesPerColumnOf(14, 16), 1000000000);   // 2.5 M div 50 x 20000
    EXPECT_EQ(SamplesPerColumnOf(2, 2), 2);              // 5 x 0.5 = 2.5 -> 2
    EXPECT_EQ(SamplesPerColumnOf(15, 0), 10000);
    EXPECT_EQ(SamplesPerColumnOf(0, 0), 1);              // 0.1 rounds to 0: held at 1
}

TEST(PixelRow, HeightOf255MapsByteToRowExactly) {
    const double scale = 255.0 / 255;
    EXPECT_EQ(PixelRow(255 - 255, scale), 0);
    EXPECT_EQ(PixelRow(255 - 1, scale), 254);
    EXPECT_EQ(PixelRow(1, 2.5), 2);  // 2.5 -> 2
    EXPECT_EQ(PixelRow(3, 2.5), 8);  // 7.5 -> 8
}

TEST(ColumnStore, OneSamplePerColumnMakesFourEqualEntries) {
    TColumnStore store;
    const uint16_t words[] = {Sample(10, 200), Sample(255, 1), Sample(3, 3)};
    EXPECT_EQ(store.AccumulateSamples(words, 3, 1), 3);
    for (int i = 0; i < 3; ++i)
        for (int b = 0; b < 4; ++b)
            EXPECT_EQ(store.Entry(static_cast<TColumnStore::Buffer>(b), i), static_cast<uint16_t>(65535 - words[i]));
    EXPECT_EQ(store.Entry(TColumnStore::LastSample, 1), 0 + 256 * 254);
}

TEST(ColumnStore, ThreeSamplesPerColumnCarryOverIntoTheNextBlock) {
    TColumnStore store;
    const uint16_t first[] = {Sample(10, 100), Sample(20, 90), Sample(30, 80), Sample(40, 70),
                              Sample(50, 60), Sample(60, 50), Sample(100, 5)};
    EXPECT_EQ(store.AccumulateSamples(first, 7, 3), 2);
    EXPECT_EQ(store.AccumulatedSamples(), 1);
    EXPECT_EQ(store.Entry(TColumnStore::Maximum, 0), (255 - 30) + 256 * (255 - 100));
    EXPECT_EQ(store.Entry(TColumnStore::Minimum, 0), (255 - 10) + 256 * (255 - 80));
    EXPECT_EQ(store.Entry(TColumnStore::Average, 0), (255 - 20) + 256 * (255 - 90));
    const uint16_t second[] = {Sample(1, 6), Sample(2, 8)};
    EXPECT_EQ(store.AccumulateSamples(second, 2, 3), 1);
    // (100 + 1 + 2) div 3 = 34; (5 + 6 + 8) div 3 = 6
    EXPECT_EQ(store.Entry(TColumnStore::Average, 2), (255 - 34) + 256 * (255 - 6));
    EXPECT_EQ(store.Entry(TColumnStore::LastSample, 2), (255 - 2) + 256 * (255 - 8));
    EXPECT_EQ(store.Entry(TColumnStore::Minimum, 2), (255 - 1) + 256 * (255 - 5));
}

TEST(ColumnStore, RunsOfMarkersAndRecordsCollapseToOneColumn) {
    TColumnStore store;
    const uint16_t twos[] = {2, 2, 2, 2};
    EXPECT_EQ(store.AccumulateSamples(twos, 4, 1), 1);
    EXPECT_EQ(store.Entry(TColumnStore::Average, 0), kMarkerColumn2);
    const uint16_t records[] = {0, 5, 9, 0, 0, 0, 5, 10, 0, 0};
    EXPECT_EQ(store.AccumulateSamples(records, 10, 1), 1);
    EXPECT_EQ(store.Entry(TColumnStore::Minimum, 1), kGapColumn);
}

TEST(ColumnStore, MarkerWordsDiscardOrKeepThePartlyBuiltColumn) {
    TColumnStore store;
    const uint16_t a[] = {Sample(9, 9), Sample(9, 9), 1, Sample(50, 50), Sample(60, 60)};
    EXPECT_EQ(store.AccumulateSamples(a, 5, 3), 1);  // the word 1 discards two samples
    EXPECT_EQ(store.Entry(TColumnStore::LastSample, 0), kMarkerColumn1);
    EXPECT_EQ(store.AccumulatedSamples(), 2);
    const uint16_t b[] = {2, Sample(70, 70), 2, Sample(80, 80)};
    // The first 2 stores a marker (discarding), the second follows it and keeps the column.
    EXPECT_EQ(store.AccumulateSamples(b, 4, 3), 1);
    EXPECT_EQ(store.AccumulatedSamples(), 2);
    const uint16_t c[] = {0, 4, 1, 1, Sample(90, 90)};
    EXPECT_EQ(store.AccumulateSamples(c, 5, 3), 1);  // a gap column discards 70, 80
    EXPECT_EQ(store.AccumulatedSamples(), 1);
}

TEST(ColumnStore, RecordAfterGapColumnKeepsTheColumn) {
    TColumnStore store;
    const uint16_t a[] = {0, 4, 7, 7, Sample(40, 40), 0, 6, 1, 2, 3, 4};
    // The second record follows the gap column: nothing stored, the sample stays.
    EXPECT_EQ(store.AccumulateSamples(a, 11, 2), 1);
    EXPECT_EQ(store.AccumulatedSamples(), 1);
    const uint16_t b[] = {Sample(42, 42), 0, 4, 0, 0};
    EXPECT_EQ(store.AccumulateSamples(b, 5, 2), 2);  // the column, then a new gap
    EXPECT_EQ(store.Entry(TColumnStore::Average, 1), (255 - 41) + 256 * (255 - 41));
    EXPECT_EQ(store.Entry(TColumnStore::Average, 2), kGapColumn);
}

TEST(ColumnStore, WrapsAt2048AndCountsAcrossTheWrap) {
    TColumnStore store;
    std::vector<uint16_t> words(2040, Sample(10, 10));
    EXPECT_EQ(store.AccumulateSamples(words.data(), 2040, 1), 2040);
    EXPECT_FALSE(store.Wrapped());
    words.assign(8, Sample(20, 20));
    EXPECT_EQ(store.AccumulateSamples(words.data(), 8, 1), 8);
    EXPECT_EQ(store.WriteIndex(), 0);
    EXPECT_TRUE(store.Wrapped());
    store.Reset();
    words.assign(2045, Sample(10, 10));
    store.AccumulateSamples(words.data(), 2045, 1);
    words.assign(30, Sample(30, 30));  // 2045 .. 2047, then 0 .. 9 (k = 3 gives 10 columns)
    EXPECT_EQ(store.AccumulateSamples(words.data(), 30, 3), 10);
    EXPECT_EQ(store.WriteIndex(), 7);
    EXPECT_EQ(store.Entry(TColumnStore::Maximum, 2047), (255 - 30) * 257);
}

TEST(ColumnStore, RecordCutByTheBlockEndIsSkippedInTheNextBlock) {
    TColumnStore store;
    const uint16_t a[] = {Sample(5, 5), 0};
    store.AccumulateSamples(a, 2, 1);
    const uint16_t b[] = {6, 11, 12, 13, 14, Sample(7, 7)};  // length 6: five more words
    EXPECT_EQ(store.AccumulateSamples(b, 6, 1), 1);
    EXPECT_EQ(store.Entry(TColumnStore::LastSample, 2), (255 - 7) * 257);
    const uint16_t c[] = {0, 5, 3};
    store.AccumulateSamples(c, 3, 1);
    const uint16_t d[] = {4, 5, Sample(8, 8)};
    EXPECT_EQ(store.AccumulateSamples(d, 3, 1), 1);
    EXPECT_EQ(store.Entry(TColumnStore::LastSample, 4), (255 - 8) * 257);
}

TEST(ColumnStore, ClearKeepsThePartlyBuiltColumnResetDoesNot) {
    TColumnStore store;
    const uint16_t a[] = {Sample(5, 5), Sample(6, 6), Sample(7, 7)};
    store.AccumulateSamples(a, 3, 2);
    store.Clear();
    EXPECT_TRUE(store.Empty());
    EXPECT_EQ(store.AccumulatedSamples(), 1);
    store.Reset();
    EXPECT_EQ(store.AccumulatedSamples(), 0);
}

// Random streams with records, markers and runs, in random block sizes, at several
// column widths: the fast paths must give exactly the reference's store.
TEST(ColumnStore, AgreesWithTheReferenceOnRandomStreams) {
    std::mt19937 rng(20261207);
    for (int64_t k : {1, 2, 3, 7, 64, 100, 1000, 10000}) {
        TColumnStore store;
        ReferenceFold ref;
        for (int block = 0; block < 300; ++block) {
            std::vector<uint16_t> w;
            const int length = std::uniform_int_distribution<int>(0, 6000)(rng);
            while (static_cast<int>(w.size()) < length) {
                const int kind = std::uniform_int_distribution<int>(0, 999)(rng);
                if (kind < 3) {
                    const uint16_t L = static_cast<uint16_t>(std::uniform_int_distribution<int>(4, 6)(rng));
                    w.push_back(0);
                    w.push_back(L);
                    for (int j = 2; j < L; ++j) w.push_back(static_cast<uint16_t>(rng() & 0xFFFF));
                } else if (kind < 5) {
                    w.push_back(1);
                } else if (kind < 8) {
                    w.insert(w.end(), std::uniform_int_distribution<int>(1, 50)(rng), 2);
                } else if (kind < 10) {
                    // A sample with a high byte of 0: the vector scan's marker check
                    // flags it, the exact scan must still count it as a sample.
                    w.push_back(static_cast<uint16_t>(3 + rng() % 253));
                } else {
                    const int run = std::uniform_int_distribution<int>(1, 400)(rng);
                    for (int j = 0; j < run; ++j)
                        w.push_back(Sample(static_cast<uint8_t>(1 + rng() % 255), static_cast<uint8_t>(1 + rng() % 255)));
                }
            }
            w.resize(length);  // may cut a record: the rest comes in the next block
            const int got = store.AccumulateSamples(w.data(), static_cast<uint32_t>(w.size()), k);
            ASSERT_EQ(got, ref.Fold(w, k)) << "k " << k << " block " << block;
        }
        ExpectSame(store, ref);
    }
}

TEST(FoldBlock, CutsToTheNewestWordsAndFoldsThemAlone) {
    TColumnStore store, expected;
    std::vector<uint16_t> w;
    for (int i = 0; i < 5000; ++i) w.push_back(Sample(static_cast<uint8_t>(3 + i % 250), 9));
    EXPECT_EQ(store.FoldBlock(w.data(), 5000, 3, 600), 600);  // 5000 div 3 > 600: newest 1800
    expected.AccumulateSamples(w.data() + 3200, 1800, 3);
    for (int i = 0; i < 600; ++i)
        ASSERT_EQ(store.Entry(TColumnStore::Average, i), expected.Entry(TColumnStore::Average, i));
    EXPECT_EQ(store.AccumulatedSamples(), 0);
}

TEST(FoldBlock, NeverCutsInsideARecordAndKeepsItsGapColumn) {
    TColumnStore store;
    std::vector<uint16_t> w(1000, Sample(50, 50));
    // A record straddling the nominal cut (1000 - 100 = 900) moves the cut to its end.
    const uint16_t record[] = {0, 6, 0, 0, 0, 0};
    std::copy(std::begin(record), std::end(record), w.begin() + 897);
    w[903] = Sample(77, 77);
    EXPECT_EQ(store.FoldBlock(w.data(), 1000, 1, 100), 1 + 97);
    EXPECT_EQ(store.Entry(TColumnStore::LastSample, 0), kGapColumn);
    EXPECT_EQ(store.Entry(TColumnStore::LastSample, 1), (255 - 77) * 257);
    // A block within the limit is folded whole.
    TColumnStore whole;
    EXPECT_EQ(whole.FoldBlock(w.data(), 1000, 10, 100), 89 + 1 + 9);
}

TEST(FoldBlock, DroppedLossMarkerStaysVisible) {
    TColumnStore store;
    std::vector<uint16_t> w(500, Sample(50, 50));
    w[10] = 1;
    EXPECT_EQ(store.FoldBlock(w.data(), 500, 1, 100), 101);
    EXPECT_EQ(store.Entry(TColumnStore::Maximum, 0), kMarkerColumn1);
}

}  // namespace
