// The record file on the medium: synced at least once per interval while data comes,
// a torn tail after a crash is told apart from a malformed file, a write the medium
// refuses keeps everything written before it, and overflow marks are counted only
// where they are stream words.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <random>
#include <vector>

#include "ProcessingThreadRM.h"
#include "RecordFileLyraRM.h"
#include "RecordFileReader.h"
#include "ReliabilitySupport.h"
#include "ResourceStringsLyraRM.h"
#include "VirtualScopeLyraRM.h"

using namespace rollmode;
using namespace rollmode::core;
using namespace rollmode::records;
using namespace rollmode::reliability;
using namespace std::chrono_literals;

namespace {

auto NoCount = [](int64_t) {};

std::vector<uint16_t> CountWords(size_t n, size_t from = 0) {
    std::vector<uint16_t> w(n);
    for (size_t i = 0; i < n; ++i) {
        const size_t idx = (from + i) % (255 * 255);
        w[i] = static_cast<uint16_t>((1 + idx / 255) << 8 | (1 + idx % 255));
    }
    return w;
}

TEST(RecordDurability, WrittenDataIsSyncedOncePerIntervalWhileItComesAndAtClose) {
    TempFolder folder;
    TRecordFileLyraRM file(5ms, 40ms);
    ASSERT_EQ(file.OpenForAppend(folder.File("a.rmd")), TRecordFileLyraRM::OpenOutcome::Created);
    const auto words = CountWords(2048);
    // A run is held back at first; the append that comes once it has waited its 5 ms writes
    // it. Written bytes are synced when they have waited the interval, not at once because
    // the last sync (or the open) is long past. Counted, not timed: a busy machine only makes
    // the waits longer.
    std::this_thread::sleep_for(45ms);
    for (int i = 0; i < 5; ++i) {
        const uint64_t before = file.SyncCount();
        ASSERT_EQ(file.Append(words.data(), 2048, NoCount), TRecordFileLyraRM::AppendOutcome::Written);
        EXPECT_EQ(file.SyncCount(), before) << "held back, nothing new to sync: " << i;
        std::this_thread::sleep_for(10ms);
        ASSERT_EQ(file.Append(words.data(), 2048, NoCount), TRecordFileLyraRM::AppendOutcome::Written);
        EXPECT_EQ(file.SyncCount(), before) << "written just now, not yet due: " << i;
        std::this_thread::sleep_for(45ms);
        ASSERT_EQ(file.Append(words.data(), 2048, NoCount), TRecordFileLyraRM::AppendOutcome::Written);
        EXPECT_EQ(file.SyncCount(), before + 1) << "written an interval ago: " << i;
    }
    // Appends in a row sync once per interval at most, not once per write.
    const uint64_t before = file.SyncCount();
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(file.Append(words.data(), 2048, NoCount), TRecordFileLyraRM::AppendOutcome::Written);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - t0;
    EXPECT_LE(file.SyncCount() - before, static_cast<uint64_t>(elapsed.count() / 0.040) + 1);
    EXPECT_LT(file.SyncCount() - before, 100u);

    // The idle flush writes what the run left held back and syncs it once it has waited;
    // after that, nothing new: the idle flush has nothing to sync.
    ASSERT_EQ(file.Append(words.data(), 2048, NoCount), TRecordFileLyraRM::AppendOutcome::Written);
    const uint64_t beforeIdle = file.SyncCount();
    ASSERT_EQ(file.Flush(NoCount), TRecordFileLyraRM::AppendOutcome::Written);
    std::this_thread::sleep_for(50ms);
    ASSERT_EQ(file.Flush(NoCount), TRecordFileLyraRM::AppendOutcome::Written);
    const uint64_t afterIdle = file.SyncCount();
    EXPECT_GE(afterIdle, beforeIdle + 1) << "the last write is synced while idle";
    ASSERT_EQ(file.Flush(NoCount), TRecordFileLyraRM::AppendOutcome::Written);
    std::this_thread::sleep_for(50ms);
    ASSERT_EQ(file.Flush(NoCount), TRecordFileLyraRM::AppendOutcome::Written);
    EXPECT_EQ(file.SyncCount(), afterIdle);

    // A run held back, then closed: the close writes and syncs it.
    ASSERT_EQ(file.Append(words.data(), 10, NoCount), TRecordFileLyraRM::AppendOutcome::Written);
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(file.SyncCount(), afterIdle + 1);
    EXPECT_GT(file.SyncSeconds(), 0.0);
}

// Copies the first `bytes` of a file, as a crash leaves it.
std::string Prefix(const TempFolder& folder, const std::string& from, size_t bytes) {
    std::ifstream in(from, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string to = folder.File("prefix.rmd");
    std::ofstream(to, std::ios::binary | std::ios::trunc) << data.substr(0, bytes);
    return to;
}

TEST(RecordDurability, EveryPrefixOfAFileReadsAsWholeItemsUpToATornTail) {
    TempFolder folder;
    const std::string name = folder.File("full.rmd");
    {
        // Samples, a settings record of each length, an overflow mark, samples.
        std::vector<uint16_t> stream = CountWords(5);
        for (uint16_t w : {0, 4, 1, 1, 0, 6, 2, 2110, 128, 0, 0, 5, 10, 0x4B40, 0x004C}) stream.push_back(w);
        stream.push_back(1);
        for (uint16_t w : CountWords(5, 9)) stream.push_back(w);
        std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(stream.data()),
                                                     static_cast<std::streamsize>(stream.size() * 2));
    }
    const size_t size = std::filesystem::file_size(name);
    for (size_t bytes = 0; bytes <= size; ++bytes) {
        const auto r = tools::CheckCountStream(Prefix(folder, name, bytes));
        EXPECT_TRUE(r.error.empty()) << bytes << ": " << r.error;
        EXPECT_EQ(r.breaks, 0u) << bytes;
        EXPECT_LE(r.bytes, bytes);
        EXPECT_GE(r.bytes + 12, bytes) << "at most one torn record is left unread";
        EXPECT_EQ(r.tornTail, r.bytes != bytes) << bytes;
    }
    // A malformed record is no torn tail.
    std::ofstream(folder.File("bad.rmd"), std::ios::binary).write("\x00\x00\x09\x00\x01\x00", 6);
    const auto bad = tools::CheckCountStream(folder.File("bad.rmd"));
    EXPECT_FALSE(bad.error.empty());
    EXPECT_FALSE(bad.tornTail);
}

TEST(RecordDurability, OverflowMarksAreCountedOnlyWhereTheyAreStreamWords) {
    TOverflowMarkCounter counter;
    // A measurement record with its argument 1, a level record with argument 1, marks.
    const std::vector<uint16_t> stream = {0x0101, 1, 0, 4, 1, 1, 0x0202, 0, 5, 2, 1, 1, 1, 1, 0x0303};
    EXPECT_EQ(counter.Count(stream.data(), static_cast<uint32_t>(stream.size())), 3u);
    // The same stream split at every place across two runs.
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        TOverflowMarkCounter split;
        const uint64_t n = split.Count(stream.data(), static_cast<uint32_t>(cut)) +
                           split.Count(stream.data() + cut, static_cast<uint32_t>(stream.size() - cut));
        EXPECT_EQ(n, 3u) << "cut at " << cut;
    }
}

