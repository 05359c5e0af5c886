#include "RecorderOptions.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "RateTables.h"

namespace rollmode::tools {

const char kRecorderUsage[] = R"(Usage: rollmode-record [OPTION]... --file FILE
Record both channels of the instrument into a measurement record file, without a window.

The instrument is set up from the program's RollMode.ini (the file beside the program)
unless --settings names another file. The recording runs for --seconds or until
Ctrl+C (SIGINT) or SIGTERM; either ends the measurement with its stop record and
flushes the file. Once a second a line on standard error shows the elapsed time, the
samples and bytes recorded and the overflow marks (data the computer could not take
in time). An existing record file is appended to.

Options:
  -f, --file FILE       the record file (also as the last argument)
      --settings FILE   the settings file to use instead of RollMode.ini
      --rate RATE       samples per second, one of the instrument's rates: 50, 100, 250,
                        500, 1k, 2.5k, 5k, 10k, 25k, 50k, 100k, 250k, 500k, 1M, 2.5M, 5M
      --smp STEP        the sampling step 0..15 instead of --rate (15 is 5M)
      --seconds N       how long to record (decimals allowed); 0 or none: until stopped
      --demo            record the demo generator (the settings' periods, amplitudes
                        and noise) instead of the instrument
  -q, --quiet           no live line
  -h, --help            this text
      --version         the version

Testing options:
      --spawn-sim       start rollmode-sim (counting pattern on both channels) in a
                        private device folder; it ends with the recorder, even a killed one
      --fifo-depth N    the spawned simulator's FIFO depth in words
      --defaults        the model's initial settings, no settings file
      --verify          start the file empty, check it word for word after the
                        recording (counting pattern) and delete it when it passes
      --check FILE      check a counting-pattern record file word for word and exit
      --ready           print "recording" on standard output once saving runs
                        (after "simulator PID FOLDER" with --spawn-sim)

Exit status:
  0  the recording is complete
  1  failure: no instrument, a settings or record file that cannot be used, a
     write error, a bad option
  3  data lost: the recording holds overflow marks (or --verify/--check found lost
     or disordered samples)
)";

namespace {

bool ParseSeconds(const std::string& text, double& out) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(v) || v < 0) return false;
    out = v;
    return true;
}

bool ParseInt(const std::string& text, int& out) {
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, out);
    return !text.empty() && r.ec == std::errc() && r.ptr == end;
}

}  // namespace

std::optional<int> SmpStepOfRate(const std::string& text) {
    if (text.empty()) return std::nullopt;
    double scale = 1;
    std::string number = text;
    const char unit = text.back();
    if (unit == 'k' || unit == 'K') scale = 1e3;
    if (unit == 'M' || unit == 'm') scale = 1e6;
    if (scale != 1) number.pop_back();
    char* end = nullptr;
    const double v = std::strtod(number.c_str(), &end);
    if (number.empty() || *end != '\0' || !std::isfinite(v)) return std::nullopt;
    const double rate = v * scale;
    for (int step = 0; step < core::kSmpSteps; ++step)
        if (std::fabs(rate - core::kSamplesPerSecond[step]) < 1e-6) return step;
    return std::nullopt;
}

RecorderOptions ParseRecorderOptions(int argc, const char* const* argv) {
    RecorderOptions o;
    auto usage = [&o](std::string message) {
        o.action = RecorderOptions::Action::Usage;
        o.error = std::move(message);
        return o;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (opt == "-h" || opt == "--help") {
            o.action = RecorderOptions::Action::Help;
            return o;
        } else if (opt == "--version") {
            o.action = RecorderOptions::Action::Version;
            return o;
        } else if (opt == "--check") {
            if (!value(o.checkFile)) return usage("--check needs a file");
            o.action = RecorderOptions::Action::Check;
            return o;
        } else if (opt == "-f" || opt == "--file") {
            if (!value(o.file)) return usage(opt + " needs a file");
        } else if (opt == "--settings") {
            if (!value(o.settingsFile) || o.settingsFile.empty()) return usage("--settings needs a file");
            o.settingsGiven = true;
        } else if (opt == "--rate") {
            if (!value(v)) return usage("--rate needs a rate");
            o.smp = SmpStepOfRate(v);
            if (!o.smp) return usage("no rate " + v + " (see --help for the rates)");
        } else if (opt == "--smp") {
            int step = -1;
            if (!value(v) || !ParseInt(v, step) || step < 0 || step >= core::kSmpSteps)
                return usage("--smp needs a step 0..15");
            o.smp = step;
        } else if (opt == "--seconds") {
            if (!value(v) || !ParseSeconds(v, o.seconds)) return usage("--seconds needs a number of seconds");
        } else if (opt == "--demo") {
            o.demo = true;
        } else if (opt == "-q" || opt == "--quiet") {
            o.quiet = true;
        } else if (opt == "--spawn-sim") {
            o.spawnSim = true;
        } else if (opt == "--fifo-depth") {
            int depth = 0;
            if (!value(o.fifoDepth) || !ParseInt(o.fifoDepth, depth) || depth <= 0)
                return usage("--fifo-depth needs a number of words");
        } else if (opt == "--defaults") {
            o.defaults = true;
        } else if (opt == "--verify") {
            o.verify = true;
        } else if (opt == "--ready") {
            o.ready = true;
        } else if (!opt.empty() && opt[0] != '-' && o.file.empty() && i == argc - 1) {
            o.file = opt;
        } else {
            return usage("unknown option " + opt);
        }
    }
    if (o.file.empty()) return usage("no record file (--file FILE)");
    if (o.demo && o.spawnSim) return usage("--demo and --spawn-sim exclude each other");
    if (o.defaults && o.settingsGiven) return usage("--defaults and --settings exclude each other");
    return o;
}

}  // namespace rollmode::tools
