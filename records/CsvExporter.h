#pragma once
// CSV export: `measurement,time_s,a_mV,b_mV`, one row per sample word (not-armed words
// and overflow marks give none), time with nine decimals, millivolts with three, an
// empty field where the value is unknown. Every number comes from integer formatting
// and per-code tables rebuilt when the settings change.
#include <array>
#include <string>

#include "ExportOptions.h"
#include "OutputFile.h"

namespace rollmode::records {

class TCsvExporter final : public TExporter {
public:
    static constexpr uint64_t kSpreadsheetRows = 1'048'576;

    TCsvExporter(std::string path, TExportOptions options);

    bool Begin() override;
    bool Finish() override;
    void Abandon() override { out_.Discard(); }
    const std::string& Error() const override { return error_; }
    uint64_t Rows() const { return rows_; }

    void OnMeasurement(uint32_t measurement) override;
    void OnSettings(const RecordItem& record, const RecordSettings& settings) override;
    void OnSpan(const TSpan& span) override;

private:
    struct Field {
        char text[15];
        uint8_t size;
    };
    void BuildTables(const RecordSettings& settings);
    void RowWritten();

    TExportOptions options_;
    TOutputFile out_;
    TBufferedWriter writer_;
    std::string error_;
    std::array<std::array<Field, 256>, 2> mv_{};
    Field measurement_{};
    uint64_t rows_ = 0;
    uint64_t skip_ = 0;  // sample words until the next kept row
    bool tablesBuilt_ = false;
};

}  // namespace rollmode::records
