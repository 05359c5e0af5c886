#pragma once
// The viewer's command line: PreviewLyraRM [--screenshot PNG] [--size WxH] [FILE].
// Parsed without touching any file; plain C++, no Qt.
#include <string>
#include <vector>

namespace rollmode::viewer {

struct ViewerOptions {
    std::string file;        // empty: an empty window
    std::string screenshot;  // PNG to write, then exit
    int width = 1280, height = 720;
    bool help = false;
    std::string error;       // a usage error
};

// Exit statuses of the screenshot run.
namespace exitcode {
inline constexpr int kWhole = 0;      // the record read whole
inline constexpr int kUnreadable = 1; // missing or unreadable file, or a usage error
inline constexpr int kMalformed = 2;  // shown up to a malformed item
}  // namespace exitcode

ViewerOptions ParseViewerOptions(const std::vector<std::string>& arguments);
const char* ViewerUsage();

}  // namespace rollmode::viewer
