#include "RecordFileReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace rollmode::records;

namespace {

std::string TempFile(const std::string& name) { return ::testing::TempDir() + "reader_" + name; }

void WriteWords(const std::string& path, const std::vector<uint16_t>& words, bool extraByte = false) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (uint16_t w : words) {
        out.put(static_cast<char>(w & 0xFF));
        out.put(static_cast<char>(w >> 8));
    }
    if (extraByte) out.put('\x7f');
}

void Rec4(std::vector<uint16_t>& w, uint16_t code, uint16_t arg) { w.insert(w.end(), {0, 4, code, arg}); }
void Rec5(std::vector<uint16_t>& w, uint16_t code, uint32_t arg) {
    w.insert(w.end(), {0, 5, code, static_cast<uint16_t>(arg & 0xFFFF), static_cast<uint16_t>(arg >> 16)});
}
void Rec6(std::vector<uint16_t>& w, uint16_t code, uint16_t level, int16_t zero) {
    w.insert(w.end(), {0, 6, code, level, static_cast<uint16_t>(zero), 0});
}

uint16_t Sample(uint8_t a, uint8_t b) { return static_cast<uint16_t>(a | (b << 8)); }

std::vector<RecordItem> ReadAll(const std::string& path, std::size_t buffer, TRecordFileReader* keep = nullptr) {
    TRecordFileReader local(buffer);
    TRecordFileReader& reader = keep ? *keep : local;
    EXPECT_TRUE(reader.Open(path)) << reader.Error();
    std::vector<RecordItem> items;
    RecordItem item;
    while (reader.Next(item)) items.push_back(item);
    return items;
}

// A measurement as the acquisition thread writes it: start and snapshot, samples,
// a rate change, markers and a stop.
std::vector<uint16_t> Measurement() {
    std::vector<uint16_t> w;
    Rec4(w, 1, 1);
    Rec6(w, 2, 2000, 128);
    Rec6(w, 3, 2100, -20);  // a zero line below the screen
    Rec4(w, 4, 1);
    Rec4(w, 5, 2);
    Rec4(w, 6, 1);
    Rec4(w, 7, 0);
    Rec4(w, 8, 0);
    Rec4(w, 9, 1);
    Rec5(w, 10, 1000);
    Rec5(w, 11, 1000);
    Rec5(w, 12, 100000);  // 32-bit argument beyond 16 bits
    w.push_back(Sample(128, 12));
    w.push_back(Sample(160, 44));
    w.push_back(2);  // a withheld sample
    w.push_back(1);  // overflow marker
    w.push_back(Sample(96, 3));
    Rec5(w, 10, 250);
    w.push_back(Sample(129, 3));
    w.push_back(Sample(130, 3));
    Rec4(w, 1, 0);
    return w;
}

}  // namespace