TEST(RecordDurability, OverflowMarksInLongRunsAreCountedWhereverTheRunsAreCut) {
    // Samples with marks and records (arguments 1 included) at random places, counted
    // in one piece and in random pieces, against the count made while building it.
    std::mt19937 random(20261208);
    std::vector<uint16_t> stream;
    uint64_t expected = 0;
    while (stream.size() < 200000) {
        const int what = static_cast<int>(random() % 100);
        if (what < 2) {
            stream.push_back(1);
            ++expected;
        } else if (what < 4) {
            stream.insert(stream.end(), {0, 4, 1, 1});
        } else if (what < 5) {
            stream.insert(stream.end(), {0, 6, 2, 1, 1, 1});
        } else {
            const auto run = random() % 200;
            for (uint32_t k = 0; k < run; ++k) stream.push_back(static_cast<uint16_t>(0x0202 + random() % 0xFC00));
        }
    }
    TOverflowMarkCounter whole;
    EXPECT_EQ(whole.Count(stream.data(), static_cast<uint32_t>(stream.size())), expected);
    TOverflowMarkCounter pieces;
    uint64_t counted = 0;
    for (size_t at = 0; at < stream.size();) {
        const size_t n = std::min<size_t>(stream.size() - at, random() % 40);
        counted += pieces.Count(stream.data() + at, static_cast<uint32_t>(n));
        at += n;
    }
    EXPECT_EQ(counted, expected);
}

