#include "CommandLine.h"

#include <charconv>

namespace rollmode::viewer {

namespace {

bool ParseSize(const std::string& text, int& width, int& height) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    const char* begin = text.data();
    const char* end = begin + text.size();
    int w = 0, h = 0;
    auto [wEnd, wError] = std::from_chars(begin, begin + x, w);
    auto [hEnd, hError] = std::from_chars(begin + x + 1, end, h);
    if (wError != std::errc() || hError != std::errc() || wEnd != begin + x || hEnd != end) return false;
    // Sizes a window and a PNG can have.
    if (w < 200 || h < 150 || w > 16384 || h > 16384) return false;
    width = w;
    height = h;
    return true;
}

}  // namespace

const char* ViewerUsage() {
    return "Usage: PreviewLyraRM [--screenshot PNG] [--size WxH] [FILE]\n"
           "  FILE              a measurement record file (.rmd) to show\n"
           "  --screenshot PNG  draw the whole first measurement of FILE into PNG and exit:\n"
           "                    0 shown whole, 2 shown up to a malformed item, 1 unreadable\n"
           "  --size WxH        window and picture size (default 1280x720)\n";
}

ViewerOptions ParseViewerOptions(const std::vector<std::string>& arguments) {
    ViewerOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (a == "--help" || a == "-h") {
            options.help = true;
        } else if (a == "--screenshot") {
            if (!hasValue) return options.error = "--screenshot needs a PNG file name", options;
            options.screenshot = arguments[++i];
        } else if (a == "--size") {
            if (!hasValue || !ParseSize(arguments[i + 1], options.width, options.height)) {
                options.error = "--size needs WxH, e.g. 1920x1080";
                return options;
            }
            ++i;
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            options.error = "unknown option " + a;
            return options;
        } else if (options.file.empty()) {
            options.file = a;
        } else {
            options.error = "more than one file given";
            return options;
        }
    }
    if (!options.screenshot.empty() && options.file.empty()) options.error = "--screenshot needs a record FILE";
    return options;
}

}  // namespace rollmode::viewer
