#include "RecordFileLyraRM.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "NotificationCodes.h"
#include "VirtualScopeLyraRM.h"
#include "ports/ValueSink.h"
#include "../support/fakedriver/ScriptedPorts.h"

using namespace rollmode::core;
namespace fs = std::filesystem;

namespace {

class SizeLabel final : public ValueSink {
public:
    double MainValue() const override { return value.load(); }
    void SetMainValue(double v) override {
        value.store(v);
        writes.fetch_add(1);
    }
    std::atomic<double> value{-1};
    std::atomic<int> writes{0};
};

class CodeListener final : public TNotificationHandler {
public:
    void HandleNotification(int32_t code, int32_t&) override { codes.push_back(code); }
    std::vector<int32_t> codes;
};

// A fresh folder per test, removed afterwards.
struct TempFolder {
    TempFolder() {
        std::string pattern = ::testing::TempDir() + "rmdXXXXXX";
        path = mkdtemp(pattern.data());
    }
    ~TempFolder() { fs::remove_all(path); }
    std::string File(const std::string& name) const { return (fs::path(path) / name).string(); }
    fs::path path;
};

void WriteBytes(const std::string& name, std::size_t bytes, char fill = 'x') {
    std::ofstream(name, std::ios::binary) << std::string(bytes, fill);
}

std::vector<uint16_t> ReadWords(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<uint16_t> words(bytes.size() / 2);
    std::memcpy(words.data(), bytes.data(), words.size() * 2);
    return words;
}

// The model as the record file sees it: start-up done, a size label, scripted boxes.
struct RecordRig {
    RecordRig() {
        scope.SetFileSizeLabel(&label);
        scope.SetMessageBoxService(&messages);
        scope.InitializeApplication();
    }
    void StartSaving(const std::string& name) {
        scope.OpenRecordFile(name);
        scope.SetSavingActivated(true);
    }
    std::vector<uint16_t> Run(std::size_t n, uint16_t word) { return std::vector<uint16_t>(n, word); }
    // A run as the processing thread hands it over; the record file may gather it.
    void AppendOnly(const std::vector<uint16_t>& run) {
        scope.AppendToRecordFile(run.data(), static_cast<uint32_t>(run.size()));
    }
    // A run followed by the processing thread's idle turn: it is in the file.
    void Append(const std::vector<uint16_t>& run) {
        AppendOnly(run);
        scope.FlushRecordFile();
    }

    TempFolder folder;
    SizeLabel label;
    fakedriver::ScriptedMessages messages;
    TVirtualScopeLyraRM scope;
};

}  // namespace

TEST(RecordFile, IndexFileNameReplacesAThreeCharacterExtensionOfTheFilesOwnName) {
    EXPECT_EQ(TVirtualScopeLyraRM::IndexFileName("sdata.rmd"), "sdata.ind");
    EXPECT_EQ(TVirtualScopeLyraRM::IndexFileName("/data/run 1.rmd"), "/data/run 1.ind");
    // Without such an extension, or with "ind" itself, the rule would name the record, its
    // folder's neighbour or a file elsewhere: ".ind" is appended instead.
    EXPECT_EQ(TVirtualScopeLyraRM::IndexFileName("wind"), "wind.ind");
    EXPECT_EQ(TVirtualScopeLyraRM::IndexFileName("ab"), "ab.ind");
    EXPECT_EQ(TVirtualScopeLyraRM::IndexFileName("x.ind"), "x.ind.ind");
    EXPECT_EQ(TVirtualScopeLyraRM::IndexFileName("d/x"), "d/x.ind");
    EXPECT_EQ(TVirtualScopeLyraRM::IndexFileName(""), ".ind");
}

// Recording to a name the old rule mapped onto the record itself kept nothing.
TEST(RecordFile, RecordingToWindKeepsTheOldRecordingAndDeletesOnlyItsOwnIndex) {
    RecordRig rig;
    const std::string name = rig.folder.File("wind");
    WriteBytes(name, 100);
    WriteBytes(rig.folder.File("wind.ind"), 10);
    rig.StartSaving(name);
    rig.Append(rig.Run(2, 0x5151));
    EXPECT_EQ(fs::file_size(name), 104u);
    EXPECT_FALSE(fs::exists(rig.folder.File("wind.ind")));
    EXPECT_TRUE(rig.messages.shown.empty());
}

