#include <filesystem>
#include <memory>
#include <string>

#include "Commands.h"
#include "CsvExporter.h"
#include "Hdf5Exporter.h"
#include "WavExporter.h"
#include "WindowStats.h"

namespace rollmode::rmtool {

namespace {

std::unique_ptr<records::TExporter> MakeExporter(const Options& o, const records::TExportOptions& e) {
    if (o.command == Command::Stats) return std::make_unique<records::TWindowStats>(o.output, e, o.windowPs);
    switch (o.format) {
        case Format::Csv: return std::make_unique<records::TCsvExporter>(o.output, e);
        case Format::Wav: return std::make_unique<records::TWavExporter>(o.output, e);
        case Format::Hdf5: return std::make_unique<records::THdf5Exporter>(o.output, e);
        case Format::None: break;
    }
    return nullptr;
}

}  // namespace

int RunExport(const Options& options, TConsole& console) {
    records::TWordScanner scanner;
    if (!scanner.Open(options.file)) {
        console.Say(scanner.Error());
        return exitcode::kFailed;
    }
    // Renaming the finished output over the record file would destroy the recording.
    std::error_code ec;
    if (std::filesystem::equivalent(options.output, options.file, ec)) {
        console.Say(options.output + " is the record file itself: choose another output name");
        return exitcode::kFailed;
    }
    records::TExportOptions settings;
    settings.range = options.range;
    settings.every = options.every;
    settings.millivolts = options.millivolts;
    settings.deflate = options.deflate;
    settings.note = [&](const std::string& text) { console.Say(text); };
    std::unique_ptr<records::TExporter> exporter = MakeExporter(options, settings);
    if (!exporter->Begin()) {
        console.Say(exporter->Error());
        return exitcode::kFailed;
    }
    scanner.SetProgress([&](uint64_t done) { console.Progress(done, scanner.FileSize()); });
    records::TMeasurementWalker walker(scanner, options.range, *exporter);
    walker.Run();
    console.ClearProgress();

    const uint32_t asked = options.range.measurement;
    if (asked != records::TExportRange::kAll && asked > walker.LastMeasurement()) {
        exporter->Abandon();
        console.Say("no measurement " + std::to_string(asked) + ": " + options.file + " has " +
                    std::to_string(walker.LastMeasurement()) + " (numbered from 1; 0 is what comes before the first)");
        return exitcode::kFailed;
    }
    if (walker.InstantsInRange() == 0) {
        exporter->Abandon();
        console.Say("empty range: no samples in " + options.file +
                    (options.range.TimeLimited() ? " between --from and --to" : "") +
                    (asked != records::TExportRange::kAll ? " in measurement " + std::to_string(asked) : std::string()));
        // A fault that cut the file before the range is the reason worth knowing.
        ReportScan(scanner, options.file, console, "nothing was exported");
        return exitcode::kFailed;
    }
    if (!exporter->Finish()) {
        console.Say(exporter->Error());
        return exitcode::kFailed;
    }
    if (walker.OverflowsInRange() != 0)
        console.Say(std::to_string(walker.OverflowsInRange()) +
                    " overflow marks in the range: samples were lost there, for an unknown time");
    return ReportScan(scanner, options.file, console, "what comes before it was exported");
}

}  // namespace rollmode::rmtool
