#pragma once
// The --screenshot run: open the record, wait for its index, draw the whole first
// measurement at the given size, write the PNG, and return the exit status.
#include <functional>
#include <string>

#include "CommandLine.h"

namespace rollmode::viewer {

// `report` receives the message of a malformed or unreadable record (the one the
// window shows). Needs a QApplication.
int RunScreenshot(const ViewerOptions& options, const std::function<void(const std::string&)>& report);

}  // namespace rollmode::viewer