TEST(RecordFile, OnlyARegularFileIsARecord) {
    RecordRig rig;
    rig.StartSaving("/dev/zero");
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].text, "/dev/zero is not a regular file. Saving is switched off.");
    EXPECT_FALSE(rig.scope.SavingActivated());
    EXPECT_EQ(rig.scope.ActualOutputStream(), nullptr);

    // A FIFO is refused at once instead of blocking the opening thread.
    RecordRig fifoRig;
    const std::string fifo = fifoRig.folder.File("pipe.rmd");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fifoRig.StartSaving(fifo);
    ASSERT_EQ(fifoRig.messages.shown.size(), 1u);
    EXPECT_EQ(fifoRig.messages.shown[0].text, fifo + " is not a regular file. Saving is switched off.");

    // A folder named as record file, and clearing a device, are refused as well.
    RecordRig folderRig;
    folderRig.StartSaving(folderRig.folder.path.string());
    ASSERT_EQ(folderRig.messages.shown.size(), 1u);
    EXPECT_FALSE(folderRig.scope.SavingActivated());
    TRecordFileLyraRM file;
    EXPECT_FALSE(file.CreateEmpty("/dev/null"));
    EXPECT_FALSE(file.IsOpen());
}

// A link planted where the new file is to be created is not followed and nothing is emptied.
TEST(RecordFile, ANewFileIsCreatedExclusivelyNotThroughALink) {
    TempFolder folder;
    const std::string victim = folder.File("victim.rmd");
    WriteBytes(victim, 64);
    const std::string dangling = folder.File("planted.rmd");
    fs::create_symlink(folder.File("not-yet.rmd"), dangling);
    TRecordFileLyraRM file;
    EXPECT_EQ(file.OpenForAppend(dangling), TRecordFileLyraRM::OpenOutcome::Failed);
    EXPECT_FALSE(fs::exists(folder.File("not-yet.rmd")));
    EXPECT_EQ(fs::file_size(victim), 64u);
}

TEST(RecordFile, SavingOnAppendsToAnExistingFileAndCountsItsSize) {
    RecordRig rig;
    const std::string name = rig.folder.File("sdata.rmd");
    WriteBytes(name, 1000);
    WriteBytes(rig.folder.File("sdata.ind"), 10);
    rig.StartSaving(name);
    ASSERT_NE(rig.scope.ActualOutputStream(), nullptr);
    EXPECT_DOUBLE_EQ(rig.scope.FileSize(), 1000.0);
    EXPECT_EQ(rig.label.writes.load(), 0) << "the label waits for the next written run";
    EXPECT_FALSE(fs::exists(rig.folder.File("sdata.ind"))) << "the viewer's index is stale once we append";

    rig.Append(rig.Run(512, 0x8080));
    EXPECT_EQ(fs::file_size(name), 2024u);
    EXPECT_DOUBLE_EQ(rig.scope.FileSize(), 2024.0);
    EXPECT_DOUBLE_EQ(rig.label.value.load(), 2024.0);

    // Off closes, on appends again at the end instead of truncating.
    rig.scope.SetSavingActivated(false);
    EXPECT_EQ(rig.scope.ActualOutputStream(), nullptr);
    rig.Append(rig.Run(10, 0x8080));
    EXPECT_EQ(fs::file_size(name), 2024u) << "nothing is written while saving is off";
    rig.scope.SetSavingActivated(true);
    rig.Append(rig.Run(4, 0x4141));
    EXPECT_EQ(fs::file_size(name), 2032u);
    EXPECT_DOUBLE_EQ(rig.scope.FileSize(), 2032.0);
    const std::vector<uint16_t> words = ReadWords(name);
    EXPECT_EQ(words[500], 0x8080);
    EXPECT_EQ(words.back(), 0x4141);
    EXPECT_TRUE(rig.messages.shown.empty());
}

