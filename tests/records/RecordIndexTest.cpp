#include "RecordIndex.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <thread>

#include "IndexFileName.h"
#include "IndexFormat.h"
#include "IndexTestRecords.h"

using namespace rollmode::records;
using namespace rollmode::records::testing;

namespace {

class RecordIndexTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = ::testing::TempDir() + "record_index_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        record_ = dir_ + "/sdata.rmd";
        ::setenv("XDG_CACHE_HOME", (dir_ + "/cache").c_str(), 1);  // never the user's own
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string IndexFile() const { return dir_ + "/" + IndexFileName("sdata.rmd"); }

    std::string dir_, record_;
};

void ExpectSame(const MinMaxMv& got, const MinMaxMv& want, const std::string& where) {
    ASSERT_EQ(got.valid, want.valid) << where;
    if (!want.valid) return;
    EXPECT_EQ(got.min, want.min) << where;
    EXPECT_EQ(got.max, want.max) << where;
}

// Envelope at every level (and finer than level 0) and Extremes over random ranges, each
// against a brute-force pass over the reader's instants.
void CheckAgainstTruth(const TRecordIndex& index, const std::vector<TruthInstant>& truth, uint32_t seed) {
    ASSERT_EQ(index.PublishedInstants(), truth.size());
    std::mt19937_64 rng(seed);
    const uint64_t n = truth.size();
    MinMaxMv got[2], want[2];
    for (int i = 0; i < 60; ++i) {
        const uint64_t a = rng() % (n + 1);
        const uint64_t b = a + rng() % (i % 3 == 0 ? 300 : n - a + 1);
        index.Extremes(a, b, got);
        BruteExtremes(truth, a, b, want);
        const std::string where = "range " + std::to_string(a) + ".." + std::to_string(b);
        ExpectSame(got[0], want[0], where + " A");
        ExpectSame(got[1], want[1], where + " B");
    }
    constexpr int kColumns = 64;
    std::vector<MinMaxMv> env(2 * kColumns);
    for (double perColumn : {3.0, 100.5, 256.0, 1000.0, 4096.0, 70000.0, 1048576.0}) {
        const uint64_t first = rng() % (n / 2 + 1);
        index.Envelope(first, perColumn, kColumns, env.data());
        const double bucket = perColumn < 256 ? 1 : perColumn < 4096 ? 256 : perColumn < 65536 ? 4096
                                                : perColumn < 1048576 ? 65536 : 1048576;
        const auto edge = [&](int c) {
            const double x = std::floor((static_cast<double>(first) + c * perColumn) / bucket) * bucket;
            return std::min<uint64_t>(static_cast<uint64_t>(x), n);
        };
        for (int c = 0; c < kColumns; ++c) {
            uint64_t a = edge(c), b = edge(c + 1);
            if (perColumn < 256) {  // not snapped: the instants whose column is c
                a = first + static_cast<uint64_t>(std::ceil(c * perColumn));
                b = first + static_cast<uint64_t>(std::ceil((c + 1) * perColumn));
            }
            BruteExtremes(truth, a, b, want);
            const std::string where = "column " + std::to_string(c) + " at " + std::to_string(perColumn);
            ExpectSame(env[2 * c], want[0], where + " A");
            ExpectSame(env[2 * c + 1], want[1], where + " B");
        }
    }
    std::vector<RawInstant> raw(5000);
    for (int i = 0; i < 20; ++i) {
        const uint64_t a = rng() % n;
        const std::size_t got = index.ReadInstants(a, raw.size(), raw.data());
        ASSERT_EQ(got, std::min<uint64_t>(raw.size(), n - a));
        for (std::size_t k = 0; k < got; ++k) {
            const TruthInstant& t = truth[a + k];
            ASSERT_EQ(raw[k].instant, a + k);
            ASSERT_EQ(raw[k].notArmed, t.word == 2);
            if (t.word == 2) continue;
            ASSERT_EQ(raw[k].codeA | (raw[k].codeB << 8), t.word);
            if (t.valid[0]) {
                ASSERT_EQ(raw[k].mvA, static_cast<float>(t.mv[0]));
            } else {
                ASSERT_TRUE(std::isnan(raw[k].mvA));
            }
        }
    }
}

