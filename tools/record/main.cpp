// rollmode-record: the instrument (or its demo generator) recorded into a record file
// without any window, the core wired as the main window wires it and the driver
// library loaded by name. Set up from the program's settings file; stops cleanly on
// SIGINT and SIGTERM. The testing options start a private simulated instrument and
// check counting-pattern files word for word.
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "CountStreamCheck.h"
#include "HeadlessStack.h"
#include "RateTables.h"
#include "RecorderOptions.h"
#include "ResourceStringsLyraRM.h"
#include "SettingsLyraRM.h"
#include "SpawnedSimulator.h"
#include "platform/ProgramPath.h"

using namespace rollmode;
using Steady = std::chrono::steady_clock;

namespace {

constexpr char kName[] = "rollmode-record";
constexpr char kDeviceSocket[] = "710177AB-8588-4E5C-89EF-67E2A92E861E/unit00";

std::atomic<bool> gStop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnStopSignal(int) { gStop.store(true, std::memory_order_relaxed); }

// Answers the core's message boxes on standard error. The only Yes goes to the
// missing driver library in demo mode, which is how the driver enters it.
class ConsoleBoxes final : public core::MessageBoxService {
public:
    explicit ConsoleBoxes(bool demo) : demo_(demo) {}
    core::MsgResult Show(const std::string& text, core::MsgButtons, core::MsgIcon) override {
        if (demo_ && text == strings::kDriverNotPresent) return core::MsgResult::Yes;
        std::fprintf(stderr, "%s: %s\n", kName, text.c_str());
        ++shown;
        return core::MsgResult::No;
    }
    int shown = 0;

private:
    bool demo_;
};

int Check(const std::string& path) {
    const tools::CountStreamReport r = tools::CheckCountStream(path);
    std::printf("bytes read           %llu%s\n", (unsigned long long)r.bytes, r.tornTail ? " (torn tail)" : "");
    std::printf("samples              %llu\n", (unsigned long long)r.samples);
    std::printf("settings records     %llu\n", (unsigned long long)r.settingsRecords);
    std::printf("overflow marks       %llu\n", (unsigned long long)r.overflowMarks);
    std::printf("order breaks         %llu\n", (unsigned long long)r.breaks);
    if (!r.error.empty()) {
        std::printf("malformed: %s\n", r.error.c_str());
        return 1;
    }
    return r.Lossless() ? 0 : 3;
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

void InstallStopHandlers() {
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

// Blocks the stop signals while the core's threads are created, so they inherit the
// block and only the main thread ever runs the handler.
class StopSignalsBlocked {
public:
    StopSignalsBlocked() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &set, &old_);
    }
    ~StopSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }

private:
    sigset_t old_;
};

struct FileIdentity {
    bool exists = false;
    bool regular = false;
    dev_t dev = 0;
    ino_t ino = 0;
};

FileIdentity Identify(const std::string& path) {
    FileIdentity id;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return id;
    id.exists = true;
    id.regular = S_ISREG(st.st_mode);
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    return id;
}

// The live line: on a terminal one line redrawn in place, otherwise a line a second.
class LiveLine {
public:
    explicit LiveLine(bool on) : on_(on), tty_(isatty(STDERR_FILENO) == 1) {}
    void Show(double seconds, double samples, double bytes, uint64_t marks) {
        if (!on_) return;
        const long s = static_cast<long>(seconds);
        char count[32], size[32];
        if (samples < 1e6)
            std::snprintf(count, sizeof count, "%.0f", samples);
        else
            std::snprintf(count, sizeof count, "%.1f M", samples / 1e6);
        if (bytes < 1e6)
            std::snprintf(size, sizeof size, "%.1f kB", bytes / 1e3);
        else
            std::snprintf(size, sizeof size, "%.1f MB", bytes / 1e6);
        std::fprintf(stderr, "%s%02ld:%02ld:%02ld  %s samples  %s  %llu overflow marks%s", tty_ ? "\r\033[K" : "",
                     s / 3600, s / 60 % 60, s % 60, count, size, static_cast<unsigned long long>(marks),
                     tty_ ? "" : "\n");
        shown_ = true;
    }
    // Ends the redrawn line before any other message.
    void Finish() {
        if (on_ && tty_ && shown_) std::fputc('\n', stderr);
        shown_ = false;
    }

private:
    bool on_, tty_;
    bool shown_ = false;
};