TEST(RecordFile, MissingFileIsCreatedEmptyAndNothingOpensBeforeStartUpIsDone) {
    TempFolder folder;
    TVirtualScopeLyraRM scope;
    const std::string name = folder.File("new.rmd");
    scope.OpenRecordFile(name);
    scope.SetSavingActivated(true);  // start-up not finished: the name is only remembered
    EXPECT_EQ(scope.ActualOutputStream(), nullptr);
    EXPECT_FALSE(fs::exists(name));
    EXPECT_EQ(scope.RecordFileName(), name);

    scope.SetApplicationInitialized(true);
    scope.SetSavingActivated(true);
    ASSERT_NE(scope.ActualOutputStream(), nullptr);
    EXPECT_TRUE(fs::exists(name));
    EXPECT_EQ(fs::file_size(name), 0u);
    EXPECT_DOUBLE_EQ(scope.FileSize(), 0.0);
}

TEST(RecordFile, AFileThatCannotBeCreatedShowsTheMessageAndSwitchesSavingOff) {
    RecordRig rig;
    rig.StartSaving(rig.folder.File("no/such/folder/x.rmd"));
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].text, "Cannot create file ");
    EXPECT_EQ(rig.messages.shown[0].icon, MsgIcon::Error);
    EXPECT_FALSE(rig.scope.SavingActivated());
    EXPECT_EQ(rig.scope.ActualOutputStream(), nullptr);
}

TEST(RecordFile, AFileHeldByAnotherWriterIsNotShared) {
    RecordRig first, second;
    const std::string name = first.folder.File("shared.rmd");
    first.StartSaving(name);
    ASSERT_NE(first.scope.ActualOutputStream(), nullptr);
    first.Append(first.Run(8, 0x1111));
    second.StartSaving(name);
    EXPECT_EQ(second.scope.ActualOutputStream(), nullptr);
    ASSERT_EQ(second.messages.shown.size(), 1u);
    EXPECT_EQ(second.messages.shown[0].text, "Cannot create file ");
    EXPECT_EQ(fs::file_size(name), 16u) << "the refused creation did not empty the file";
}

TEST(RecordFile, ClearEmptiesTheFileKeepsItOpenAndLeavesTheIndex) {
    RecordRig rig;
    const std::string name = rig.folder.File("sdata.rmd");
    rig.StartSaving(name);
    rig.Append(rig.Run(100, 0x2222));
    rig.scope.SetSavingActivated(false);
    WriteBytes(rig.folder.File("sdata.ind"), 10);

    rig.scope.ClearRecordFile();
    EXPECT_EQ(fs::file_size(name), 0u);
    EXPECT_NE(rig.scope.ActualOutputStream(), nullptr) << "held open even with saving off";
    EXPECT_DOUBLE_EQ(rig.scope.FileSize(), 0.0);
    EXPECT_DOUBLE_EQ(rig.label.value.load(), 0.0) << "clearing shows the size at once";
    EXPECT_TRUE(fs::exists(rig.folder.File("sdata.ind")));
    rig.Append(rig.Run(10, 0x2222));
    EXPECT_EQ(fs::file_size(name), 0u) << "nothing is written until saving is switched on";

    rig.scope.SetSavingActivated(true);
    rig.Append(rig.Run(3, 0x3333));
    EXPECT_EQ(fs::file_size(name), 6u);
    EXPECT_DOUBLE_EQ(rig.scope.FileSize(), 6.0);
}

TEST(RecordFile, ClearThatCannotCreateShowsTheNameAndLeavesNothingOpen) {
    RecordRig rig;
    rig.StartSaving(rig.folder.File("ok.rmd"));
    rig.Append(rig.Run(10, 0x2222));
    const std::string bad = rig.folder.File("missing/x.rmd");
    rig.scope.SetSavingActivated(false);
    rig.scope.OpenRecordFile(bad);
    rig.scope.ClearRecordFile();
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].text, "Cannot create file " + bad);
    EXPECT_EQ(rig.scope.ActualOutputStream(), nullptr);
    EXPECT_DOUBLE_EQ(rig.scope.FileSize(), 0.0);
}

