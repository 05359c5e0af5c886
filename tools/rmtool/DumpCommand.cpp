// rmtool dump: the summary and records of a record file, item by item.
#include <array>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <string>

#include "Commands.h"
#include "RecordFileReader.h"

namespace rollmode::rmtool {

using namespace rollmode::records;

namespace {

const char* CodeName(uint16_t code) {
    static const std::array<const char*, 13> names = {
        "?",           "measurement", "level A",    "level B",      "probe A",      "probe B",      "coupling A",
        "coupling B",  "ground A",    "ground B",   "sample rate",  "deflection A", "deflection B"};
    return code < names.size() ? names[code] : "?";
}

void PrintRecord(const RecordItem& r) {
    std::printf("@%-12" PRIu64 " sample %-12" PRIu64 " t=%-12.6f %-13s", r.offset, r.instant, r.seconds,
                CodeName(r.code));
    switch (r.length) {
        case 4: std::printf(" %u\n", r.args[0]); break;
        case 5: std::printf(" %u\n", r.Arg32()); break;
        default: std::printf(" level %u zero %d\n", r.args[0], static_cast<int16_t>(r.args[1])); break;
    }
}

void PrintSettings(const RecordSettings& s) {
    for (int ch = 0; ch < 2; ++ch) {
        std::printf("  channel %c: zero code %d, %u mV/div, probe %d, %s%s\n", ch == 0 ? 'A' : 'B', s.zeroCode[ch],
                    s.deflection[ch], s.probe[ch], s.dcCoupling[ch] ? "DC" : "AC", s.ground[ch] ? ", grounded" : "");
    }
    std::printf("  %u samples/s, measurement %s\n", s.samplesPerSecond, s.measurementStarted ? "running" : "stopped");
}

}  // namespace

int RunDump(const Options& options, TConsole& console) {
    const bool records = options.records;
    const uint64_t samplesToShow = options.showSamples;
    const char* path = options.file.c_str();
    TRecordFileReader reader;
    if (!reader.Open(path)) {
        console.Say(reader.Error());
        return exitcode::kFailed;
    }
    uint64_t samples = 0, marker1 = 0, marker2 = 0, starts = 0, stops = 0;
    std::array<uint64_t, 13> byCode{};
    std::array<double, 2> minMv{INFINITY, INFINITY}, maxMv{-INFINITY, -INFINITY};
    RecordItem item;
    while (reader.Next(item)) {
        switch (item.kind) {
            case RecordItem::Kind::Sample: {
                const RecordSettings& s = reader.Settings();
                const double a = s.Millivolts(0, item.CodeA()), b = s.Millivolts(1, item.CodeB());
                minMv[0] = std::fmin(minMv[0], a);
                maxMv[0] = std::fmax(maxMv[0], a);
                minMv[1] = std::fmin(minMv[1], b);
                maxMv[1] = std::fmax(maxMv[1], b);
                if (samples < samplesToShow)
                    std::printf("sample %-12" PRIu64 " t=%-12.6f A %4u %10.3f mV   B %4u %10.3f mV\n", item.instant,
                                item.seconds, item.CodeA(), a, item.CodeB(), b);
                ++samples;
                break;
            }
            case RecordItem::Kind::Marker:
                ++(item.word == 1 ? marker1 : marker2);
                break;
            case RecordItem::Kind::Settings:
                ++byCode[item.code];
                if (item.code == recordcode::kMeasurement) ++(item.args[0] != 0 ? starts : stops);
                if (records) PrintRecord(item);
                break;
        }
    }

    std::printf("%s: %" PRIu64 " bytes read\n", path, reader.Offset());
    std::printf("  %" PRIu64 " samples, %" PRIu64 " overflow markers (1), %" PRIu64 " withheld samples (2)\n", samples,
                marker1, marker2);
    std::printf("  %" PRIu64 " measurement starts, %" PRIu64 " stops\n", starts, stops);
    for (uint16_t code = 1; code < byCode.size(); ++code)
        if (byCode[code] != 0) std::printf("  record %2u %-13s x %" PRIu64 "\n", code, CodeName(code), byCode[code]);
    const RecordSettings& s = reader.Settings();
    if (s.samplesPerSecond != 0)
        std::printf("  duration %.6f s\n", reader.ElapsedSeconds());
    if (samples != 0)
        std::printf("  A %.3f .. %.3f mV, B %.3f .. %.3f mV\n", minMv[0], maxMv[0], minMv[1], maxMv[1]);
    std::printf("settings at the end:\n");
    PrintSettings(s);
    std::fflush(stdout);
    if (reader.Failed()) {
        console.Say(options.file + ": " + (reader.TornTail() ? "item cut short" : "malformed item") + " at byte " +
                    std::to_string(reader.ErrorOffset()) + ": " + reader.Error());
        return reader.TornTail() ? exitcode::kTornTail : exitcode::kMalformed;
    }
    return exitcode::kOk;
}

}  // namespace rollmode::rmtool
