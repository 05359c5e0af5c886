// rollmode-soak: the simulated instrument as its own process and the driver library loaded by
// name, read as the acquisition thread reads, for a while at a chosen rate. Reports the samples
// received, the overflow marks in the stream and the CPU time each process spent per second of
// signal.
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/ProcessStats.h"
#include "RateTables.h"
#include "VirtualDriverLyraRM.h"
#include "platform/ProgramPath.h"
#include "sim/Instrument.h"

extern char** environ;

using namespace rollmode;
using Steady = std::chrono::steady_clock;

namespace {

constexpr char kUsage[] = R"(rollmode-soak: stream from rollmode-sim through PeltaRMDrv and brask

  --seconds N      how long to read (60)
  --smp STEP       sampling step 0..15 (15 = 5,000,000 samples/s)
  --count          counting pattern on both channels, and check the order of every sample
  --fifo-depth N   the simulated FIFO depth in words (the simulator's default)
  --sim PATH       the simulator program (rollmode-sim beside this program)
  --help           this text
)";

double Seconds(const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; }

struct Options {
    double seconds = 60;
    int smp = 15;
    bool count = false;
    std::string fifoDepth;
    std::filesystem::path sim;
};

class NoBoxes final : public core::MessageBoxService {
public:
    core::MsgResult Show(const std::string& text, core::MsgButtons, core::MsgIcon) override {
        std::fprintf(stderr, "rollmode-soak: box \"%s\": No\n", text.c_str());
        return core::MsgResult::No;
    }
};

}  // namespace