TEST_F(RecordIndexTest, EveryLevelMatchesBruteForceOverRandomFiles) {
    for (uint32_t seed : {1u, 2u, 3u}) {
        WriteWords(record_, RandomRecord(seed, seed == 1 ? 1200000 : 300000 + seed * 7777, seed != 2));
        std::filesystem::remove(IndexFile());
        const auto truth = ReadTruth(record_);
        TRecordIndex index;
        ASSERT_TRUE(index.Open(record_)) << index.Error();
        EXPECT_EQ(index.HowOpened(), TRecordIndex::Origin::Built);
        EXPECT_FALSE(index.Fault().malformed);
        CheckAgainstTruth(index, truth, seed);
    }
}

TEST_F(RecordIndexTest, IndexStaysUnderOnePercentOfTheRecord) {
    std::mt19937 rng(12);
    std::vector<uint16_t> words;
    Snapshot(words, rng);
    for (int block = 0; block < 8; ++block) {
        Record(words, 11, 100u << (block % 3));
        for (int i = 0; i < 500000; ++i) words.push_back(static_cast<uint16_t>(0x8080 + (rng() % 64)));
    }
    WriteWords(record_, words);
    TRecordIndex index;
    ASSERT_TRUE(index.Open(record_));
    EXPECT_LE(std::filesystem::file_size(IndexFile()), std::filesystem::file_size(record_) / 100);
}

TEST_F(RecordIndexTest, EventsSettingsAndTimeFollowTheReader) {
    WriteWords(record_, RandomRecord(9, 400000));
    TRecordIndex index;
    ASSERT_TRUE(index.Open(record_));
    TRecordFileReader reader;
    ASSERT_TRUE(reader.Open(record_));
    std::vector<IndexEvent> events = index.Events(0, index.PublishedInstants());
    std::size_t e = 0, starts = 0;
    RecordItem item;
    std::mt19937 rng(4);
    while (reader.Next(item)) {
        if (item.kind == RecordItem::Kind::Settings || item.word == 1) {
            ASSERT_LT(e, events.size());
            EXPECT_EQ(events[e].offset, item.offset);
            EXPECT_EQ(events[e].instant, item.instant);
            if (item.word == 1) {
                EXPECT_EQ(events[e].kind, IndexEvent::Kind::Overflow);
            } else {
                EXPECT_EQ(events[e].code, item.code);
            }
            if (item.code == 1 && item.args[0] == 1) ++starts;
            ++e;
            continue;
        }
        if (rng() % 500 != 0) continue;
        const RecordSettings s = index.SettingsAt(item.instant);
        EXPECT_EQ(s.zeroCode, reader.Settings().zeroCode) << item.instant;
        EXPECT_EQ(s.deflection, reader.Settings().deflection) << item.instant;
        EXPECT_EQ(s.samplesPerSecond, reader.Settings().samplesPerSecond) << item.instant;
        EXPECT_EQ(s.probe, reader.Settings().probe) << item.instant;
        Measurement whole;
        whole.endInstant = index.PublishedInstants();
        EXPECT_NEAR(index.SecondsAt(whole, item.instant), item.seconds, 1e-9);
        EXPECT_NEAR(static_cast<double>(index.InstantAtSeconds(whole, item.seconds)), item.instant, 1.0);
    }
    EXPECT_EQ(e, events.size());
    const auto measurements = index.Measurements();
    ASSERT_EQ(measurements.size(), starts);  // the file starts with a start record
    for (std::size_t m = 0; m < measurements.size(); ++m) {
        EXPECT_EQ(measurements[m].number, static_cast<int>(m) + 1);
        if (m + 1 < measurements.size()) {
            EXPECT_LE(measurements[m].endInstant, measurements[m + 1].firstInstant);
        }
    }
    if (!measurements.back().stopped) {
        EXPECT_EQ(measurements.back().endInstant, index.PublishedInstants());
    }
    // The stretches cover exactly the not-armed instants.
    const auto truth = ReadTruth(record_);
    uint64_t notArmed = 0;
    for (const auto& t : truth) notArmed += t.word == 2;
    uint64_t covered = 0;
    for (const auto& s : index.NotArmed(0, truth.size())) {
        for (uint64_t i = s.firstInstant; i < s.firstInstant + s.count; ++i) ASSERT_EQ(truth[i].word, 2);
        covered += s.count;
    }
    EXPECT_EQ(covered, notArmed);
}

