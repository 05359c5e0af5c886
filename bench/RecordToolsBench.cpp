// The record tools on a large file in the page cache, each against a plain
// sequential read of the same file in the same run (read(2) into a 1 MiB buffer,
// nothing done with the bytes): ratio = tool's file bytes per second / read's.
// Times are the process's CPU time (one core). Targets: info and check >= 1 GB/s of record file, HDF5 and WAV export >= 100 M
// samples/s, CSV >= 20 M rows/s, all on one core.
//
// The file (ROLLMODE_BENCH_RECORD, default /work/tmp-bench/bench.rmd, made when
// missing) holds 7 measurements of 100 M instants at 5 MS/s, about 1.4 GB: a sine on
// both channels, a deflection change and an overflow mark every 10 M instants,
// two not-armed words every 1 M. Outputs go to ROLLMODE_BENCH_OUT (default
// /dev/shm) so the disk's write speed is not what is measured; WAV covers one
// measurement and CSV its first 4 seconds (20 M rows) to keep the outputs small.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "CsvExporter.h"
#include "Hdf5Exporter.h"
#include "RecordSummary.h"
#include "WavExporter.h"

using namespace rollmode::records;

namespace {

constexpr int kMeasurements = 7;
constexpr uint64_t kInstantsPerMeasurement = 100'000'000;

std::string Env(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0' ? v : fallback;
}

std::string BenchFile() { return Env("ROLLMODE_BENCH_RECORD", "/work/tmp-bench/bench.rmd"); }
std::string OutFolder() { return Env("ROLLMODE_BENCH_OUT", "/dev/shm"); }

void Put(std::vector<uint16_t>& out, std::initializer_list<uint16_t> words) { out.insert(out.end(), words); }

void MakeFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && st.st_size > 1'000'000'000) return;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    const std::string temp = path + ".making";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (f == nullptr) return;
    std::vector<uint16_t> period(5000);
    for (std::size_t i = 0; i < period.size(); ++i) {
        const double x = 2 * M_PI * static_cast<double>(i) / static_cast<double>(period.size());
        const auto a = static_cast<uint16_t>(128 + std::lround(100 * std::sin(x)));
        const auto b = static_cast<uint16_t>(128 + std::lround(90 * std::cos(3 * x)));
        period[i] = static_cast<uint16_t>(a | (b << 8));
    }
    std::vector<uint16_t> block;
    for (int m = 0; m < kMeasurements; ++m) {
        block.clear();
        Put(block, {0, 4, 1, 1, 0, 6, 2, 2000, 128, 0, 0, 6, 3, 2000, 128, 0});
        for (uint16_t code = 4; code <= 9; ++code) Put(block, {0, 4, code, 1});
        Put(block, {0, 5, 10, 0x4B40, 0x004C, 0, 5, 11, 1000, 0, 0, 5, 12, 500, 0});  // 5,000,000/s
        for (uint64_t i = 0; i < kInstantsPerMeasurement; ++i) {
            if (i % 1'000'000 == 999'998) {
                block.push_back(2);
            } else if (i % 10'000'000 == 5'000'000) {
                Put(block, {1, 0, 5, 11, static_cast<uint16_t>(i % 20'000'000 == 5'000'000 ? 500 : 1000), 0});
                block.push_back(period[i % period.size()]);
            } else {
                block.push_back(period[i % period.size()]);
            }
            if (block.size() >= (1 << 20)) {
                std::fwrite(block.data(), 2, block.size(), f);
                block.clear();
            }
        }
        Put(block, {0, 4, 1, 0});
        std::fwrite(block.data(), 2, block.size(), f);
    }
    if (std::fclose(f) == 0) std::rename(temp.c_str(), path.c_str());
}

// CPU time of the process (user and system: reading from the page cache is system
// time), so that other jobs sharing the machine do not count against the tool.
double CpuNow() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Plain sequential read of the file's first `bytes` (all when 0): the yardstick.
double PlainRead(const std::string& path, uint64_t bytes = 0) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    std::unique_ptr<char[]> buffer(new char[1 << 20]);
    const double start = CpuNow();
    uint64_t total = 0;
    for (ssize_t got; (got = ::read(fd, buffer.get(), 1 << 20)) > 0;) {
        total += static_cast<uint64_t>(got);
        benchmark::DoNotOptimize(buffer[0]);
        if (bytes != 0 && total >= bytes) break;
    }
    const double s = CpuNow() - start;
    ::close(fd);
    return s;
}