// A medium that fills up during a recording: the file size limit of this process
// stands for the full disk (the write fails with EFBIG, as with ENOSPC).
TEST(RecordDurability, AFullMediumStopsSavingWithAMessageAndKeepsWhatWasWritten) {
    TempFolder folder;
    const std::string name = folder.File("full.rmd");
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct sigaction ignore {}, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &previous);
    constexpr rlim_t kLimit = 3 * (1u << 20) + 1000;  // not on a write boundary
    rlimit small = old;
    small.rlim_cur = kLimit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);

    e2e::ScriptedMessages messages;
    uint64_t appended = 0;
    {
        TVirtualScopeLyraRM scope;
        scope.SetMessageBoxService(&messages);
        scope.SetApplicationInitialized(true);
        scope.OpenRecordFile(name);
        scope.SetSavingActivated(true);
        ASSERT_NE(scope.ActualOutputStream(), nullptr);
        for (int i = 0; i < 400 && scope.SavingActivated(); ++i) {
            const auto words = CountWords(8192, appended);
            scope.AppendToRecordFile(words.data(), 8192);
            appended += 8192;
        }
        EXPECT_FALSE(scope.SavingActivated()) << "saving is switched off";
        EXPECT_TRUE(scope.RecordFileFailurePending());
        scope.ReportRecordFileFailure();
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0], strings::FormatText(strings::kRecordWriteFailed, name));
        EXPECT_EQ(scope.FileSize(), double(std::filesystem::file_size(name))) << "the count equals the file";
    }
    setrlimit(RLIMIT_FSIZE, &old);
    sigaction(SIGXFSZ, &previous, nullptr);

    const size_t size = std::filesystem::file_size(name);
    EXPECT_EQ(size % TRecordFileLyraRM::kPageBytes, 0u) << "cut back to the last whole write";
    EXPECT_GE(size, 3u << 20);
    EXPECT_LE(size, kLimit);
    const auto r = tools::CheckCountStream(name);
    EXPECT_TRUE(r.Lossless()) << r.error;
    EXPECT_FALSE(r.tornTail);
    EXPECT_EQ(r.samples * 2, size) << "every word written before the failure is there, in order";
}

// Root writes anywhere: the check runs in a child that gives up root first.
TEST(RecordDurability, AFolderWithoutWritePermissionGivesTheCreateMessage) {
    TempFolder folder;
    const auto locked = folder.Path() / "locked";
    std::filesystem::create_directory(locked);
    std::filesystem::permissions(locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                                             std::filesystem::perms::group_read | std::filesystem::perms::others_read |
                                             std::filesystem::perms::group_exec | std::filesystem::perms::others_exec);
    const std::string name = (locked / "x.rmd").string();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && setuid(65534) != 0) _exit(10);
        e2e::ScriptedMessages messages;
        TVirtualScopeLyraRM scope;
        scope.SetMessageBoxService(&messages);
        scope.SetApplicationInitialized(true);
        scope.OpenRecordFile(name);
        scope.SetSavingActivated(true);
        if (scope.SavingActivated()) _exit(11);
        if (messages.shown.size() != 1 || messages.shown[0] != strings::kCannotCreateFile) _exit(12);
        scope.ClearRecordFile();
        if (messages.shown.size() != 2 ||
            messages.shown[1] != strings::FormatText(strings::kCannotCreateFileNamed, name))
            _exit(13);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: no uid change, 11: still saving, 12/13: wrong message";
    EXPECT_FALSE(std::filesystem::exists(name));
}

}  // namespace