TEST_F(RecordIndexTest, ReusedExtendedOrRebuiltAsTheRecordAndIndexRequire) {
    auto words = RandomRecord(21, 250000);
    WriteWords(record_, words);
    {
        TRecordIndex index;
        ASSERT_TRUE(index.Open(record_));
        EXPECT_EQ(index.HowOpened(), TRecordIndex::Origin::Built);
    }
    {
        TRecordIndex index;
        ASSERT_TRUE(index.Open(record_));
        EXPECT_EQ(index.HowOpened(), TRecordIndex::Origin::Reused);
        CheckAgainstTruth(index, ReadTruth(record_), 5);
    }
    // Grown: extended, and as good as a fresh build.
    WriteWords(record_, RandomRecord(22, 150000), true);
    {
        TRecordIndex index;
        ASSERT_TRUE(index.Open(record_));
        EXPECT_EQ(index.HowOpened(), TRecordIndex::Origin::Extended);
        CheckAgainstTruth(index, ReadTruth(record_), 6);
    }
    {
        TRecordIndex index;
        ASSERT_TRUE(index.Open(record_));
        EXPECT_EQ(index.HowOpened(), TRecordIndex::Origin::Reused);
    }
    // Replaced by another record: rebuilt.
    WriteWords(record_, RandomRecord(23, 300000));
    {
        TRecordIndex index;
        ASSERT_TRUE(index.Open(record_));
        EXPECT_EQ(index.HowOpened(), TRecordIndex::Origin::Built);
        CheckAgainstTruth(index, ReadTruth(record_), 7);
    }
}

TEST_F(RecordIndexTest, DamagedTruncatedOrForeignIndexIsRebuilt) {
    WriteWords(record_, RandomRecord(31, 500000));
    const auto truth = ReadTruth(record_);
    {
        TRecordIndex index;
        ASSERT_TRUE(index.Open(record_));
    }
    std::vector<char> good;
    {
        std::ifstream in(IndexFile(), std::ios::binary);
        good.assign(std::istreambuf_iterator<char>(in), {});
    }
    ASSERT_GT(good.size(), 4096u);
    std::mt19937 rng(8);
    const auto reopen = [&](const std::vector<char>& bytes, const std::string& what) {
        {
            std::ofstream out(IndexFile(), std::ios::binary | std::ios::trunc);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        TRecordIndex index;
        ASSERT_TRUE(index.Open(record_)) << what;
        EXPECT_EQ(index.HowOpened(), TRecordIndex::Origin::Built) << what;
        MinMaxMv got[2], want[2];
        index.Extremes(1000, truth.size() - 1000, got);
        BruteExtremes(truth, 1000, truth.size() - 1000, want);
        ExpectSame(got[0], want[0], what);
        ExpectSame(got[1], want[1], what);
    };
    for (int i = 0; i < 6; ++i) {
        std::vector<char> flipped = good;
        // In the header, the sections and the lists.
        const std::size_t at = i < 2 ? rng() % 200 : i < 4 ? 4096 + rng() % (good.size() - 4096) : good.size() - 1 - rng() % 64;
        flipped[at] = static_cast<char>(flipped[at] ^ (1 << (rng() % 8)));
        reopen(flipped, "bit flip at " + std::to_string(at));
    }
    reopen(std::vector<char>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2)), "truncated");
    reopen(std::vector<char>(good.begin(), good.begin() + 100), "header cut");
    std::vector<char> foreign(good.size());
    for (char& c : foreign) c = static_cast<char>(rng());
    reopen(foreign, "foreign");
    std::vector<char> version = good;
    version[8] = 2;  // the version field follows the magic
    reopen(version, "another version");
    // A header that passes its checksum but points the resume into the wrong place.
    std::vector<char> resume = good;
    indexformat::Header h;
    std::memcpy(&h, resume.data(), sizeof h);
    h.resumeOffset -= 8;
    h.checksum = indexformat::Checksum(reinterpret_cast<const uint8_t*>(resume.data()), h,
                                       reinterpret_cast<const uint8_t*>(resume.data()) + h.listsOffset);
    std::memcpy(resume.data(), &h, sizeof h);
    reopen(resume, "resume offset off by 4 words");
}