struct NoSink final : TWordSink {
    void OnRun(const uint16_t*, std::size_t) override {}
    void OnOverflowMark(uint64_t) override {}
    void OnRecord(const RecordItem&, const RecordSettings&) override {}
};

// Runs `tool` once per iteration after a plain read of the bytes it covers.
template <typename Tool>
void Measure(benchmark::State& state, uint64_t coveredBytes, uint64_t instants, Tool tool) {
    const std::string path = BenchFile();
    MakeFile(path);
    PlainRead(path);  // into the page cache
    double readTime = 0, toolTime = 0;
    for (auto _ : state) {
        readTime += PlainRead(path, coveredBytes);
        const double start = CpuNow();
        tool(path);
        const double s = CpuNow() - start;
        toolTime += s;
        state.SetIterationTime(s);
    }
    const double n = static_cast<double>(state.iterations());
    const double bytes = static_cast<double>(coveredBytes);
    state.counters["GB_per_s"] = bytes / (toolTime / n) / 1e9;
    state.counters["M_samples_per_s"] = static_cast<double>(instants) / (toolTime / n) / 1e6;
    state.counters["read_GB_per_s"] = bytes / (readTime / n) / 1e9;
    state.counters["ratio_to_read"] = readTime / toolTime;
}

uint64_t FileBytes() {
    struct stat st {};
    MakeFile(BenchFile());
    return ::stat(BenchFile().c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

constexpr uint64_t kAllInstants = kMeasurements * kInstantsPerMeasurement;

void BM_RecordToolCheck(benchmark::State& state) {
    Measure(state, FileBytes(), kAllInstants, [](const std::string& path) {
        TWordScanner scanner;
        scanner.Open(path);
        NoSink sink;
        if (scanner.Scan(sink) != TWordScanner::Status::Whole) std::abort();
    });
}

void BM_RecordToolInfo(benchmark::State& state) {
    Measure(state, FileBytes(), kAllInstants, [](const std::string& path) {
        TWordScanner scanner;
        scanner.Open(path);
        uint64_t samples = 0;
        TRecordSummary summary([&](const TMeasurementSummary& m) { samples += m.samples; });
        TMeasurementWalker walker(scanner, TExportRange{}, summary);
        walker.Run();
        summary.Finish();
        benchmark::DoNotOptimize(samples);
    });
}

template <typename Exporter>
void Export(const std::string& path, const std::string& out, TExportOptions options) {
    Exporter exporter(out, options);
    TWordScanner scanner;
    scanner.Open(path);
    if (!exporter.Begin()) std::abort();
    TMeasurementWalker walker(scanner, options.range, exporter);
    walker.Run();
    if (!exporter.Finish()) std::abort();
    std::filesystem::remove(out);
}

void BM_RecordToolExportHdf5(benchmark::State& state) {
    Measure(state, FileBytes(), kAllInstants, [](const std::string& path) {
        Export<THdf5Exporter>(path, OutFolder() + "/rmtool-bench.h5", TExportOptions{});
    });
}

void BM_RecordToolExportWav(benchmark::State& state) {
    // Measurement 1: the first seventh of the file.
    Measure(state, FileBytes() / kMeasurements, kInstantsPerMeasurement, [](const std::string& path) {
        TExportOptions o;
        o.range.measurement = 1;
        o.note = [](const std::string& text) {
            if (text.rfind("wrote ", 0) == 0) std::filesystem::remove(text.substr(6));
        };
        Export<TWavExporter>(path, OutFolder() + "/rmtool-bench.wav", o);
    });
}

void BM_RecordToolExportCsv(benchmark::State& state) {
    // The first 4 s of measurement 1: 20 M instants, 40 MB of the file.
    constexpr uint64_t kInstants = 20'000'000;
    Measure(state, 2 * kInstants, kInstants, [](const std::string& path) {
        TExportOptions o;
        o.range.measurement = 1;
        o.range.toPs = 4 * TInstantClock::kPsPerSecond;
        o.note = [](const std::string&) {};  // the spreadsheet note
        Export<TCsvExporter>(path, OutFolder() + "/rmtool-bench.csv", o);
    });
}

}  // namespace

BENCHMARK(BM_RecordToolCheck)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordToolInfo)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordToolExportHdf5)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordToolExportWav)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordToolExportCsv)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);
