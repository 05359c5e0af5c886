#pragma once
// Standard error for rmtool: one-line messages and a progress bar redrawn at each new
// percent, blanked before any message so the two never mix. Data goes to standard
// output or files, never here.
#include <cstdint>
#include <string>

namespace rollmode::rmtool {

class TConsole {
public:
    explicit TConsole(bool progress) : progress_(progress) {}
    ~TConsole() { ClearProgress(); }

    // "rmtool: " + text on a line of its own.
    void Say(const std::string& text);
    void Progress(uint64_t done, uint64_t total);
    void ClearProgress();

private:
    bool progress_;
    bool shown_ = false;
    int percent_ = -1;
};

}  // namespace rollmode::rmtool