// A folder the user may not write to: the index goes to the per-user cache, under a name
// that differs for two records of the same name. Run as an unprivileged user (a forked
// child drops root), since root writes anywhere.
TEST_F(RecordIndexTest, ReadOnlyFolderPutsTheIndexInTheUserCache) {
    const std::string shelf = dir_ + "/shelf", other = dir_ + "/other", cache = dir_ + "/cache";
    for (const std::string& d : {shelf, other, cache}) std::filesystem::create_directories(d);
    WriteWords(shelf + "/sdata.rmd", RandomRecord(5, 20000));
    WriteWords(other + "/sdata.rmd", RandomRecord(6, 20000));
    ::chmod(dir_.c_str(), 0755);
    ::chmod(shelf.c_str(), 0555);
    ::chmod(other.c_str(), 0555);
    ::chmod(cache.c_str(), 0777);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(10);
        ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);
        TRecordIndex first, second, again;
        if (!first.Open(shelf + "/sdata.rmd") || !second.Open(other + "/sdata.rmd")) ::_exit(11);
        const std::string folder = cache + "/corvo-rollmode/";
        if (first.IndexPath().compare(0, folder.size(), folder) != 0) ::_exit(12);
        if (first.IndexPath() == second.IndexPath()) ::_exit(13);
        if (!std::filesystem::exists(first.IndexPath()) || std::filesystem::exists(shelf + "/sdata.ind")) ::_exit(14);
        if (!again.Open(shelf + "/sdata.rmd") || again.HowOpened() != TRecordIndex::Origin::Reused) ::_exit(15);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::chmod(shelf.c_str(), 0755);
    ::chmod(other.c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Names whose index name is a record: "x.ind" is its own index name, and every name
// under 4 characters shares "ind". The record is never overwritten.
TEST_F(RecordIndexTest, IndexNeverOverwritesARecord) {
    const auto read = [](const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<char>(std::istreambuf_iterator<char>(in), {});
    };
    const std::string self = dir_ + "/data.ind", shortName = dir_ + "/abc", other = dir_ + "/ind";
    WriteWords(self, RandomRecord(61, 30000));
    WriteWords(shortName, RandomRecord(62, 30000));
    WriteWords(other, RandomRecord(63, 30000));
    const auto selfBytes = read(self), otherBytes = read(other);
    for (const std::string& path : {self, shortName}) {
        TRecordIndex index;
        ASSERT_TRUE(index.Open(path));
        EXPECT_NE(index.IndexPath(), self);
        EXPECT_NE(index.IndexPath(), other);
        EXPECT_EQ(index.PublishedInstants(), ReadTruth(path).size());
    }
    EXPECT_EQ(read(self), selfBytes);
    EXPECT_EQ(read(other), otherBytes);
}

TEST_F(RecordIndexTest, KillDuringTheBuildLeavesNoIndexAndTheNextOpenBuilds) {
    WriteWords(record_, RandomRecord(41, 8000000));  // several read chunks
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TRecordIndex index;
        bool told = false;
        index.Open(record_, [&](uint64_t done, uint64_t) {
            if (told || done == 0) return;
            told = true;
            const char c = 'x';
            (void)!::write(pipeFds[1], &c, 1);
            ::pause();  // midway: wait to be killed
        });
        ::_exit(3);
    }
    char c = 0;
    ASSERT_EQ(::read(pipeFds[0], &c, 1), 1);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_FALSE(std::filesystem::exists(IndexFile()));
    TRecordIndex index;
    ASSERT_TRUE(index.Open(record_));
    EXPECT_EQ(index.HowOpened(), TRecordIndex::Origin::Built);
    EXPECT_TRUE(std::filesystem::exists(IndexFile()));
    // The killed build's temporary file is gone too.
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) files += entry.is_regular_file();
    EXPECT_EQ(files, 2u);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
}

