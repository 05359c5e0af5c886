#include "CsvExporter.h"

#include <cstring>

#include "FixedPoint.h"

namespace rollmode::records {

TCsvExporter::TCsvExporter(std::string path, TExportOptions options)
    : options_(std::move(options)), out_(std::move(path)) {
    if (options_.every == 0) options_.every = 1;
}

bool TCsvExporter::Begin() {
    if (!out_.Create()) {
        error_ = out_.Error();
        return false;
    }
    writer_.Attach(out_.Fd());
    static constexpr char kHeader[] = "measurement,time_s,a_mV,b_mV\n";
    writer_.Write(kHeader, sizeof kHeader - 1);
    BuildTables(RecordSettings{});
    return true;
}

bool TCsvExporter::Finish() {
    return FlushAndCommit(writer_, out_, error_);
}

void TCsvExporter::BuildTables(const RecordSettings& s) {
    for (int ch = 0; ch < 2; ++ch) {
        const bool known = s.zeroKnown[ch] && s.deflection[ch] != 0;
        for (int code = 0; code < 256; ++code) {
            Field& f = mv_[ch][code];
            f.size = known ? static_cast<uint8_t>(
                                 FormatThousandths(f.text, MillivoltThousandths(code, s.zeroCode[ch], s.deflection[ch])) -
                                 f.text)
                           : 0;
        }
    }
    tablesBuilt_ = true;
}

void TCsvExporter::OnMeasurement(uint32_t measurement) {
    measurement_.size = static_cast<uint8_t>(FormatUnsigned(measurement_.text, measurement) - measurement_.text);
}

void TCsvExporter::OnSettings(const RecordItem& record, const RecordSettings& settings) {
    using namespace recordcode;
    if (record.code == kLevelA || record.code == kLevelB || record.code == kDeflectionA || record.code == kDeflectionB)
        BuildTables(settings);
}

void TCsvExporter::RowWritten() {
    if (++rows_ == kSpreadsheetRows + 1)
        options_.note("more than 1048576 rows: spreadsheets read no further (--every N keeps every N-th row)");
}

void TCsvExporter::OnSpan(const TSpan& span) {
    if (writer_.Failed()) return;
    TInstantClock clock = span.clock;
    const bool timed = clock.Known();
    const auto& a = mv_[0];
    const auto& b = mv_[1];
    for (std::size_t i = 0; i < span.count; ++i) {
        const uint16_t w = span.words[i];
        if (w != 2) {
            if (skip_ == 0) {
                skip_ = options_.every;
                char* p = writer_.Reserve(96);
                std::memcpy(p, measurement_.text, sizeof measurement_.text);
                p += measurement_.size;
                *p++ = ',';
                if (timed) p = FormatNanoseconds(p, clock.Ns());
                *p++ = ',';
                const Field& fa = a[w & 0xFF];
                std::memcpy(p, fa.text, sizeof fa.text);
                p += fa.size;
                *p++ = ',';
                const Field& fb = b[w >> 8];
                std::memcpy(p, fb.text, sizeof fb.text);
                p += fb.size;
                *p++ = '\n';
                writer_.Advance(p);
                RowWritten();
            }
            --skip_;
        }
        clock.Step();
    }
}

}  // namespace rollmode::records
