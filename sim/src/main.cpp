// rollmode-sim: the simulated instrument as a process of its own.
#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "sim/Simulator.h"

using namespace rollmode::sim;

namespace {

constexpr char kUsage[] = R"(Usage: rollmode-sim [options]

Publishes a simulated instrument (and optionally units of the multi-device family)
as device sockets and serves them until interrupted.

  --dir PATH              device folder (default $ROLLMODE_DEVICE_DIR, else
                          $XDG_RUNTIME_DIR/rollmode-devices, else /tmp/rollmode-devices-<uid>)
  --a SHAPE, --b SHAPE    signal of channel A / B: sine, square, ramp, noise, dc, count
  --a-freq HZ             frequency (default A 1, B 0.5)        likewise --b-freq
  --a-amp VOLTS           peak amplitude, level of dc (A 0.5, B 0.2)  --b-amp
  --a-offset VOLTS        DC offset, removed by AC coupling (0)  --b-offset
  --a-noise VOLTS         added Gaussian noise, rms (0)          --b-noise
  --ext-arm VALUE         external ARM input: 0, 1, or a square-wave frequency in Hz
  --serial N              serial number in the calibration block (20261207)
  --broken-calibration    store the calibration block with a wrong checksum
  --fifo-depth WORDS      hardware FIFO depth in sample words (1048576)
  --packet-size BYTES     packet size the driver reports (64)
  --vanish-after SECONDS  remove the devices after this time, as if unplugged, and exit
  --log FILE              log every request received
  --tolv N                publish N multi-device units with identifiers 1..N
  --tolv-ids ID,ID,...    publish multi-device units with these identifiers
  --no-brask              do not publish the single-device unit
  --seed N                random seed for noise (1)
  --stats FILE            at exit, write the sample words delivered and the overflows
  --help                  this text
)";

std::optional<SignalShape> ParseShape(std::string_view s) {
    if (s == "sine") return SignalShape::Sine;
    if (s == "square") return SignalShape::Square;
    if (s == "ramp") return SignalShape::Ramp;
    if (s == "noise") return SignalShape::Noise;
    if (s == "dc") return SignalShape::Dc;
    if (s == "count") return SignalShape::Count;
    return std::nullopt;
}

bool ParseDouble(const char* s, double& out) {
    char* end = nullptr;
    out = std::strtod(s, &end);
    return end != s && *end == '\0';
}