TEST_F(RecordIndexTest, CancelledBuildLeavesNoIndex) {
    WriteWords(record_, RandomRecord(42, 3000000));
    std::atomic<bool> cancel{false};
    TRecordIndex index;
    EXPECT_FALSE(index.Open(record_, [&](uint64_t, uint64_t) { cancel = true; }, &cancel));
    EXPECT_FALSE(std::filesystem::exists(IndexFile()));
    for (const auto& entry : std::filesystem::directory_iterator(dir_))
        EXPECT_EQ(entry.path().filename(), "sdata.rmd");
}

TEST_F(RecordIndexTest, FollowsAGrowingFileAndReportsTheCutOffRecordAsNotYetWritten) {
    // From an empty file, as when the viewer opens a recording that just started.
    WriteWords(record_, {});
    auto owned = std::make_unique<TRecordIndex>();
    TRecordIndex& index = *owned;
    ASSERT_TRUE(index.Open(record_));
    EXPECT_FALSE(index.Update());
    EXPECT_EQ(index.PublishedInstants(), 0u);
    ASSERT_EQ(index.Measurements().size(), 1u);
    std::vector<MinMaxMv> none(2 * 10);
    index.Envelope(0, 1000.0, 10, none.data());
    for (const MinMaxMv& m : none) EXPECT_FALSE(m.valid);
    std::mt19937 rng(3);
    for (int step = 0; step < 7; ++step) {
        auto more = RandomRecord(60 + step, 1000 + rng() % 150000, step == 0);
        // Half a settings record at the end, as a writer caught mid-write leaves it.
        std::vector<uint16_t> head(more.begin(), more.end());
        std::vector<uint16_t> rest;
        if (step % 3 == 0) {
            std::vector<uint16_t> rec;
            Record(rec, 11, 500);
            head.insert(head.end(), rec.begin(), rec.begin() + 2);
            rest.assign(rec.begin() + 2, rec.end());
        }
        WriteWords(record_, head, true);
        ASSERT_TRUE(index.Update()) << step;
        EXPECT_FALSE(index.Replaced());
        const RecordFault fault = index.Fault();
        EXPECT_FALSE(fault.malformed);
        EXPECT_EQ(fault.tornBytes, rest.empty() ? 0u : 4u) << step;
        CheckAgainstTruth(index, ReadTruth(record_), 100 + step);
        if (!rest.empty()) {
            WriteWords(record_, rest, true);
            index.Update();
            EXPECT_EQ(index.Fault().tornBytes, 0u);
        }
    }
    // A word cut in half by the end of the file is not yet written either.
    {
        std::ofstream out(record_, std::ios::binary | std::ios::app);
        out.put('\x44');
    }
    EXPECT_FALSE(index.Update());  // nothing whole arrived
    EXPECT_EQ(index.Fault().tornBytes, 1u);
    {
        std::ofstream out(record_, std::ios::binary | std::ios::app);
        out.put('\x45');
    }
    EXPECT_TRUE(index.Update());
    EXPECT_EQ(index.Fault().tornBytes, 0u);
    EXPECT_EQ(index.RecordBytes(), std::filesystem::file_size(record_));
    // What was followed is saved for the next open.
    const uint64_t covered = index.RecordBytes();
    owned.reset();
    TRecordIndex again;
    ASSERT_TRUE(again.Open(record_));
    EXPECT_EQ(again.HowOpened(), TRecordIndex::Origin::Reused);
    EXPECT_EQ(again.RecordBytes(), covered);
}

