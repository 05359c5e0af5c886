// The fast word loop against the item-by-item reader on random files: the same items,
// the same settings and the same fault at the same byte, at buffer sizes that cut
// records anywhere.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>

#include "RecordFileReader.h"
#include "WordScanner.h"

using namespace rollmode::records;

namespace {

struct Counts {
    uint64_t samples = 0, notArmed = 0, overflows = 0, records = 0, sampleSum = 0;
    uint64_t lowWordsInRuns = 0;  // a run holds no record or overflow mark
    bool operator==(const Counts&) const = default;
};

struct CountingSink final : TWordSink {
    Counts c;
    void OnRun(const uint16_t* w, std::size_t n) override {
        for (std::size_t i = 0; i < n; ++i) {
            c.lowWordsInRuns += w[i] <= 1;
            if (w[i] == 2) {
                ++c.notArmed;
            } else {
                ++c.samples;
                c.sampleSum += w[i];
            }
        }
    }
    void OnOverflowMark(uint64_t) override { ++c.overflows; }
    void OnRecord(const RecordItem&, const RecordSettings&) override { ++c.records; }
};

std::vector<uint8_t> RandomFile(std::mt19937& rng) {
    std::vector<uint16_t> w;
    std::uniform_int_distribution<int> pick(0, 99);
    const int items = std::uniform_int_distribution<int>(0, 3000)(rng);
    for (int i = 0; i < items; ++i) {
        const int p = pick(rng);
        if (p < 80) {
            const int run = std::uniform_int_distribution<int>(1, 40)(rng);
            for (int k = 0; k < run; ++k) w.push_back(static_cast<uint16_t>(3 + rng() % 65533));
        } else if (p < 84) {
            w.push_back(1);
        } else if (p < 88) {
            w.push_back(2);
        } else {
            const uint16_t code = static_cast<uint16_t>(1 + rng() % 12);
            const uint16_t length = RecordLengthOfCode(code);
            w.insert(w.end(), {0, length, code});
            for (int k = 3; k < length; ++k) w.push_back(static_cast<uint16_t>(rng() % 3000));
        }
    }
    std::vector<uint8_t> bytes(2 * w.size());
    std::memcpy(bytes.data(), w.data(), bytes.size());
    // Now and then a fault: a word changed to 0 (a record start in the middle of
    // anything), a length or code spoilt, or the file cut anywhere.
    if (!bytes.empty() && pick(rng) < 30) {
        const std::size_t at = 2 * (rng() % w.size());
        bytes[at] = bytes[at + 1] = 0;
    }
    if (!bytes.empty() && pick(rng) < 40) bytes.resize(rng() % bytes.size());
    return bytes;
}

}  // namespace

TEST(WordScanner, AgreesWithTheItemReaderOnRandomFiles) {
    const std::string path = ::testing::TempDir() + "scanner_random.rmd";
    std::mt19937 rng(20261208);
    for (int round = 0; round < 150; ++round) {
        const std::vector<uint8_t> bytes = RandomFile(rng);
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));

        TRecordFileReader reader;
        ASSERT_TRUE(reader.Open(path));
        Counts expected;
        for (RecordItem item; reader.Next(item);) {
            if (item.kind == RecordItem::Kind::Settings) ++expected.records;
            else if (item.word == 1) ++expected.overflows;
            else if (item.word == 2) ++expected.notArmed;
            else ++expected.samples, expected.sampleSum += item.word;
        }
        for (const std::size_t buffer : {64u, 66u, 70u, 1000u, 1u << 20}) {
            TWordScanner scanner(buffer);
            ASSERT_TRUE(scanner.Open(path));
            CountingSink sink;
            const TWordScanner::Status status = scanner.Scan(sink);
            SCOPED_TRACE(::testing::Message() << "round " << round << " buffer " << buffer);
            const TWordScanner::Status want = !reader.Failed()   ? TWordScanner::Status::Whole
                                              : reader.TornTail() ? TWordScanner::Status::TornTail
                                                                  : TWordScanner::Status::Malformed;
            ASSERT_EQ(status, want) << scanner.Error() << " / " << reader.Error();
            if (reader.Failed()) {
                EXPECT_EQ(scanner.ErrorOffset(), reader.ErrorOffset());
                EXPECT_EQ(scanner.Error(), reader.Error());
            }
            EXPECT_EQ(sink.c, expected);
            EXPECT_EQ(scanner.Settings().samplesPerSecond, reader.Settings().samplesPerSecond);
            EXPECT_EQ(scanner.Settings().zeroCode, reader.Settings().zeroCode);
            EXPECT_EQ(scanner.Settings().deflection, reader.Settings().deflection);
        }
    }
}
