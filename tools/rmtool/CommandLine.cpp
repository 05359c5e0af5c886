#include "CommandLine.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#ifndef ROLLMODE_VERSION
#define ROLLMODE_VERSION "0"
#endif

namespace rollmode::rmtool {

namespace {

struct CommandInfo {
    const char* name;
    Command command;
    const char* synopsis;
    const char* text;
};

// The registry: parsing, `help` and the manual all read it.
constexpr std::array<CommandInfo, 5> kCommands{{
    {"info", Command::Info, "info [--json] FILE",
     "Prints what the record file holds: for each measurement its duration, rates,\n"
     "sample count, settings records, overflow marks, not-armed instants and each\n"
     "channel's range in millivolts; then the totals and the file size. With --json\n"
     "the same as one JSON object, keys always in the same order.\n"},
    {"check", Command::Check, "check FILE",
     "Reads the file's structure to the end. Exit status 0 when it is whole, 1 at a\n"
     "malformed item (its byte offset and what is wrong are printed), 2 when only\n"
     "the tail is cut short, as a crash leaves it (how many bytes).\n"},
    {"dump", Command::Dump, "dump [-r] [-s N] FILE",
     "Prints a summary: sizes, item counts, records by code, measurements, duration\n"
     "and the settings in force at the end. -r adds every settings record with its\n"
     "byte offset and time, -s N the first N samples of both channels in millivolts.\n"},
    {"export", Command::Export,
     "export --format csv|wav|hdf5 [--measurement N] [--from S] [--to S] -o OUT FILE",
     "Writes the samples to OUT. Time is in seconds since the start of the\n"
     "measurement (every sample and not-armed instant advances it by 1/rate;\n"
     "an overflow mark does not); millivolts are (code - zero code) x mV per\n"
     "division / 32 with the settings in force. Measurement N starts at the N-th\n"
     "start record; what comes before the first is measurement 0.\n"
     "  csv   measurement,time_s,a_mV,b_mV: one row per sample; an empty field where\n"
     "        a value is not yet known. --every N keeps every N-th row.\n"
     "  wav   two channels of 32-bit float volts at the recorded rate (not-armed\n"
     "        instants are 0). One file per stretch of constant rate without\n"
     "        overflow marks: OUT-m<N>-<K>.wav when there are several; RF64 above\n"
     "        4 GB.\n"
     "  hdf5  group m<N> per measurement, sub-group s<K> per stretch of constant\n"
     "        settings, each with a dataset codes (N x 2 uint8; 0, 0 = not armed) and the\n"
     "        attributes start_s, rate_hz, zero_code and mv_per_code; --mv writes\n"
     "        float32 a_mV and b_mV instead; --deflate L compresses (1..9).\n"},
    {"stats", Command::Stats, "stats --window S [--measurement N] [--from S] [--to S] -o OUT.csv FILE",
     "Writes one CSV row per window of S seconds of each measurement: the counts of\n"
     "samples, not-armed instants and overflow marks, and for each channel the\n"
     "minimum, maximum, mean and RMS in millivolts.\n"},
}};

const CommandInfo* FindCommand(const std::string& name) {
    for (const CommandInfo& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

std::string CommandName(Command command) {
    for (const CommandInfo& c : kCommands)
        if (c.command == command) return c.name;
    return "";
}

bool ParseCount(const std::string& text, uint64_t& value) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return false;
    value = v;
    return true;
}

// Seconds as picoseconds; rejects negative, non-finite and absurdly large values.
bool ParseSeconds(const std::string& text, uint64_t& ps) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double s = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(s) || s < 0 || s > 1.0e7) return false;
    ps = static_cast<uint64_t>(std::llround(s * 1.0e12));
    return true;
}

}  // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
    ParseResult r;
    Options& o = r.options;
    auto fail = [&](std::string message) {
        r.error = std::move(message);
        return r;
    };
    std::vector<std::string> files;
    bool fromSet = false, toSet = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) return false;
            into = args[++i];
            return true;
        };
        std::string v;
        if (a == "-h" || a == "--help") {
            if (o.command != Command::None && o.command != Command::Help) o.helpTopic = CommandName(o.command);
            o.command = Command::Help;
            return r;
        }
        if (a == "--version") {
            o.command = Command::Version;
            return r;
        }
        if (a == "--progress") { o.progress = Progress::On; continue; }
        if (a == "--no-progress") { o.progress = Progress::Off; continue; }
        if (o.command == Command::None) {
            if (a == "help") {
                o.command = Command::Help;
                if (i + 1 < args.size()) o.helpTopic = args[++i];
                if (!o.helpTopic.empty() && FindCommand(o.helpTopic) == nullptr)
                    return fail("no command " + o.helpTopic + " (rmtool --help lists them)");
                if (i + 1 < args.size()) return fail("help takes one command name");
                return r;
            }
            const CommandInfo* c = FindCommand(a);
            if (c == nullptr)
                return fail(a.starts_with("-") ? "unknown option " + a + " before the command"
                                               : "unknown command " + a + " (rmtool --help lists them)");
            o.command = c->command;
            continue;
        }
        const Command cmd = o.command;
        const bool exporting = cmd == Command::Export || cmd == Command::Stats;
        if (a == "--json" && cmd == Command::Info) {
            o.json = true;
        } else if (a == "-r" && cmd == Command::Dump) {
            o.records = true;
        } else if (a == "-s" && cmd == Command::Dump) {
            if (!value(v) || !ParseCount(v, o.showSamples)) return fail("-s needs a number of samples");
        } else if ((a == "-o" || a == "--output") && exporting) {
            if (!value(o.output) || o.output.empty()) return fail(a + " needs a file name");
        } else if (a == "--format" && cmd == Command::Export) {
            if (!value(v)) return fail("--format needs csv, wav or hdf5");
            if (v == "csv") o.format = Format::Csv;
            else if (v == "wav") o.format = Format::Wav;
            else if (v == "hdf5") o.format = Format::Hdf5;
            else return fail("unknown format " + v + " (csv, wav or hdf5)");
        } else if (a == "--measurement" && exporting) {
            uint64_t n = 0;
            if (!value(v) || !ParseCount(v, n) || n >= records::TExportRange::kAll)
                return fail("--measurement needs a measurement number (0, 1, ...)");
            o.range.measurement = static_cast<uint32_t>(n);
        } else if (a == "--from" && exporting) {
            if (!value(v) || !ParseSeconds(v, o.range.fromPs)) return fail("--from needs seconds (0 or more)");
            fromSet = true;
        } else if (a == "--to" && exporting) {
            if (!value(v) || !ParseSeconds(v, o.range.toPs)) return fail("--to needs seconds (0 or more)");
            toSet = true;
        } else if (a == "--every" && cmd == Command::Export) {
            if (!value(v) || !ParseCount(v, o.every) || o.every == 0) return fail("--every needs a number above 0");
        } else if (a == "--mv" && cmd == Command::Export) {
            o.millivolts = true;
        } else if (a == "--deflate" && cmd == Command::Export) {
            uint64_t level = 0;
            if (!value(v) || !ParseCount(v, level) || level > 9) return fail("--deflate needs a level 0..9");
            o.deflate = static_cast<int>(level);
        } else if (a == "--window" && cmd == Command::Stats) {
            if (!value(v) || !ParseSeconds(v, o.windowPs) || o.windowPs == 0)
                return fail("--window needs seconds above 0");
        } else if (a.size() > 1 && a[0] == '-') {
            return fail("unknown option " + a + " for " + CommandName(cmd) + " (rmtool help " + CommandName(cmd) + ")");
        } else {
            files.push_back(a);
        }
    }
    if (o.command == Command::None) return fail("no command given (rmtool --help lists them)");
    if (files.empty()) return fail("no record file given");
    if (files.size() > 1) return fail("one record file at a time (" + files[1] + " is a second one)");
    o.file = files[0];
    if (o.command == Command::Export) {
        if (o.format == Format::None) return fail("export needs --format csv, wav or hdf5");
        if (o.every != 1 && o.format != Format::Csv) return fail("--every is for --format csv");
        if ((o.millivolts || o.deflate != 0) && o.format != Format::Hdf5) return fail("--mv and --deflate are for --format hdf5");
    }
    if (o.command == Command::Stats && o.windowPs == 0) return fail("stats needs --window S");
    if ((o.command == Command::Export || o.command == Command::Stats)) {
        if (o.output.empty()) return fail("no output given (-o OUT)");
        if (fromSet && toSet && o.range.toPs <= o.range.fromPs) return fail("empty range: --to is not after --from");
    }
    return r;
}

