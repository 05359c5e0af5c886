#pragma once
// The recorder's command line, parsed without touching files or devices.
#include <optional>
#include <string>

namespace rollmode::tools {

struct RecorderOptions {
    enum class Action { Record, Help, Version, Check, Usage };
    Action action = Action::Record;
    std::string error;  // Usage: what is wrong

    std::string file;
    std::string settingsFile;      // empty: RollMode.ini beside the program
    bool settingsGiven = false;    // --settings: the file must exist and load cleanly
    bool defaults = false;         // no settings file at all
    bool demo = false;
    std::optional<int> smp;        // from --rate or --smp; otherwise the settings'
    double seconds = 0;            // 0: until stopped
    bool quiet = false;

    // Testing.
    bool spawnSim = false;
    std::string fifoDepth;
    std::string checkFile;
    bool verify = false;
    bool ready = false;
};

RecorderOptions ParseRecorderOptions(int argc, const char* const* argv);

// The sampling step of a rate such as "5M", "2.5M", "500k" or "50"; nothing when
// the instrument has no such rate.
std::optional<int> SmpStepOfRate(const std::string& text);

extern const char kRecorderUsage[];

}  // namespace rollmode::tools