int main(int argc, char** argv) {
    Options o;
    o.sim = platform::ProgramDirectory() / "rollmode-sim";
    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        const bool hasValue = i + 1 < argc;
        if (opt == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (opt == "--count") {
            o.count = true;
        } else if (opt == "--seconds" && hasValue) {
            o.seconds = std::atof(argv[++i]);
        } else if (opt == "--smp" && hasValue) {
            o.smp = std::atoi(argv[++i]);
        } else if (opt == "--fifo-depth" && hasValue) {
            o.fifoDepth = argv[++i];
        } else if (opt == "--sim" && hasValue) {
            o.sim = argv[++i];
        } else {
            std::fprintf(stderr, "rollmode-soak: bad option %s (see --help)\n", opt.c_str());
            return 2;
        }
    }

    char pattern[] = "/tmp/rmsoak-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("rollmode-soak: mkdtemp");
        return 1;
    }
    const std::filesystem::path folder = pattern;
    setenv("ROLLMODE_DEVICE_DIR", folder.c_str(), 1);

    std::vector<std::string> args = {o.sim.string(), "--dir", folder.string()};
    if (o.count) args.insert(args.end(), {"--a", "count", "--b", "count"});
    if (!o.fifoDepth.empty()) args.insert(args.end(), {"--fifo-depth", o.fifoDepth});
    std::vector<char*> argvSim;
    for (auto& a : args) argvSim.push_back(a.data());
    argvSim.push_back(nullptr);
    pid_t simPid = 0;
    if (posix_spawn(&simPid, argvSim[0], nullptr, nullptr, argvSim.data(), environ) != 0) {
        std::fprintf(stderr, "rollmode-soak: cannot start %s\n", argvSim[0]);
        return 1;
    }
    // Ready once its socket is there.
    const auto socket = folder / "710177AB-8588-4E5C-89EF-67E2A92E861E" / "unit00";
    for (int i = 0; i < 500 && !std::filesystem::exists(socket); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    int rc = 0;
    {
        NoBoxes boxes;
        core::TVirtualDriverLyraRM driver(&boxes);
        driver.OpenDevice();
        if (!driver.DeviceInitialized()) {
            std::fprintf(stderr, "rollmode-soak: the device did not come up\n");
            rc = 1;
        } else {
            driver.SetForceSettings(true);
            driver.SetRecordFree(true);
            driver.SetSMPSetting(o.smp);
            driver.SetSourceProbeA(1);
            driver.SetSourceProbeB(1);
            driver.SetVerticalLevelChannelA(2110);
            driver.SetVerticalLevelChannelB(2110);
            driver.SetDensityChannelA(6);
            driver.SetDensityChannelB(6);
            driver.SetSourceACDC_A(true);
            driver.SetSourceACDC_B(true);
            driver.SetForceSettings(false);

            std::vector<uint16_t> buffer(core::TVirtualDriverLyraRM::kReadBufferWords);
            uint64_t samples = 0, overflowMarks = 0, reads = 0, emptyReads = 0, orderBreaks = 0;
            uint32_t maxBlock = 0;
            // Longest time from one read's start to the next: the FIFO must bridge it.
            double maxGapMs = 0;
            uint64_t gapsOver20Ms = 0;
            auto previous = Steady::now();
            int last = -1;
            rusage self0{}, self1{};
            getrusage(RUSAGE_SELF, &self0);
            const double sim0 = rollmode::platform::ProcessCpuSeconds(std::to_string(simPid));
            driver.SetMeasurementStarted(true);
            const auto t0 = Steady::now();
            const auto end = t0 + std::chrono::duration<double>(o.seconds);
            while (Steady::now() < end && !driver.USBFailed()) {
                uint32_t n = 0;
                const auto started = Steady::now();
                const double gapMs = std::chrono::duration<double, std::milli>(started - previous).count();
                previous = started;
                if (reads > 0) {
                    maxGapMs = std::max(maxGapMs, gapMs);
                    gapsOver20Ms += gapMs > 20;
                }
                driver.ReadData(buffer.data(), n);
                ++reads;
                if (n > maxBlock) maxBlock = n;
                if (n == 0) {
                    ++emptyReads;
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));  // as the acquisition thread
                    continue;
                }
                for (uint32_t i = 0; i < n; ++i) {
                    const uint16_t w = buffer[i];
                    if (w == 1) {
                        ++overflowMarks;
                        last = -1;
                        continue;
                    }
                    if (w <= 2) continue;
                    ++samples;
                    if (o.count) {
                        const int a = w & 0xFF;
                        if (last >= 0 && a != 1 + last % 255) ++orderBreaks;
                        last = a;
                    }
                }
            }
            const double wall = std::chrono::duration<double>(Steady::now() - t0).count();
            driver.SetMeasurementStarted(false);
            getrusage(RUSAGE_SELF, &self1);
            const double sim1 = rollmode::platform::ProcessCpuSeconds(std::to_string(simPid));
            const double rate = core::SamplesPerSecond(o.smp);
            const double signalSeconds = double(samples) / rate;
            const double hostCpu = Seconds(self1.ru_utime) - Seconds(self0.ru_utime) + Seconds(self1.ru_stime) -
                                   Seconds(self0.ru_stime);
            std::printf("rate                 %.0f samples/s\n", rate);
            std::printf("wall time            %.2f s\n", wall);
            std::printf("samples received     %llu (%.4f of rate x time)\n", (unsigned long long)samples,
                        double(samples) / (rate * wall));
            std::printf("overflow marks       %llu\n", (unsigned long long)overflowMarks);
            if (o.count) std::printf("order breaks         %llu\n", (unsigned long long)orderBreaks);
            std::printf("reads                %llu (%llu empty, largest %u words)\n", (unsigned long long)reads,
                        (unsigned long long)emptyReads, maxBlock);
            std::printf("longest read gap     %.1f ms (%llu gaps over 20 ms; the FIFO holds %.1f ms)\n", maxGapMs,
                        (unsigned long long)gapsOver20Ms, (o.fifoDepth.empty() ? double(sim::InstrumentConfig{}.fifoDepth) : std::atof(o.fifoDepth.c_str())) / rate * 1000);
            std::printf("host CPU             %.3f s per s of signal\n", signalSeconds > 0 ? hostCpu / signalSeconds : 0);
            std::printf("simulator CPU        %.3f s per s of signal\n",
                        signalSeconds > 0 && sim0 >= 0 ? (sim1 - sim0) / signalSeconds : 0);
            if (driver.USBFailed()) {
                std::printf("USB failure during the run\n");
                rc = 1;
            }
            if (overflowMarks > 0 || orderBreaks > 0) rc = 3;
        }
    }
    kill(simPid, SIGTERM);
    int status = 0;
    waitpid(simPid, &status, 0);
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return rc;
}