std::string CommandHelp(const std::string& command) {
    const CommandInfo* c = FindCommand(command);
    if (c == nullptr) return "";
    return std::string("Usage: rmtool ") + c->synopsis + "\n\n" + c->text;
}

std::string VersionText() {
    return "rmtool (Corvo RollMode) " ROLLMODE_VERSION "\n"
           "Reads, checks and exports measurement record files (.rmd).\n";
}

std::string HelpText() {
    // help2man turns the "Usage:" and "or:" lines into the synopsis and each
    // indented command with its text below it into a tagged paragraph.
    std::string text;
    for (std::size_t i = 0; i < kCommands.size(); ++i)
        text += std::string(i == 0 ? "Usage: rmtool " : "  or:  rmtool ") + kCommands[i].synopsis + "\n";
    text +=
        "  or:  rmtool help COMMAND\n"
        "Reads, checks and exports measurement record files (.rmd) of Corvo RollMode.\n"
        "\n"
        "Commands:\n";
    for (const CommandInfo& c : kCommands) {
        const std::string body = c.text;
        std::size_t start = 0;
        while (start < body.size()) {
            const std::size_t end = body.find('\n', start);
            std::string lead = start == 0 ? std::string("  ") + c.name : std::string();
            lead.resize(10, ' ');
            text += lead + body.substr(start, end - start) + "\n";
            start = end == std::string::npos ? body.size() : end + 1;
        }
    }
    text +=
        "\n"
        "Options:\n"
        "  -o, --output OUT      the file to write (export, stats); written under a\n"
        "                        temporary name and renamed when whole\n"
        "      --format FORMAT   csv, wav or hdf5 (export)\n"
        "      --measurement N   only measurement N (export, stats)\n"
        "      --from S          only from S seconds after the measurement's start\n"
        "      --to S            only before S seconds after the measurement's start\n"
        "      --every N         keep every N-th CSV row\n"
        "      --mv              HDF5: float32 millivolts instead of codes\n"
        "      --deflate L       HDF5: deflate level 1..9 (default 0, no compression)\n"
        "      --window S        window length in seconds (stats)\n"
        "      --json            info as JSON\n"
        "  -r                    dump: every settings record\n"
        "  -s N                  dump: the first N samples\n"
        "      --progress        a progress bar on standard error even when it is not\n"
        "                        a terminal\n"
        "      --no-progress     no progress bar\n"
        "  -h, --help            this manual; rmtool help COMMAND for one command\n"
        "      --version         the version\n"
        "\n"
        "Output goes to standard output (info, check, dump) or to OUT; every message,\n"
        "warning and the progress bar go to standard error. A malformed or cut file is\n"
        "read and exported up to the fault, whose byte offset is printed. More than\n"
        "1048576 CSV rows are reported once (a spreadsheet's limit).\n"
        "\n"
        "Exit status:\n"
        "  0  done, the file is whole\n"
        "  1  the file holds a malformed item; what comes before it was used\n"
        "  2  the file ends in an item cut short; what comes before it was used\n"
        "  3  usage error: unknown command or option, bad value\n"
        "  4  failure: the file cannot be read, the output cannot be written, or\n"
        "     nothing lies in the range asked for; no output is left behind\n"
        "\n"
        "Examples:\n"
        "  rmtool info sdata.rmd\n"
        "  rmtool export --format csv --measurement 2 --from 10 --to 20 -o part.csv sdata.rmd\n"
        "  rmtool export --format hdf5 -o sdata.h5 sdata.rmd\n"
        "  rmtool stats --window 60 -o minutes.csv sdata.rmd\n";
    return text;
}

}  // namespace rollmode::rmtool
