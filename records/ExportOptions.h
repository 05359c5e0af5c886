#pragma once
// What an export writes, beside the part of the file it covers.
#include <cstdint>
#include <functional>
#include <string>

#include "MeasurementWalker.h"

namespace rollmode::records {

struct TExportOptions {
    TExportRange range;
    uint64_t every = 1;        // CSV: every N-th row
    bool millivolts = false;   // HDF5: float32 millivolts instead of codes
    int deflate = 0;           // HDF5: deflate level, 0 = none
    // Notes for the user (a warning, a file written), one line each, no newline.
    std::function<void(const std::string&)> note = [](const std::string&) {};
};

// An export: a sink for the walk that writes its output, made whole by Finish().
class TExporter : public TMeasurementSink {
public:
    // Creates the (temporary) output; false with Error().
    virtual bool Begin() = 0;
    // Completes and renames the outputs; false with Error() (nothing left behind).
    virtual bool Finish() = 0;
    // Drops every output.
    virtual void Abandon() = 0;
    virtual const std::string& Error() const = 0;
};

}  // namespace rollmode::records