TEST(RecordFileReader, SplitsSamplesMarkersAndRecordsWithTheSettingsInForce) {
    const std::string path = TempFile("measurement.rmd");
    WriteWords(path, Measurement());
    TRecordFileReader reader;
    const std::vector<RecordItem> items = ReadAll(path, 1 << 16, &reader);
    EXPECT_FALSE(reader.Failed()) << reader.Error();
    ASSERT_EQ(items.size(), 12u + 5u + 1u + 2u + 1u);

    std::vector<uint16_t> codes;
    for (const RecordItem& i : items)
        if (i.kind == RecordItem::Kind::Settings) codes.push_back(i.code);
    EXPECT_EQ(codes, (std::vector<uint16_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 10, 1}));
    EXPECT_EQ(items[1].offset, 8u);
    EXPECT_EQ(items[2].offset, 20u) << "after record 1 (4 words) and record 2 (6 words)";
    EXPECT_EQ(items[11].Arg32(), 100000u);

    // The first sample: A at the zero line, B 32 codes above -20 at 100 V/div.
    const RecordItem& first = items[12];
    ASSERT_EQ(first.kind, RecordItem::Kind::Sample);
    EXPECT_EQ(first.offset, 2u * (4 + 6 + 6 + 6 * 4 + 3 * 5));
    EXPECT_EQ(first.instant, 0u);
    EXPECT_DOUBLE_EQ(first.seconds, 0.0);
    const RecordSettings& s = reader.Settings();  // settings at the end equal those of the samples here
    EXPECT_DOUBLE_EQ(s.Millivolts(0, first.CodeA()), 0.0);
    EXPECT_DOUBLE_EQ(s.Millivolts(0, 160), 1000.0);     // one division up
    EXPECT_DOUBLE_EQ(s.Millivolts(0, 96), -1000.0);
    EXPECT_DOUBLE_EQ(s.Millivolts(1, 12), 100000.0);    // 32 codes above -20
    EXPECT_EQ(s.zeroCode[1], -20);
    EXPECT_EQ(s.deviceLevel[0], 2000);
    EXPECT_EQ(s.probe[1], 2);
    EXPECT_TRUE(s.dcCoupling[0]);
    EXPECT_FALSE(s.dcCoupling[1]);
    EXPECT_TRUE(s.ground[1]);
    EXPECT_FALSE(s.measurementStarted) << "the last record stopped it";

    // Markers: word 2 takes a sample instant, word 1 does not.
    EXPECT_EQ(items[14].kind, RecordItem::Kind::Marker);
    EXPECT_EQ(items[14].word, 2);
    EXPECT_EQ(items[15].word, 1);
    EXPECT_EQ(items[16].instant, 3u);
    EXPECT_DOUBLE_EQ(items[16].seconds, 0.003);
    // After the rate change to 250/s each sample takes 4 ms.
    EXPECT_DOUBLE_EQ(items[18].seconds, 0.004);
    EXPECT_DOUBLE_EQ(items[19].seconds, 0.008);
    EXPECT_DOUBLE_EQ(reader.ElapsedSeconds(), 0.012);
}

TEST(RecordFileReader, TimeIsUnknownBeforeTheFirstRateRecordAndMillivoltsZeroBeforeADeflection) {
    const std::string path = TempFile("norate.rmd");
    WriteWords(path, {Sample(200, 200), Sample(10, 10)});
    TRecordFileReader reader;
    const auto items = ReadAll(path, 64, &reader);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_TRUE(std::isnan(items[0].seconds));
    EXPECT_DOUBLE_EQ(reader.Settings().Millivolts(0, 200), 0.0);
    EXPECT_FALSE(reader.Failed());
}

TEST(RecordFileReader, SmallBuffersSplitWordsAndRecordsAcrossRefillsAlike) {
    const std::string path = TempFile("buffers.rmd");
    std::vector<uint16_t> words;
    for (int i = 0; i < 300; ++i) {
        words.push_back(Sample(static_cast<uint8_t>(3 + i), 7));
        if (i % 7 == 0) Rec6(words, 2, static_cast<uint16_t>(i), static_cast<int16_t>(i));
        if (i % 11 == 0) Rec5(words, 10, 50u + static_cast<uint32_t>(i));
    }
    WriteWords(path, words);
    const auto reference = ReadAll(path, 1 << 16);
    for (std::size_t buffer : {16u, 17u, 23u, 1000u}) {
        const auto items = ReadAll(path, buffer);
        ASSERT_EQ(items.size(), reference.size()) << "buffer " << buffer;
        for (std::size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(items[i].offset, reference[i].offset);
            EXPECT_EQ(items[i].word, reference[i].word);
            EXPECT_EQ(items[i].code, reference[i].code);
            EXPECT_EQ(items[i].args, reference[i].args);
            EXPECT_EQ(items[i].instant, reference[i].instant);
        }
    }
}

