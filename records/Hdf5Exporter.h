#pragma once
// HDF5 export. One group per measurement (`m<N>`), one sub-group per stretch of
// constant settings (`s<K>`, split at every settings record and overflow mark), each
// with an N x 2 uint8 dataset `codes` (channel A, channel B; 0 at a not-armed instant)
// or, with millivolts asked for, float32 datasets `a_mV` and `b_mV` (NaN where not
// armed or unknown), and the attributes `start_s`, `rate_hz`, `zero_code` (A, B) and
// `mv_per_code` (A, B). Datasets grow in chunks of 1 MiB written whole; the only
// filters are shuffle and deflate, which every HDF5 reader has built in.
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "ExportOptions.h"
#include "Hdf5Handle.h"
#include "OutputFile.h"

namespace rollmode::records {

class THdf5Exporter final : public TExporter {
public:
    static constexpr std::size_t kChunkBytes = 1 << 20;

    THdf5Exporter(std::string path, TExportOptions options);
    ~THdf5Exporter() override;

    bool Begin() override;
    bool Finish() override;
    void Abandon() override;
    const std::string& Error() const override { return error_; }

    void OnMeasurement(uint32_t measurement) override;
    void OnSettings(const RecordItem& record, const RecordSettings& settings) override;
    void OnOverflow(uint32_t measurement, const TInstantClock& at) override;
    void OnSpan(const TSpan& span) override;

private:
    struct Dataset {
        THdf5Handle id;
        uint64_t rows = 0;
    };
    bool OpenSegment(const TSpan& span);
    void EndSegment();
    void EndMeasurement();
    bool Append(Dataset& dataset, const void* data, uint64_t rows, int64_t type, int columns);
    void FlushBuffers(bool segmentEnds);
    bool CreateDatasets(unsigned long long chunkRows);
    bool Fail(const std::string& what);

    TExportOptions options_;
    TOutputFile out_;
    std::string error_;
    THdf5Handle file_, measurementGroup_, segmentGroup_;
    Dataset codes_, a_, b_;
    uint32_t measurement_ = 0;
    uint32_t segments_ = 0;
    uint64_t overflows_ = 0;
    bool measurementOpen_ = false;
    std::unique_ptr<uint8_t[]> codeBuffer_;
    std::unique_ptr<float[]> aBuffer_, bBuffer_;
    std::size_t buffered_ = 0;  // rows in the buffers
    std::array<std::array<float, 256>, 2> mv_{};
};

}  // namespace rollmode::records
