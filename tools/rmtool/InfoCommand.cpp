#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <string>

#include "Commands.h"
#include "RecordSummary.h"

namespace rollmode::rmtool {

namespace {

using records::TMeasurementSummary;

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

std::string Rates(const TMeasurementSummary& m, const char* separator) {
    std::string text;
    for (std::size_t i = 0; i < m.rateCount; ++i) text += (i ? separator : "") + std::to_string(m.rates[i]);
    if (m.moreRates) text += separator + std::string("...");
    return text;
}

void PrintText(const TMeasurementSummary& m) {
    std::printf("measurement %" PRIu32, m.number);
    if (m.number != 0) std::printf(" (from byte %" PRIu64 ")", m.startOffset);
    if (m.timed)
        std::printf(": %.6f s at %s samples/s\n", m.DurationSeconds(), Rates(m, ", ").c_str());
    else
        std::printf(": duration unknown (no rate recorded)\n");
    std::printf("  %" PRIu64 " samples, %" PRIu64 " not-armed instants, %" PRIu64 " overflow marks, %" PRIu64
                " settings records\n",
                m.samples, m.notArmed, m.overflows, m.settingsRecords);
    for (int ch = 0; ch < 2; ++ch) {
        std::printf("  channel %c: ", ch == 0 ? 'A' : 'B');
        if (m.rangeKnown[ch])
            std::printf("%.3f .. %.3f mV", m.minMv[ch], m.maxMv[ch]);
        else
            std::printf("range unknown");
        if (m.mvPerDivision[ch] != 0) std::printf(", %" PRIu32 " mV/div at the end", m.mvPerDivision[ch]);
        std::printf("\n");
    }
}

void PrintJson(const TMeasurementSummary& m, bool first) {
    std::printf("%s\n    {\"number\": %" PRIu32 ", \"start_offset\": %" PRIu64 ", ", first ? "" : ",", m.number,
                m.startOffset);
    if (m.timed)
        std::printf("\"duration_s\": %.9f, ", m.DurationSeconds());
    else
        std::printf("\"duration_s\": null, ");
    std::printf("\"rates_hz\": [%s], \"samples\": %" PRIu64 ", \"not_armed\": %" PRIu64 ", \"overflow_marks\": %" PRIu64
                ", \"settings_records\": %" PRIu64,
                Rates(m, ", ").c_str(), m.samples, m.notArmed, m.overflows, m.settingsRecords);
    for (int ch = 0; ch < 2; ++ch) {
        std::printf(", \"%c\": {", ch == 0 ? 'a' : 'b');
        if (m.rangeKnown[ch])
            std::printf("\"min_mV\": %.3f, \"max_mV\": %.3f", m.minMv[ch], m.maxMv[ch]);
        else
            std::printf("\"min_mV\": null, \"max_mV\": null");
        std::printf(", \"mv_per_div\": %" PRIu32 "}", m.mvPerDivision[ch]);
    }
    std::printf("}");
}

}  // namespace

int RunInfo(const Options& options, TConsole& console) {
    records::TWordScanner scanner;
    if (!scanner.Open(options.file)) {
        console.Say(scanner.Error());
        return exitcode::kFailed;
    }
    scanner.SetProgress([&](uint64_t done) { console.Progress(done, scanner.FileSize()); });
    bool first = true;
    if (options.json)
        std::printf("{\n  \"file\": %s,\n  \"size_bytes\": %" PRIu64 ",\n  \"measurements\": [",
                    JsonString(options.file).c_str(), scanner.FileSize());
    else
        std::printf("%s: %" PRIu64 " bytes\n", options.file.c_str(), scanner.FileSize());
    records::TRecordSummary summary([&](const TMeasurementSummary& m) {
        console.ClearProgress();
        if (options.json)
            PrintJson(m, first);
        else
            PrintText(m);
        first = false;
    });
    records::TMeasurementWalker walker(scanner, records::TExportRange{}, summary);
    walker.Run();
    summary.Finish();
    console.ClearProgress();

    using Status = records::TWordScanner::Status;
    const char* status = scanner.Result() == Status::Whole ? "whole" : scanner.Result() == Status::TornTail ? "torn_tail" : "malformed";
    if (options.json) {
        std::printf("%s],\n  \"measurement_count\": %" PRIu32 ",\n  \"samples\": %" PRIu64 ",\n  \"not_armed\": %" PRIu64
                    ",\n  \"overflow_marks\": %" PRIu64 ",\n  \"status\": \"%s\",\n  \"error\": ",
                    first ? "" : "\n  ", summary.Measurements(), summary.Samples(), summary.NotArmed(),
                    summary.Overflows(), status);
        if (scanner.Result() == Status::Whole)
            std::printf("null\n}\n");
        else
            std::printf("{\"offset\": %" PRIu64 ", \"message\": %s}\n}\n", scanner.ErrorOffset(),
                        JsonString(scanner.Error()).c_str());
    } else {
        std::printf("%" PRIu32 " measurements, %" PRIu64 " samples, %" PRIu64 " not-armed instants, %" PRIu64
                    " overflow marks\n",
                    summary.Measurements(), summary.Samples(), summary.NotArmed(), summary.Overflows());
    }
    std::fflush(stdout);
    return ReportScan(scanner, options.file, console, "the figures above cover what comes before it");
}

}  // namespace rollmode::rmtool
