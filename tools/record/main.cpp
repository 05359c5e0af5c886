// rollmode-record: a measurement saved to a record file without any window, the core
// wired as the main window wires it and the driver library loaded by name. Either
// uses the device folder in $ROLLMODE_DEVICE_DIR or starts its own simulated
// instrument (--spawn-sim). Reports the file, the overflow marks and the cost of
// keeping the file on the medium; --check reads a counting-pattern file back.
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "CountStreamCheck.h"
#include "HeadlessStack.h"
#include "RateTables.h"
#include "platform/ProgramPath.h"

extern char** environ;

using namespace rollmode;
using Steady = std::chrono::steady_clock;

namespace {

constexpr char kUsage[] = R"(rollmode-record: a measurement saved to a record file, no window

  --file PATH       the record file (appended to when it exists)
  --seconds N       how long to measure (10); 0: until killed
  --smp STEP        sampling step 0..15 (15 = 5,000,000 samples/s)
  --spawn-sim       start rollmode-sim (counting pattern) in a private device folder
  --fifo-depth N    the spawned simulator's FIFO depth in words
  --check PATH      check a counting-pattern record file word for word and exit
  --verify          start the file empty, check it word for word after the recording
                    (counting pattern) and delete it when the check passes
  --ready           print "recording" once saving runs
  --help            this text
Exit status: 0 done, 1 failure, 3 the check found lost or disordered samples.
)";

class AnswerNo final : public core::MessageBoxService {
public:
    core::MsgResult Show(const std::string& text, core::MsgButtons, core::MsgIcon) override {
        std::fprintf(stderr, "rollmode-record: box \"%s\": No\n", text.c_str());
        ++shown;
        return core::MsgResult::No;
    }
    int shown = 0;
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

}  // namespace

int main(int argc, char** argv) {
    std::string file, fifoDepth;
    double seconds = 10;
    int smp = 15;
    bool spawnSim = false, ready = false, verify = false;
    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        const bool hasValue = i + 1 < argc;
        if (opt == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (opt == "--check" && hasValue) {
            return Check(argv[++i]);
        } else if (opt == "--file" && hasValue) {
            file = argv[++i];
        } else if (opt == "--seconds" && hasValue) {
            seconds = std::atof(argv[++i]);
        } else if (opt == "--smp" && hasValue) {
            smp = std::atoi(argv[++i]);
        } else if (opt == "--fifo-depth" && hasValue) {
            fifoDepth = argv[++i];
        } else if (opt == "--spawn-sim") {
            spawnSim = true;
        } else if (opt == "--verify") {
            verify = true;
        } else if (opt == "--ready") {
            ready = true;
        } else {
            std::fprintf(stderr, "rollmode-record: bad option %s (see --help)\n", opt.c_str());
            return 2;
        }
    }
    if (file.empty()) {
        std::fprintf(stderr, "rollmode-record: --file is needed (see --help)\n");
        return 2;
    }

    if (verify) {
        // The check concerns this recording alone, not a file a failed run left.
        std::error_code ec;
        std::filesystem::remove(file, ec);
    }

    pid_t simPid = 0;
    std::filesystem::path folder;
    if (spawnSim) {
        char pattern[] = "/tmp/rmrecord-XXXXXX";
        if (!mkdtemp(pattern)) {
            std::perror("rollmode-record: mkdtemp");
            return 1;
        }
        folder = pattern;
        setenv("ROLLMODE_DEVICE_DIR", folder.c_str(), 1);
        std::vector<std::string> args = {(platform::ProgramDirectory() / "rollmode-sim").string(), "--dir",
                                         folder.string(), "--a", "count", "--b", "count"};
        if (!fifoDepth.empty()) args.insert(args.end(), {"--fifo-depth", fifoDepth});
        std::vector<char*> argvSim;
        for (auto& a : args) argvSim.push_back(a.data());
        argvSim.push_back(nullptr);
        if (posix_spawn(&simPid, argvSim[0], nullptr, nullptr, argvSim.data(), environ) != 0) {
            std::fprintf(stderr, "rollmode-record: cannot start %s\n", argvSim[0]);
            return 1;
        }
        const auto socket = folder / "710177AB-8588-4E5C-89EF-67E2A92E861E" / "unit00";
        for (int i = 0; i < 500 && !std::filesystem::exists(socket); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    int rc = 0;
    {
        AnswerNo boxes;
        tools::HeadlessStack stack(boxes);
        stack.Initialize(smp);
        if (!stack.driver.DeviceInitialized() || stack.driver.DemoMode()) {
            std::fprintf(stderr, "rollmode-record: the device did not come up\n");
            rc = 1;
        } else {
            stack.StartSaving(file);
            if (!stack.scope.SavingActivated()) {
                rc = 1;
            } else {
                const double cpu0 = CpuSeconds();
                stack.SetMeasurement(true);
                if (ready) {
                    std::printf("recording\n");
                    std::fflush(stdout);
                }
                const auto t0 = Steady::now();
                const auto end = t0 + std::chrono::duration<double>(seconds);
                stack.Serve([&] { return (seconds > 0 && Steady::now() >= end) || !stack.scope.SavingActivated(); }, -1);
                const double wall = std::chrono::duration<double>(Steady::now() - t0).count();
                const bool stillSaving = stack.scope.SavingActivated();
                stack.SetMeasurement(false);
                stack.Serve([] { return false; }, 100);
                const auto* stream = stack.scope.ActualOutputStream();
                const uint64_t syncs = stream ? stream->SyncCount() : 0;
                const double syncSeconds = stream ? stream->SyncSeconds() : 0;
                stack.Shutdown();
                const double cpu = CpuSeconds() - cpu0;
                const double rate = core::SamplesPerSecond(smp);
                std::printf("rate                 %.0f samples/s\n", rate);
                std::printf("wall time            %.2f s\n", wall);
                std::printf("file size            %.0f bytes\n", double(std::filesystem::file_size(file)));
                std::printf("lost data marks      %llu\n", (unsigned long long)stack.scope.LostDataMarks());
                std::printf("fdatasync            %llu calls, %.3f s in all, %.2f ms each\n",
                            (unsigned long long)syncs, syncSeconds, syncs ? syncSeconds * 1000 / double(syncs) : 0.0);
                std::printf("host CPU             %.3f s per s\n", wall > 0 ? cpu / wall : 0);
                if (!stillSaving) {
                    std::printf("saving stopped by a failure\n");
                    rc = 1;
                }
            }
        }
    }
    if (simPid > 0) {
        kill(simPid, SIGTERM);
        int status = 0;
        waitpid(simPid, &status, 0);
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    if (rc == 0 && verify) {
        rc = Check(file);
        if (rc == 0) std::filesystem::remove(file);
    }
    return rc;
}
