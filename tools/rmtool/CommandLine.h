#pragma once
// rmtool's command line, parsed without touching any file: the result says what to
// run, with what, or what was wrong with the words typed.
#include <cstdint>
#include <string>
#include <vector>

#include "MeasurementWalker.h"

namespace rollmode::rmtool {

// Exit status of every command.
namespace exitcode {
inline constexpr int kOk = 0;
inline constexpr int kMalformed = 1;  // the file holds a malformed item (reported with its offset)
inline constexpr int kTornTail = 2;   // the file ends in an item cut short (a crash's cut)
inline constexpr int kUsage = 3;      // unknown command or option, bad value
inline constexpr int kFailed = 4;     // file not readable, output not written, nothing in range
}  // namespace exitcode

enum class Command { None, Help, Version, Info, Check, Dump, Export, Stats };
enum class Format { None, Csv, Wav, Hdf5 };
enum class Progress { Auto, On, Off };

struct Options {
    Command command = Command::None;
    std::string helpTopic;  // help CMD
    std::string file;
    std::string output;
    bool json = false;           // info
    bool records = false;        // dump -r
    uint64_t showSamples = 0;    // dump -s N
    Format format = Format::None;
    records::TExportRange range;
    uint64_t every = 1;
    bool millivolts = false;
    int deflate = 0;
    uint64_t windowPs = 0;       // stats
    Progress progress = Progress::Auto;
};

struct ParseResult {
    Options options;
    std::string error;  // empty when the command line was good
};

ParseResult ParseCommandLine(const std::vector<std::string>& args);

// The manual: the whole of it, or the text of one command ("" when unknown).
std::string HelpText();
std::string CommandHelp(const std::string& command);
std::string VersionText();

}  // namespace rollmode::rmtool