TEST(RecordFile, AnOddSizedFileIsCutBackToWholeWordsBeforeAppending) {
    RecordRig rig;
    const std::string name = rig.folder.File("torn.rmd");
    WriteBytes(name, 7);
    rig.StartSaving(name);
    EXPECT_DOUBLE_EQ(rig.scope.FileSize(), 6.0);
    rig.Append(rig.Run(1, 0x4242));
    EXPECT_EQ(fs::file_size(name), 8u);
    EXPECT_EQ(ReadWords(name).back(), 0x4242);
}

TEST(RecordFile, ASettingsRecordCutOffByACrashIsDroppedBeforeAppending) {
    RecordRig rig;
    const std::string name = rig.folder.File("cut.rmd");
    // A long recording whose last record lost its two last words: only the tail is read.
    std::vector<uint16_t> words(200000, 0x0A0B);
    words.insert(words.end(), {0, 6, 2, 2048});
    {
        std::ofstream out(name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(words.data()), static_cast<std::streamsize>(words.size() * 2));
    }
    rig.StartSaving(name);
    EXPECT_DOUBLE_EQ(rig.scope.FileSize(), 400000.0);
    rig.Append(rig.Run(3, 0x4242));
    const auto after = ReadWords(name);
    ASSERT_EQ(after.size(), 200003u);
    EXPECT_EQ(after[199999], 0x0A0B);
    EXPECT_EQ(after[200000], 0x4242);
}

TEST(RecordFile, RunsAreGatheredAndWrittenWhenTheBufferFillsOrTheOldestHasWaited) {
    RecordRig rig;
    const std::string name = rig.folder.File("gather.rmd");
    rig.StartSaving(name);
    rig.AppendOnly(rig.Run(10, 0x1212));
    EXPECT_DOUBLE_EQ(rig.scope.FileSize(), 20.0) << "counted and shown per run";
    EXPECT_DOUBLE_EQ(rig.label.value.load(), 20.0);
    EXPECT_EQ(fs::file_size(name), 0u) << "still gathered";
    std::this_thread::sleep_for(std::chrono::milliseconds(TRecordFileLyraRM::kMaxHoldMs + 10));
    rig.AppendOnly(rig.Run(5, 0x1313));
    EXPECT_EQ(fs::file_size(name), 30u) << "the oldest run had waited long enough";

    rig.AppendOnly(rig.Run(3, 0x1717));
    rig.scope.SetSavingActivated(false);  // closing writes what is gathered
    EXPECT_EQ(ReadWords(name), (std::vector<uint16_t>{0x1212, 0x1212, 0x1212, 0x1212, 0x1212, 0x1212, 0x1212, 0x1212,
                                                      0x1212, 0x1212, 0x1313, 0x1313, 0x1313, 0x1313, 0x1313, 0x1717,
                                                      0x1717, 0x1717}));
}