bool ParseUnsigned(const char* s, uint64_t& out) {
    char* end = nullptr;
    out = std::strtoull(s, &end, 0);
    return end != s && *end == '\0' && s[0] != '-';
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "rollmode-sim: %s (see --help)\n", message.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    SimulatorConfig config;
    double vanishAfter = 0;
    std::string statsFile;
    for (int i = 1; i < argc; ++i) {
        const std::string_view opt = argv[i];
        if (opt == "--help" || opt == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (opt == "--broken-calibration") {
            config.instrument.validCalibration = false;
            continue;
        }
        if (opt == "--no-brask") {
            config.publishSingleDevice = false;
            continue;
        }
        if (i + 1 >= argc) return Fail("missing value after " + std::string(opt));
        const char* value = argv[++i];
        double d = 0;
        uint64_t u = 0;
        const auto channelOption = [&](std::string_view name) -> int {
            if (opt.size() < 3 || (opt[2] != 'a' && opt[2] != 'b')) return -1;
            const int ch = opt[2] == 'a' ? 0 : 1;
            return opt.substr(3) == name ? ch : -1;
        };
        if (int ch = channelOption(""); ch >= 0) {
            const auto shape = ParseShape(value);
            if (!shape) return Fail("unknown signal shape " + std::string(value));
            config.instrument.channels[ch].shape = *shape;
        } else if (int ch = channelOption("-freq"); ch >= 0) {
            if (!ParseDouble(value, d) || d < 0) return Fail("bad frequency " + std::string(value));
            config.instrument.channels[ch].frequency = d;
        } else if (int ch = channelOption("-amp"); ch >= 0) {
            if (!ParseDouble(value, d)) return Fail("bad amplitude " + std::string(value));
            config.instrument.channels[ch].amplitude = d;
        } else if (int ch = channelOption("-offset"); ch >= 0) {
            if (!ParseDouble(value, d)) return Fail("bad offset " + std::string(value));
            config.instrument.channels[ch].offset = d;
        } else if (int ch = channelOption("-noise"); ch >= 0) {
            if (!ParseDouble(value, d) || d < 0) return Fail("bad noise " + std::string(value));
            config.instrument.channels[ch].noise = d;
        } else if (opt == "--dir") {
            config.deviceFolder = value;
        } else if (opt == "--ext-arm") {
            if (!ParseDouble(value, d) || d < 0) return Fail("bad external ARM input " + std::string(value));
            if (std::string_view(value) == "0" || std::string_view(value) == "1") config.instrument.externalArm.level = d != 0;
            else config.instrument.externalArm.frequency = d;
        } else if (opt == "--serial") {
            if (!ParseUnsigned(value, u) || u > 0xFFFFFFFFu) return Fail("bad serial number");
            config.instrument.serial = static_cast<uint32_t>(u);
        } else if (opt == "--fifo-depth") {
            if (!ParseUnsigned(value, u) || u < 2 || u > (1u << 30)) return Fail("bad FIFO depth");
            config.instrument.fifoDepth = static_cast<uint32_t>(u);
        } else if (opt == "--packet-size") {
            if (!ParseUnsigned(value, u) || u < 1 || u > 65535) return Fail("bad packet size");
            config.instrument.packetSize = static_cast<uint16_t>(u);
        } else if (opt == "--vanish-after") {
            if (!ParseDouble(value, d) || d <= 0) return Fail("bad time");
            vanishAfter = d;
        } else if (opt == "--log") {
            config.logFile = value;
        } else if (opt == "--tolv") {
            if (!ParseUnsigned(value, u) || u > 64) return Fail("bad unit count");
            for (uint32_t id = 1; id <= u; ++id) config.multiDeviceIds.push_back(id);
        } else if (opt == "--tolv-ids") {
            std::string list = value;
            size_t start = 0;
            while (start <= list.size()) {
                const size_t comma = std::min(list.find(',', start), list.size());
                const std::string item = list.substr(start, comma - start);
                if (!ParseUnsigned(item.c_str(), u) || u == 0 || u > 0xFFFFFFFFu) return Fail("bad identifier " + item);
                config.multiDeviceIds.push_back(static_cast<uint32_t>(u));
                start = comma + 1;
            }
        } else if (opt == "--stats") {
            statsFile = value;
        } else if (opt == "--seed") {
            if (!ParseUnsigned(value, u)) return Fail("bad seed");
            config.instrument.seed = u;
        } else {
            return Fail("unknown option " + std::string(opt));
        }
    }

    // The quit signals are taken by sigwait below, not by a handler: every thread inherits the
    // mask, and the main thread sleeps until a signal or the vanishing time instead of polling.
    sigset_t quit;
    sigemptyset(&quit);
    sigaddset(&quit, SIGINT);
    sigaddset(&quit, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &quit, nullptr);
    Simulator sim(config);
    if (!sim.Start()) {
        std::fprintf(stderr, "rollmode-sim: %s\n", sim.Error().c_str());
        return 1;
    }
    std::fprintf(stderr, "rollmode-sim: serving in %s\n", sim.DeviceFolder().c_str());
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        if (vanishAfter <= 0) {
            int signal = 0;
            if (sigwait(&quit, &signal) == 0) break;
            continue;
        }
        const double left = vanishAfter - std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (left <= 0) {
            std::fprintf(stderr, "rollmode-sim: vanishing\n");
            break;
        }
        const auto whole = static_cast<time_t>(left);
        const timespec timeout{whole, static_cast<long>((left - double(whole)) * 1e9)};
        if (sigtimedwait(&quit, nullptr, &timeout) > 0) break;
    }
    if (!statsFile.empty() && config.publishSingleDevice) {
        if (std::FILE* f = std::fopen(statsFile.c_str(), "w")) {
            std::fprintf(f, "delivered_samples %llu\noverflows %u\n",
                         static_cast<unsigned long long>(sim.SingleDevice().DeliveredSamples()),
                         sim.SingleDevice().Overflows());
            std::fclose(f);
        } else {
            std::fprintf(stderr, "rollmode-sim: cannot write %s\n", statsFile.c_str());
        }
    }
    sim.Vanish();
    return 0;
}
