// rollmode-record as a user runs it: stopped by signals, set up from a settings file,
// failing with one message and status 1, reporting lost data with status 3, and never
// leaving its simulator or device folder behind, not even when it is killed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CountStreamCheck.h"
#include "RecordFileReader.h"
#include "ReliabilitySupport.h"
#include "platform/ProgramPath.h"

extern char** environ;

using namespace rollmode;
using namespace rollmode::reliability;

namespace {

// The recorder with its standard output on a pipe (read line by line) and its
// standard error in a file.
class Recorder {
public:
    // `ownGroup`: in a process group of its own, as a shell runs a foreground job.
    explicit Recorder(std::vector<std::string> args, const std::string& errFile, bool ownGroup = false) {
        args.insert(args.begin(), (platform::ProgramDirectory() / "rollmode-record").string());
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int fds[2];
        if (pipe(fds) != 0) return;
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        if (ownGroup) {
            posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
            posix_spawnattr_setpgroup(&attr, 0);
        }
        if (posix_spawn(&pid_, argv[0], &actions, &attr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawnattr_destroy(&attr);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        close(err);
        out_ = fdopen(fds[0], "r");
    }
    ~Recorder() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            Wait();
        }
        if (out_) std::fclose(out_);
    }

    // The next line of standard output without its end, or "" at its end.
    std::string Line() {
        char line[512];
        if (!out_ || !std::fgets(line, sizeof line, out_)) return "";
        std::string s = line;
        if (!s.empty() && s.back() == '\n') s.pop_back();
        return s;
    }
    std::string All() {
        std::string s;
        char buf[4096];
        std::size_t n;
        while (out_ && (n = std::fread(buf, 1, sizeof buf, out_)) > 0) s.append(buf, n);
        return s;
    }
    // Lines up to "recording"; the spawned simulator's pid and folder on the way.
    bool WaitRecording() {
        for (std::string s = Line(); !s.empty(); s = Line()) {
            if (s == "recording") return true;
            std::istringstream in(s);
            std::string word;
            if (in >> word && word == "simulator") in >> simPid >> simFolder;
        }
        return false;
    }
    void Signal(int sig) { kill(pid_, sig); }
    // What Ctrl+C at a terminal does: the signal to the whole foreground group.
    void SignalGroup(int sig) { kill(-pid_, sig); }
    // The wait status.
    int Wait() {
        int status = 0;
        if (pid_ > 0) waitpid(pid_, &status, 0);
        pid_ = -1;
        return status;
    }
    int ExitCode() {
        const int status = Wait();
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    pid_t simPid = -1;
    std::string simFolder;

private:
    pid_t pid_ = -1;
    FILE* out_ = nullptr;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A process that has ended, reaped or not.
bool Gone(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string pidText, name, state;
    if (!(stat >> pidText >> name >> state)) return true;
    return state == "Z";
}

bool GoneWithin(pid_t pid, const std::string& folder, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (Gone(pid) && !std::filesystem::exists(folder)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

struct Contents {
    std::vector<records::RecordItem> settings;
    uint64_t samples = 0;
    bool whole = false;
};

Contents Read(const std::string& path) {
    Contents c;
    records::TRecordFileReader reader;
    if (!reader.Open(path)) return c;
    records::RecordItem item;
    while (reader.Next(item)) {
        if (item.kind == records::RecordItem::Kind::Settings) c.settings.push_back(item);
        if (item.kind == records::RecordItem::Kind::Sample) ++c.samples;
    }
    c.whole = !reader.Failed();
    return c;
}

uint32_t LastArg32(const Contents& c, uint16_t code) {
    uint32_t v = 0;
    for (const auto& r : c.settings)
        if (r.code == code) v = r.Arg32();
    return v;
}

TEST(Recorder, StopSignalsEndTheMeasurementWithItsStopRecord) {
    TempFolder folder;
    // SIGINT, SIGTERM, and SIGINT to the process group (Ctrl+C), which must not reach the
    // simulator under the recorder before the recorder has stopped.
    for (const int variant : {SIGINT, SIGTERM, -SIGINT}) {
        const int sig = variant < 0 ? -variant : variant;
        const std::string file = folder.File("sig" + std::to_string(variant) + ".rmd");
        Recorder rec({"--spawn-sim", "--defaults", "--smp", "12", "--ready", "--file", file}, folder.File("err"),
                     variant < 0);
        ASSERT_TRUE(rec.WaitRecording()) << ReadAll(folder.File("err"));
        std::this_thread::sleep_for(std::chrono::milliseconds(1200));
        if (variant < 0)
            rec.SignalGroup(sig);
        else
            rec.Signal(sig);
        EXPECT_EQ(rec.ExitCode(), 0) << "signal " << variant << ": " << ReadAll(folder.File("err"));

        const Contents c = Read(file);
        ASSERT_TRUE(c.whole) << "signal " << variant;
        // One measurement: started, then stopped by the last record in the file.
        std::vector<uint16_t> starts;
        for (const auto& r : c.settings)
            if (r.code == records::recordcode::kMeasurement) starts.push_back(r.args[0]);
        EXPECT_EQ(starts, (std::vector<uint16_t>{1, 0})) << "signal " << variant;
        ASSERT_FALSE(c.settings.empty());
        EXPECT_EQ(c.settings.back().code, records::recordcode::kMeasurement) << "signal " << variant;
        EXPECT_GT(c.samples, 300000u) << "signal " << variant;  // 500,000 samples/s for about 1.2 s
        EXPECT_TRUE(tools::CheckCountStream(file).Lossless()) << "signal " << variant;
        // The live line, once a second.
        EXPECT_NE(ReadAll(folder.File("err")).find("overflow marks"), std::string::npos);
        EXPECT_TRUE(GoneWithin(rec.simPid, rec.simFolder, std::chrono::milliseconds(100)));
    }
}

TEST(Recorder, ASimulatorNeverOutlivesAKilledRecorder) {
    TempFolder folder;
    for (int i = 0; i < 3; ++i) {
        Recorder rec({"--spawn-sim", "--defaults", "--smp", "15", "--ready", "-q", "--file", folder.File("k.rmd")},
                     folder.File("err"));
        ASSERT_TRUE(rec.WaitRecording()) << ReadAll(folder.File("err"));
        ASSERT_GT(rec.simPid, 0);
        ASSERT_TRUE(std::filesystem::is_directory(rec.simFolder));
        std::this_thread::sleep_for(std::chrono::milliseconds(100 * i));
        rec.Signal(SIGKILL);
        EXPECT_EQ(rec.ExitCode(), 128 + SIGKILL);
        EXPECT_TRUE(GoneWithin(rec.simPid, rec.simFolder, std::chrono::seconds(3)))
            << "run " << i << ": simulator " << rec.simPid << " or " << rec.simFolder << " left";
    }
}

TEST(Recorder, TheSettingsFileSetsUpTheInstrumentAndRateOptionsOverrideIt) {
    TempFolder folder;
    const std::string ini = folder.File("mine.ini");
    {
        std::ofstream out(ini);
        out << "Inproper modification of this file may lead to SW malfunction\r\n"
            << std::string(61, '-') << "\r\n"
            << "DensityChannelA: 3\r\nDensityChannelB: 5\r\nSourceProbeB: 2\r\nSMPSetting: 8\r\nDSPSetting: 3\r\n";
    }
    const std::string file = folder.File("set.rmd");
    Recorder fromFile({"--spawn-sim", "--settings", ini, "--seconds", "0.3", "-q", "--file", file},
                      folder.File("err"));
    ASSERT_EQ(fromFile.ExitCode(), 0) << ReadAll(folder.File("err"));
    Contents c = Read(file);
    EXPECT_EQ(LastArg32(c, records::recordcode::kDeflectionA), 50u);    // probe 1, step 3
    EXPECT_EQ(LastArg32(c, records::recordcode::kDeflectionB), 2000u);  // probe 2, step 5
    EXPECT_EQ(LastArg32(c, records::recordcode::kSampleRate), 25000u);  // step 8

    std::filesystem::remove(file);
    Recorder withRate({"--spawn-sim", "--settings", ini, "--rate", "50k", "--seconds", "0.3", "-q", "--file", file},
                      folder.File("err"));
    ASSERT_EQ(withRate.ExitCode(), 0) << ReadAll(folder.File("err"));
    c = Read(file);
    EXPECT_EQ(LastArg32(c, records::recordcode::kSampleRate), 50000u);
    EXPECT_EQ(LastArg32(c, records::recordcode::kDeflectionA), 50u);
}

TEST(Recorder, EveryFailureIsOneMessageAndStatusOne) {
    TempFolder folder;
    const std::string err = folder.File("err");
    const std::string fifo = folder.File("pipe.rmd");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string badIni = folder.File("bad.ini");
    std::ofstream(badIni) << "TriggerLevelA: 1,5\n";
    e2e::TempDeviceFolder noDevice;

    struct Case {
        const char* what;
        std::vector<std::string> args;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"device file", {"--demo", "--defaults", "--file", "/dev/null"}, "not a regular file"},
        {"FIFO", {"--demo", "--defaults", "--file", fifo}, "not a regular file"},
        {"missing folder", {"--demo", "--defaults", "--file", folder.File("none/x.rmd")}, "cannot open"},
        {"missing settings", {"--demo", "--settings", folder.File("none.ini"), "--file", folder.File("a.rmd")},
         "is missing"},
        {"bad settings value", {"--demo", "--settings", badIni, "--file", folder.File("a.rmd")},
         "not a valid floating point value"},
        {"no instrument", {"--defaults", "--seconds", "1", "--file", folder.File("a.rmd")}, "no instrument"},
        {"unknown option", {"--frobnicate", "--file", folder.File("a.rmd")}, "unknown option"},
        {"no rate like it", {"--rate", "3M", "--file", folder.File("a.rmd")}, "no rate 3M"},
        {"no file", {"--demo"}, "no record file"},
    };
    for (const Case& k : cases) {
        Recorder rec(k.args, err);
        EXPECT_EQ(rec.ExitCode(), 1) << k.what;
        EXPECT_NE(ReadAll(err).find(k.message), std::string::npos) << k.what << ": " << ReadAll(err);
    }
    EXPECT_FALSE(std::filesystem::exists(folder.File("a.rmd")));
}

TEST(Recorder, ARecordFileRemovedDuringTheRecordingIsAFailureAndLeavesNothing) {
    TempFolder folder;
    const std::string file = folder.File("gone.rmd");
    Recorder rec({"--spawn-sim", "--defaults", "--smp", "10", "--seconds", "0.8", "--ready", "-q", "--file", file},
                 folder.File("err"));
    ASSERT_TRUE(rec.WaitRecording());
    std::filesystem::remove(file);
    EXPECT_EQ(rec.ExitCode(), 1);
    EXPECT_NE(ReadAll(folder.File("err")).find("vanished"), std::string::npos) << ReadAll(folder.File("err"));
    EXPECT_TRUE(GoneWithin(rec.simPid, rec.simFolder, std::chrono::milliseconds(100)));
}

TEST(Recorder, OverflowMarksMeanDataLostStatusThree) {
    TempFolder folder;
    // A FIFO of 64 words at 5,000,000 samples/s runs over between any two reads.
    Recorder rec({"--spawn-sim", "--defaults", "--smp", "15", "--fifo-depth", "64", "--seconds", "0.5", "-q", "--file",
                  folder.File("lost.rmd")},
                 folder.File("err"));
    EXPECT_EQ(rec.ExitCode(), 3) << ReadAll(folder.File("err"));
    EXPECT_NE(ReadAll(folder.File("err")).find("data lost"), std::string::npos);
    EXPECT_GT(tools::CheckCountStream(folder.File("lost.rmd")).overflowMarks, 0u);
}

TEST(Recorder, DemoRecordingAndHelp) {
    TempFolder folder;
    const std::string file = folder.File("demo.rmd");
    Recorder demo({"--demo", "--defaults", "--rate", "100k", "--seconds", "0.5", "-q", "--file", file},
                  folder.File("err"));
    ASSERT_EQ(demo.ExitCode(), 0) << ReadAll(folder.File("err"));
    const Contents c = Read(file);
    EXPECT_TRUE(c.whole);
    EXPECT_GT(c.samples, 20000u);
    EXPECT_EQ(LastArg32(c, records::recordcode::kSampleRate), 100000u);

    Recorder help({"--help"}, folder.File("err"));
    const std::string text = help.All();
    EXPECT_EQ(help.ExitCode(), 0);
    for (const char* part : {"Usage: rollmode-record", "Options:", "Testing options:", "Exit status:", "--settings",
                             "--rate", "--seconds", "--demo", "--spawn-sim"})
        EXPECT_NE(text.find(part), std::string::npos) << part;
}

}  // namespace
