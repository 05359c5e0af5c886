#include "Console.h"

#include <cstdio>

namespace rollmode::rmtool {

namespace {
constexpr int kBarWidth = 40;
}

void TConsole::Say(const std::string& text) {
    ClearProgress();
    std::fprintf(stderr, "rmtool: %s\n", text.c_str());
    std::fflush(stderr);
}

void TConsole::Progress(uint64_t done, uint64_t total) {
    if (!progress_ || total == 0) return;
    const int percent = static_cast<int>(done >= total ? 100 : done * 100 / total);
    if (percent == percent_) return;
    percent_ = percent;
    char bar[kBarWidth + 1];
    const int filled = percent * kBarWidth / 100;
    for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kBarWidth] = '\0';
    std::fprintf(stderr, "\r[%s] %3d%%", bar, percent);
    std::fflush(stderr);
    shown_ = true;
}

void TConsole::ClearProgress() {
    if (!shown_) return;
    std::fprintf(stderr, "\r%*s\r", kBarWidth + 8, "");
    std::fflush(stderr);
    shown_ = false;
    percent_ = -1;
}

}  // namespace rollmode::rmtool
