#pragma once
// Checks a record file made from the simulated instrument's counting pattern word for
// word: every sample follows the one before it (A steps through 1..255, B once per
// round of A), except right after an overflow mark, where the samples the FIFO lost
// are missing. Settings records are read, not checked.
#include <cstdint>
#include <string>

#include "RecordFileReader.h"

namespace rollmode::tools {

struct CountStreamReport {
    uint64_t bytes = 0;         // bytes read up to the end or up to a torn tail
    uint64_t samples = 0;
    uint64_t overflowMarks = 0;  // word 1
    uint64_t otherMarks = 0;     // word 2
    uint64_t settingsRecords = 0;
    uint64_t breaks = 0;        // samples that do not follow the one before (no mark between)
    uint64_t firstBreakOffset = 0;
    bool tornTail = false;      // the last item was cut short by the end of the file
    std::string error;          // the reader's error when the file is malformed (not a torn tail)

    // A valid file of a lossless stream.
    bool Lossless() const { return error.empty() && breaks == 0 && overflowMarks == 0 && otherMarks == 0; }
};

// Position of a counting-pattern sample in its cycle of 255 x 255.
inline int64_t CountIndex(uint16_t w) {
    const int a = w & 0xFF, b = w >> 8;
    if (a < 1 || b < 1) return -1;
    return int64_t(b - 1) * 255 + (a - 1);
}

inline CountStreamReport CheckCountStream(const std::string& path) {
    CountStreamReport r;
    records::TRecordFileReader reader;
    if (!reader.Open(path)) {
        r.error = reader.Error();
        return r;
    }
    records::RecordItem item;
    int64_t last = -1;
    while (reader.Next(item)) {
        switch (item.kind) {
            case records::RecordItem::Kind::Settings:
                ++r.settingsRecords;
                break;
            case records::RecordItem::Kind::Marker:
                if (item.word == 1) {
                    ++r.overflowMarks;
                    last = -1;  // lost samples follow: the next one starts a new run
                } else {
                    ++r.otherMarks;
                }
                break;
            case records::RecordItem::Kind::Sample: {
                ++r.samples;
                const int64_t idx = CountIndex(item.word);
                if (last >= 0 && idx != (last + 1) % (255 * 255)) {
                    if (r.breaks++ == 0) r.firstBreakOffset = item.offset;
                }
                last = idx;
                break;
            }
        }
    }
    r.bytes = reader.Offset();
    if (reader.Failed()) {
        if (reader.TornTail()) {
            r.tornTail = true;
            r.bytes = reader.ErrorOffset();
        } else {
            r.error = reader.Error() + " at byte " + std::to_string(reader.ErrorOffset());
        }
    }
    return r;
}

}  // namespace rollmode::tools
