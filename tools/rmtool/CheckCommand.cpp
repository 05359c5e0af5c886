#include <cinttypes>
#include <cstdio>

#include "Commands.h"

namespace rollmode::rmtool {

namespace {

class TNoSink final : public records::TWordSink {
public:
    void OnRun(const uint16_t*, std::size_t) override {}
    void OnOverflowMark(uint64_t) override {}
    void OnRecord(const records::RecordItem&, const records::RecordSettings&) override {}
};

}  // namespace

int ReportScan(const records::TWordScanner& scanner, const std::string& path, TConsole& console,
               const char* beforeFault) {
    using Status = records::TWordScanner::Status;
    const uint64_t at = scanner.ErrorOffset();
    switch (scanner.Result()) {
        case Status::Whole:
            return exitcode::kOk;
        case Status::Malformed:
            console.Say(path + ": malformed item at byte " + std::to_string(at) + ": " + scanner.Error() + "; " +
                        beforeFault);
            return exitcode::kMalformed;
        case Status::TornTail:
            console.Say(path + ": the last " + std::to_string(scanner.FileSize() - at) + " bytes (from byte " +
                        std::to_string(at) + ") are an item cut short: " + scanner.Error() + "; " + beforeFault);
            return exitcode::kTornTail;
        case Status::OpenFailed:
            break;
    }
    console.Say(scanner.Error());
    return exitcode::kFailed;
}

int RunCheck(const Options& options, TConsole& console) {
    records::TWordScanner scanner;
    if (!scanner.Open(options.file)) {
        console.Say(scanner.Error());
        return exitcode::kFailed;
    }
    scanner.SetProgress([&](uint64_t done) { console.Progress(done, scanner.FileSize()); });
    TNoSink sink;
    scanner.Scan(sink);
    console.ClearProgress();
    const int status = ReportScan(scanner, options.file, console, "everything before it is whole");
    if (status == exitcode::kOk) std::printf("%s: whole, %" PRIu64 " bytes\n", options.file.c_str(), scanner.FileSize());
    return status;
}

}  // namespace rollmode::rmtool