TEST(RecordFileReader, MalformedFilesStopAtTheOffsetOfTheBadItem) {
    struct Case {
        const char* name;
        std::vector<uint16_t> words;
        bool extraByte;
        uint64_t offset;
        std::size_t goodItems;
        const char* says;
    };
    const std::vector<Case> cases = {
        {"length 3", {Sample(5, 5), 0, 3, 1, 1}, false, 2, 1, "length 3 outside 4..6"},
        {"length 7", {0, 7, 1, 1, 0, 0, 0}, false, 0, 0, "length 7 outside 4..6"},
        {"truncated record", {Sample(5, 5), Sample(5, 5), 0, 6, 2, 100}, false, 4, 2, "cut off"},
        {"record without length", {Sample(5, 5), 0}, false, 2, 1, "cut off"},
        {"odd byte", {Sample(5, 5), Sample(6, 6)}, true, 4, 2, "truncated word"},
        {"length not of its code", {0, 4, 10, 1000}, false, 0, 0, "code 10 with length 4"},
        {"unknown code", {0, 4, 13, 1}, false, 0, 0, "unknown settings record code 13"},
    };
    for (const Case& c : cases) {
        const std::string path = TempFile("bad.rmd");
        WriteWords(path, c.words, c.extraByte);
        TRecordFileReader reader;
        const auto items = ReadAll(path, 16, &reader);
        EXPECT_TRUE(reader.Failed()) << c.name;
        EXPECT_EQ(reader.ErrorOffset(), c.offset) << c.name;
        EXPECT_EQ(items.size(), c.goodItems) << c.name;
        EXPECT_NE(reader.Error().find(c.says), std::string::npos) << c.name << ": " << reader.Error();
        RecordItem item;
        EXPECT_FALSE(reader.Next(item)) << "a failed reader stays failed";
    }
}

TEST(RecordFileReader, AMissingFileIsReportedOnOpen) {
    TRecordFileReader reader;
    EXPECT_FALSE(reader.Open(TempFile("does/not/exist.rmd")));
    EXPECT_TRUE(reader.Failed());
    EXPECT_NE(reader.Error().find("cannot open"), std::string::npos);
}

TEST(RecordFileTail, ARecordCutOffAtTheEndIsLeftOutWhateverPrecedesIt) {
    // Every record length, cut after each of its words, behind samples or at the file start.
    const std::vector<std::vector<uint16_t>> records = {{0, 4, 1, 1}, {0, 5, 10, 0x4B40, 0x4C},
                                                        {0, 6, 2, 2048, 128, 0}};
    for (const auto& record : records) {
        for (std::size_t cut = 1; cut < record.size(); ++cut) {
            for (bool fromStart : {true, false}) {
                std::vector<uint16_t> w(fromStart ? 0 : 6, Sample(7, 9));
                Rec5(w, 10, 5000);
                w.insert(w.end(), {Sample(1, 1), Sample(255, 255), Sample(20, 30), Sample(40, 50), 2});
                const std::size_t whole = w.size();
                w.insert(w.end(), record.begin(), record.begin() + static_cast<std::ptrdiff_t>(cut));
                EXPECT_EQ(WholeTailWords(w.data(), w.size(), fromStart), whole)
                    << "code " << record[2] << " cut after " << cut << (fromStart ? " from start" : "");
            }
        }
    }
}

TEST(RecordFileTail, WholeAndMalformedTailsAreKept) {
    std::vector<uint16_t> w(8, Sample(100, 100));
    // Arguments that look like markers, zeros or record starts belong to whole records.
    Rec6(w, 2, 0, 4);
    Rec5(w, 11, 5);
    Rec4(w, 1, 0);
    EXPECT_EQ(WholeTailWords(w.data(), w.size(), false), w.size());
    EXPECT_EQ(WholeTailWords(w.data(), w.size(), true), w.size());
    // Not a cut-off record: nothing is dropped.
    std::vector<uint16_t> bad = w;
    bad.insert(bad.end(), {0, 9});
    EXPECT_EQ(WholeTailWords(bad.data(), bad.size(), false), bad.size());
    bad = w;
    bad.insert(bad.end(), {0, 4, 10});
    EXPECT_EQ(WholeTailWords(bad.data(), bad.size(), false), bad.size());
    // Only records and markers and not the whole file: no point to start from, kept.
    std::vector<uint16_t> recordsOnly;
    for (int i = 0; i < 10; ++i) Rec4(recordsOnly, 1, 1);
    recordsOnly.push_back(0);
    EXPECT_EQ(WholeTailWords(recordsOnly.data(), recordsOnly.size(), false), recordsOnly.size());
    EXPECT_EQ(WholeTailWords(recordsOnly.data(), recordsOnly.size(), true), recordsOnly.size() - 1);
}