int Record(const tools::RecorderOptions& o) {
    // A device, a FIFO or a folder is no record file (a FIFO would also block the open).
    const FileIdentity before = Identify(o.file);
    if (before.exists && !before.regular) {
        std::fprintf(stderr, "%s: %s is not a regular file\n", kName, o.file.c_str());
        return 1;
    }
    if (o.verify) {
        // The check concerns this recording alone, not a file a failed run left.
        std::error_code ec;
        std::filesystem::remove(o.file, ec);
    }
    InstallStopHandlers();

    tools::SpawnedSimulator sim;
    if (o.spawnSim) {
        std::vector<std::string> args = {"--a", "count", "--b", "count"};
        if (!o.fifoDepth.empty()) args.insert(args.end(), {"--fifo-depth", o.fifoDepth});
        if (!sim.Start((platform::ProgramDirectory() / "rollmode-sim").string(), args, kDeviceSocket)) {
            std::fprintf(stderr, "%s: %s\n", kName, sim.Error().c_str());
            return 1;
        }
        setenv("ROLLMODE_DEVICE_DIR", sim.Folder().c_str(), 1);
        if (o.ready) std::printf("simulator %d %s\n", static_cast<int>(sim.SimulatorPid()), sim.Folder().c_str());
    }

    ConsoleBoxes boxes(o.demo);
    std::optional<tools::HeadlessStack> stackSlot;
    {
        StopSignalsBlocked blocked;
        stackSlot.emplace(boxes);
        tools::HeadlessStack& stack = *stackSlot;

        if (!o.defaults) {
            const std::string path = o.settingsGiven ? o.settingsFile
                                                     : (platform::ProgramDirectory() / "RollMode.ini").string();
            // Without a RollMode.ini the program starts from its initial settings, and so do we.
            std::error_code ec;
            if (o.settingsGiven || std::filesystem::exists(path, ec)) {
                controls::TSettingsLyraRM settings;
                settings.SetMessageBoxService(&boxes);
                settings.SetVirtualScope(&stack.scope);
                settings.LoadSettingsFile(path);
                settings.SetVirtualScope(nullptr);  // never written back: the file is the user's
                if (o.settingsGiven && boxes.shown > 0) return 1;
            }
        }
        // The recording's length is --seconds: no triggered or defined-length record.
        stack.scope.SetRecordTriggered(false);
        stack.scope.SetMeasurementDefined(false);
        // The demo generator runs when no driver library loads; a path that cannot
        // exist keeps an installed one out.
        if (o.demo) stack.driver.SetLibraryName("/nonexistent/rollmode-record-demo");
        stack.Initialize(core::ClampSmpStep(o.smp ? *o.smp : stack.scope.SMPSetting()));
    }
    tools::HeadlessStack& stack = *stackSlot;

    if (o.demo ? !stack.driver.DemoMode() : (!stack.driver.DeviceInitialized() || stack.driver.DemoMode())) {
        std::fprintf(stderr, "%s: %s\n", kName,
                     o.demo ? "the demo generator did not start" : "no instrument found (--demo records the demo generator)");
        return 1;
    }
    stack.StartSaving(o.file);
    if (!stack.scope.SavingActivated()) {
        std::fprintf(stderr, "%s: cannot open %s for recording\n", kName, o.file.c_str());
        return 1;
    }
    const FileIdentity opened = Identify(o.file);
    if (!opened.regular) {
        stack.Shutdown();
        std::fprintf(stderr, "%s: %s is not a regular file\n", kName, o.file.c_str());
        return 1;
    }

    const int smp = stack.scope.SMPSetting();
    const double startBytes = stack.scope.FileSize();
    const uint64_t startMarks = stack.scope.LostDataMarks();
    const double cpu0 = CpuSeconds();
    stack.SetMeasurement(true);
    if (o.ready) {
        std::printf("recording\n");
        std::fflush(stdout);
    }
    LiveLine live(!o.quiet);
    const auto t0 = Steady::now();
    const auto end = t0 + std::chrono::duration<double>(o.seconds);
    auto nextLine = t0 + std::chrono::seconds(1);
    auto done = [&] {
        return gStop.load(std::memory_order_relaxed) || (o.seconds > 0 && Steady::now() >= end) ||
               !stack.scope.SavingActivated();
    };
    while (!done()) {
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextLine - Steady::now());
        stack.Serve(done, wait.count() > 0 ? wait.count() : 0);
        if (Steady::now() >= nextLine) {
            nextLine += std::chrono::seconds(1);
            const double bytes = stack.scope.FileSize() - startBytes;
            // Words written; the few settings records among them do not show at this precision.
            live.Show(std::chrono::duration<double>(Steady::now() - t0).count(), bytes / 2, bytes,
                      stack.scope.LostDataMarks() - startMarks);
        }
    }
    const double wall = std::chrono::duration<double>(Steady::now() - t0).count();
    const bool stillSaving = stack.scope.SavingActivated();
    // The stop record reaches the file through the processing thread; closing writes and syncs it.
    stack.SetMeasurement(false);
    stack.Serve([] { return false; }, 100);
    const auto* stream = stack.scope.ActualOutputStream();
    const uint64_t syncs = stream ? stream->SyncCount() : 0;
    const double syncSeconds = stream ? stream->SyncSeconds() : 0;
    stack.Shutdown();
    live.Finish();
    const double cpu = CpuSeconds() - cpu0;
    const uint64_t marks = stack.scope.LostDataMarks() - startMarks;

    std::printf("rate                 %d samples/s\n", core::SamplesPerSecond(smp));
    std::printf("wall time            %.2f s\n", wall);
    std::printf("file size            %.0f bytes\n", stack.scope.FileSize());
    std::printf("lost data marks      %llu\n", (unsigned long long)marks);
    std::printf("fdatasync            %llu calls, %.3f s in all, %.2f ms each\n", (unsigned long long)syncs,
                syncSeconds, syncs ? syncSeconds * 1000 / double(syncs) : 0.0);
    std::printf("host CPU             %.3f s per s\n", wall > 0 ? cpu / wall : 0);
    std::fflush(stdout);

    const FileIdentity after = Identify(o.file);
    if (!after.exists || after.dev != opened.dev || after.ino != opened.ino) {
        std::fprintf(stderr, "%s: %s vanished during the recording (removed or replaced)\n", kName, o.file.c_str());
        return 1;
    }
    if (!stillSaving) {
        std::fprintf(stderr, "%s: saving stopped by a failure\n", kName);
        return 1;
    }
    if (marks > 0) {
        std::fprintf(stderr, "%s: data lost: %llu overflow marks in the recording\n", kName,
                     (unsigned long long)marks);
        return 3;
    }
    if (o.verify) {
        sim.Stop();
        const int rc = Check(o.file);
        if (rc == 0) std::filesystem::remove(o.file);
        return rc;
    }
    return 0;
}

int Run(int argc, char** argv) {
    const tools::RecorderOptions o = tools::ParseRecorderOptions(argc, argv);
    switch (o.action) {
        case tools::RecorderOptions::Action::Help:
            std::fputs(tools::kRecorderUsage, stdout);
            return 0;
        case tools::RecorderOptions::Action::Version:
            std::printf("%s (Corvo RollMode) %s\n", kName, ROLLMODE_VERSION);
            return 0;
        case tools::RecorderOptions::Action::Check:
            return Check(o.checkFile);
        case tools::RecorderOptions::Action::Usage:
            std::fprintf(stderr, "%s: %s (see --help)\n", kName, o.error.c_str());
            return 1;
        case tools::RecorderOptions::Action::Record:
            break;
    }
    return Record(o);
}

}  // namespace

int main(int argc, char** argv) {
    // No way out past the stack's and the simulator's destructors: every failure is a
    // message and status 1.
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", kName, e.what());
    } catch (...) {
        std::fprintf(stderr, "%s: unexpected failure\n", kName);
    }
    return 1;
}