TEST(RecordFile, WritesEndOnBufferBoundariesOrAfterAWaitOnPageBoundaries) {
    TempFolder folder;
    const std::string name = folder.File("aligned.rmd");
    const std::size_t kB = TRecordFileLyraRM::kBufferBytes;
    const std::size_t bufferWords = kB / 2;
    int64_t counted = 0;
    const auto count = [&](int64_t delta) { counted += delta; };
    {
        TRecordFileLyraRM file(std::chrono::hours(1));  // nothing waits too long here
        WriteBytes(name, 30);  // an existing file of any size
        ASSERT_EQ(file.OpenForAppend(name), TRecordFileLyraRM::OpenOutcome::OpenedExisting);
        const std::vector<uint16_t> almost(bufferWords - 14, 0x1414), one(1, 0x1515), full(bufferWords, 0x1616);
        file.Append(almost.data(), static_cast<uint32_t>(almost.size()), count);
        EXPECT_EQ(fs::file_size(name), kB) << "filled up to the first 1 MiB boundary of the file";
        file.Append(one.data(), 1, count);
        EXPECT_EQ(fs::file_size(name), kB);
        file.Append(full.data(), static_cast<uint32_t>(full.size()), count);
        EXPECT_EQ(fs::file_size(name), 2 * kB);
        EXPECT_EQ(file.Size(), 30 + 2 * (bufferWords - 14) + 2 + kB);
        EXPECT_TRUE(file.Close());
    }
    EXPECT_EQ(fs::file_size(name), 30 + 2 * (bufferWords - 14) + 2 + kB);
    EXPECT_EQ(counted, static_cast<int64_t>(2 * (bufferWords - 14) + 2 + kB));
    {
        TRecordFileLyraRM file(std::chrono::milliseconds(0));  // every run has waited long enough
        ASSERT_EQ(file.OpenForAppend(name), TRecordFileLyraRM::OpenOutcome::OpenedExisting);
        const uint64_t start = fs::file_size(name);
        const std::vector<uint16_t> run(3000, 0x1717);
        file.Append(run.data(), 3000, count);
        const uint64_t end = start + 6000;
        EXPECT_EQ(fs::file_size(name), end - end % 4096) << "up to the last page boundary";
        const std::vector<uint16_t> tiny(2, 0x1818);
        file.Append(tiny.data(), 2, count);
        EXPECT_EQ(fs::file_size(name), end + 4) << "nothing below a page boundary: all of it";
    }
}

// Whole pages go past the cache, the rest through it; the two kinds of write meet without a
// gap or an overlap, whatever the runs' sizes and the existing file's length.
TEST(RecordFile, PagesWrittenPastTheCacheAndThroughItReadBackAsOneStream) {
    TempFolder folder;
    const std::string name = folder.File("direct.rmd");
    WriteBytes(name, 30, '\x01');
    std::vector<uint16_t> expected(15, 0x0101);
    uint16_t next = 0x0300;
    const auto run = [&](std::size_t n) {
        std::vector<uint16_t> words(n);
        for (auto& w : words) w = next++;
        expected.insert(expected.end(), words.begin(), words.end());
        return words;
    };
    const auto ignore = [](int64_t) {};
    uint64_t direct = 0;
    {
        TRecordFileLyraRM file(std::chrono::milliseconds(0));  // every append writes up to a page boundary
        ASSERT_EQ(file.OpenForAppend(name), TRecordFileLyraRM::OpenOutcome::OpenedExisting);
        for (const std::size_t n : {7u, 2048u, 100000u, 1u, 4093u, 300000u, 524288u, 3u, 70000u}) {
            const auto words = run(n);
            ASSERT_EQ(file.Append(words.data(), static_cast<uint32_t>(n), ignore), TRecordFileLyraRM::AppendOutcome::Written);
            if (n == 1u) {
                ASSERT_EQ(file.Flush(ignore), TRecordFileLyraRM::AppendOutcome::Written);  // an unaligned end
            }
        }
        direct = file.DirectBytes();
        EXPECT_EQ(direct % 4096, 0u);
        EXPECT_TRUE(file.Close());
    }
    EXPECT_EQ(ReadWords(name), expected);
    // Where the file system takes direct writes, most of the stream went that way.
    const int probe = ::open(name.c_str(), O_WRONLY | O_DIRECT | O_CLOEXEC);
    if (probe < 0) GTEST_SKIP() << "no direct writes on " << folder.path;
    ::close(probe);
    const uint64_t bytes = expected.size() * 2;
    EXPECT_GT(direct, bytes / 2) << "of " << bytes << " bytes";
}

