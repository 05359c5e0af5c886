#pragma once
// WAV export: two channels of 32-bit float volts at the rate in force, 0 at not-armed
// instants. Each constant-rate, gap-free stretch (split at a rate change, an overflow
// mark and a new measurement) is one file: the export's name when there is only one,
// otherwise `OUT-m<N>-<K>.wav`. Files above 4 GB are written as RF64.
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "ExportOptions.h"
#include "OutputFile.h"

namespace rollmode::records {

class TWavExporter final : public TExporter {
public:
    TWavExporter(std::string path, TExportOptions options);
    ~TWavExporter() override;

    bool Begin() override;
    bool Finish() override;
    void Abandon() override;
    const std::string& Error() const override { return error_; }
    // The names the files got (after Finish()).
    const std::vector<std::string>& Written() const { return written_; }

    void OnMeasurement(uint32_t measurement) override;
    void OnSettings(const RecordItem& record, const RecordSettings& settings) override;
    void OnOverflow(uint32_t measurement, const TInstantClock& at) override;
    void OnSpan(const TSpan& span) override;

private:
    struct Segment {
        TOutputFile file;
        uint32_t measurement;
        uint32_t number;
    };
    bool OpenSegment(uint32_t measurement, uint32_t rate);
    void EndSegment();
    void WriteFrames();
    void BuildTables(const RecordSettings& settings);
    void SetError(std::string message);

    TExportOptions options_;
    std::string path_;
    std::string error_;
    std::vector<Segment> segments_;
    std::vector<std::string> written_;
    void* sndfile_ = nullptr;  // SNDFILE of the open segment
    uint32_t segmentInMeasurement_ = 0;
    std::array<std::array<float, 256>, 2> volts_{};
    std::unique_ptr<float[]> frames_;
    std::size_t framesUsed_ = 0;
    bool warnedNoRate_ = false;
};

}  // namespace rollmode::records
