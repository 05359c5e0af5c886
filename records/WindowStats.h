#pragma once
// Per-window statistics of a recording as CSV: for each window of S seconds of a
// measurement (counted from the start of the range), the counts of samples,
// not-armed instants and overflow marks, and for each channel the minimum, maximum,
// mean and RMS in millivolts. Codes are summed as integers while the settings hold
// and turned into millivolts once per window and settings change, so the sums are
// exact whatever the window's length.
#include <array>
#include <string>

#include "ExportOptions.h"
#include "OutputFile.h"

namespace rollmode::records {

class TWindowStats final : public TExporter {
public:
    TWindowStats(std::string path, TExportOptions options, uint64_t windowPs);

    bool Begin() override;
    bool Finish() override;
    void Abandon() override { out_.Discard(); }
    const std::string& Error() const override { return error_; }
    uint64_t Windows() const { return windows_; }

    void OnMeasurement(uint32_t measurement) override;
    void OnSettings(const RecordItem& record, const RecordSettings& settings) override;
    void OnOverflow(uint32_t measurement, const TInstantClock& at) override;
    void OnSpan(const TSpan& span) override;

private:
    struct CodeSums {  // one channel while the settings hold
        uint64_t sum = 0, squares = 0;
        int min = 256, max = -1;
    };
    struct Channel {  // one channel over the window, in millivolts
        uint64_t count = 0;  // samples with a known value
        double sum = 0, squares = 0;
        double min = 0, max = 0;
    };
    void FoldCodes();
    void EndWindow();
    void StartWindowAt(uint64_t ps);

    TExportOptions options_;
    uint64_t windowPs_;
    TOutputFile out_;
    TBufferedWriter writer_;
    std::string error_;
    const RecordSettings* settings_ = nullptr;
    uint32_t measurement_ = 0;
    bool open_ = false;       // a window has instants or marks
    uint64_t windowEndPs_ = 0;
    uint64_t windowStartPs_ = 0;
    uint64_t samples_ = 0, notArmed_ = 0, overflows_ = 0;
    uint64_t codeSamples_ = 0;  // samples in sums_
    std::array<CodeSums, 2> sums_{};
    std::array<Channel, 2> channels_{};
    uint64_t windows_ = 0;
};

}  // namespace rollmode::records