TEST(RecordFile, AFailedAppendKeepsWholeRunsIsNotCountedStopsSavingAndIsReportedOnTheUiThread) {
    RecordRig rig;
    std::vector<std::function<void()>> posted;
    std::mutex postedMutex;
    rig.scope.SetUiPost([&](std::function<void()> fn) {
        std::lock_guard g(postedMutex);
        posted.push_back(std::move(fn));
    });
    CodeListener listener;
    rig.scope.RegisterListener(kGroupMainWindow, &listener, &listener);
    const std::string name = rig.folder.File("full.rmd");
    rig.StartSaving(name);
    rig.Append(rig.Run(100, 0x5151));

    // The medium fills up in the middle of the next run: 100 of its 200 bytes fit.
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 300;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::thread processing([&] {
        rig.AppendOnly(rig.Run(100, 0x5252));
        EXPECT_DOUBLE_EQ(rig.scope.FileSize(), 400.0) << "counted when handed over";
        rig.scope.FlushRecordFile();
    });
    processing.join();
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(fs::file_size(name), 200u) << "the torn run was cut off again";
    EXPECT_DOUBLE_EQ(rig.scope.FileSize(), 200.0) << "and taken back from the count";
    EXPECT_FALSE(rig.scope.SavingActivated());
    EXPECT_EQ(rig.scope.ActualOutputStream(), nullptr);
    EXPECT_TRUE(rig.messages.shown.empty()) << "the worker shows nothing itself";
    EXPECT_TRUE(rig.scope.RecordFileFailurePending());
    rig.Append(rig.Run(5, 0x5353));
    EXPECT_EQ(fs::file_size(name), 200u);
    const std::vector<uint16_t> words = ReadWords(name);
    EXPECT_EQ(words, std::vector<uint16_t>(100, 0x5151));

    ASSERT_EQ(posted.size(), 1u);
    posted[0]();  // the user-interface thread's turn
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].text, "Write to file " + name + " failed. Saving is switched off.");
    EXPECT_EQ(listener.codes, std::vector<int32_t>{kNotifySettingsChanged}) << "the Save button comes up";
    EXPECT_FALSE(rig.scope.RecordFileFailurePending());
    rig.scope.ReportRecordFileFailure();
    EXPECT_EQ(rig.messages.shown.size(), 1u) << "reported once";

    // Saving can be switched on again: the file still has its whole runs.
    rig.scope.SetSavingActivated(true);
    EXPECT_DOUBLE_EQ(rig.scope.FileSize(), 200.0);
    rig.scope.UnregisterListener(&listener, &listener);
}

TEST(RecordFile, OpenClearAndCloseNeverCutIntoARunThatIsBeingAppended) {
    RecordRig rig;
    const std::string name = rig.folder.File("busy.rmd");
    rig.StartSaving(name);
    constexpr std::size_t kRun = 100;
    std::atomic<bool> stop{false};
    std::thread processing([&] {
        const std::vector<uint16_t> run(kRun, 0x6363);
        while (!stop.load()) rig.scope.AppendToRecordFile(run.data(), kRun);
    });
    for (int i = 0; i < 300; ++i) {
        switch (i % 3) {
            case 0: rig.scope.SetSavingActivated(true); break;
            case 1: rig.scope.OpenRecordFile(name); break;
            default: rig.scope.ClearRecordFile(); break;
        }
        if (i % 3 != 2) rig.scope.SetSavingActivated(true);
        std::this_thread::yield();
    }
    rig.scope.SetSavingActivated(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stop.store(true);
    processing.join();
    const double counted = rig.scope.FileSize();
    rig.scope.CloseRecordFile();
    const auto size = fs::file_size(name);
    EXPECT_EQ(size % (kRun * 2), 0u) << "only whole runs reach the file";
    EXPECT_DOUBLE_EQ(counted, static_cast<double>(size)) << "the counter matches the file";
    EXPECT_TRUE(rig.messages.shown.empty());
}

TEST(RecordFile, AWriteThatFailsWhenTheFileIsClosedIsReportedToo) {
    RecordRig rig;
    int posts = 0;
    rig.scope.SetUiPost([&](std::function<void()>) { ++posts; });
    const std::string name = rig.folder.File("closing.rmd");
    rig.StartSaving(name);
    rig.AppendOnly(rig.Run(200, 0x7171));  // gathered, not yet written
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    rig.scope.OpenRecordFile(name);  // closes, which writes the gathered run
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(fs::file_size(name), 0u);
    EXPECT_FALSE(rig.scope.SavingActivated()) << "not reopened on a failing medium";
    EXPECT_EQ(rig.scope.ActualOutputStream(), nullptr);
    EXPECT_TRUE(rig.scope.RecordFileFailurePending());
    EXPECT_EQ(posts, 1);
}