TEST_F(RecordIndexTest, TruncatedOrReplacedRecordIsReportedNotCrashed) {
    WriteWords(record_, RandomRecord(71, 300000));
    TRecordIndex index;
    ASSERT_TRUE(index.Open(record_));
    ASSERT_EQ(::truncate(record_.c_str(), 1000), 0);
    EXPECT_FALSE(index.Update());
    EXPECT_TRUE(index.Replaced());
    // Queries on what was indexed still answer without touching missing bytes.
    std::vector<MinMaxMv> env(2 * 100);
    index.Envelope(0, 3000.0, 100, env.data());
    std::vector<RawInstant> raw(1000);
    index.ReadInstants(200000, raw.size(), raw.data());

    WriteWords(record_, RandomRecord(72, 300000));
    TRecordIndex second;
    ASSERT_TRUE(second.Open(record_));
    const std::string moved = dir_ + "/other.rmd";
    WriteWords(moved, RandomRecord(73, 1000));
    std::filesystem::rename(moved, record_);
    EXPECT_FALSE(second.Update());
    EXPECT_TRUE(second.Replaced());
}

TEST_F(RecordIndexTest, MalformedItemStopsTheIndexAtItsOffset) {
    auto words = RandomRecord(81, 5000);
    const uint64_t bad = words.size() * 2;
    words.insert(words.end(), {0, 9, 1, 1});
    words.insert(words.end(), 3000, 0x4040);
    WriteWords(record_, words);
    TRecordIndex index;
    ASSERT_TRUE(index.Open(record_));
    const RecordFault fault = index.Fault();
    EXPECT_TRUE(fault.malformed);
    EXPECT_EQ(fault.offset, bad);
    EXPECT_EQ(index.RecordBytes(), bad);
    EXPECT_EQ(fault.message, "settings record length 9 outside 4..6");
    TRecordIndex again;
    ASSERT_TRUE(again.Open(record_));
    EXPECT_EQ(again.HowOpened(), TRecordIndex::Origin::Reused);
    EXPECT_TRUE(again.Fault().malformed);
}

TEST_F(RecordIndexTest, QueriesDuringTheBuildSeeAGrowingPrefix) {
    WriteWords(record_, RandomRecord(91, 2500000));
    TRecordIndex index;
    std::atomic<bool> done{false};
    std::thread viewer([&] {
        std::vector<MinMaxMv> env(2 * 1920);
        uint64_t last = 0;
        while (!done.load()) {
            const uint64_t now = index.PublishedInstants();
            EXPECT_GE(now, last);
            last = now;
            index.Envelope(0, std::max(1.0, static_cast<double>(now) / 1920), 1920, env.data());
            std::this_thread::yield();
            (void)index.Measurements();
            (void)index.SettingsAt(now / 2);
        }
    });
    ASSERT_TRUE(index.Open(record_));
    done = true;
    viewer.join();
    const auto truth = ReadTruth(record_);
    MinMaxMv got[2], want[2];
    index.Extremes(0, truth.size(), got);
    BruteExtremes(truth, 0, truth.size(), want);
    ExpectSame(got[0], want[0], "A");
    ExpectSame(got[1], want[1], "B");
}

}  // namespace
