// The record index: building it against a plain sequential read of the same file (both
// from the page cache, measured in one run, as a ratio), and 1920-column envelopes at
// every zoom on a large recording.
//
// The files live in $ROLLMODE_BENCH_DIR (default /work/tmp-bench, outside the
// repository); the large one has $ROLLMODE_BENCH_INDEX_GB gigabytes (default 4) and is
// written once and kept for later runs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "IndexFileName.h"
#include "RecordIndex.h"

namespace {

using namespace rollmode::records;
using Clock = std::chrono::steady_clock;

std::string BenchDir() {
    const char* dir = std::getenv("ROLLMODE_BENCH_DIR");
    std::string d = dir != nullptr ? dir : "/work/tmp-bench";
    std::filesystem::create_directories(d);
    return d;
}

void Put(std::vector<uint16_t>& w, std::initializer_list<uint16_t> words) { w.insert(w.end(), words); }

// A measurement as recorded: a start snapshot, then sample blocks with a deflection
// change every `changeEvery` instants and an overflow mark now and then.
void WriteRecording(const std::string& path, uint64_t bytes, uint64_t changeEvery) {
    if (std::filesystem::exists(path) && std::filesystem::file_size(path) >= bytes) return;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<uint16_t> w;
    Put(w, {0, 4, 1, 1, 0, 6, 2, 2000, 128, 0, 0, 6, 3, 2000, 128, 0, 0, 5, 10, 0x4B40, 0x4C, 0, 5, 11, 200, 0, 0, 5, 12,
            500, 0});
    uint64_t written = 0, instant = 0;
    uint32_t phase = 1;
    while (written < bytes) {
        w.reserve(1 << 20);
        while (w.size() < (1u << 20)) {
            if (instant % changeEvery == changeEvery / 2) Put(w, {0, 5, 11, static_cast<uint16_t>(100 + instant % 3 * 100), 0});
            if (instant % 9999991 == 17) w.push_back(1);
            phase = phase * 1664525u + 1013904223u;
            const auto a = static_cast<uint16_t>(64 + ((instant >> 6) & 127) + (phase >> 28));
            const auto b = static_cast<uint16_t>(200 - ((instant >> 9) & 63) + (phase >> 29));
            w.push_back(static_cast<uint16_t>(a | (b << 8)));
            ++instant;
        }
        out.write(reinterpret_cast<const char*>(w.data()), static_cast<std::streamsize>(w.size() * 2));
        written += w.size() * 2;
        w.clear();
    }
}

double SequentialReadSeconds(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    std::vector<uint8_t> buffer(1 << 20);
    uint64_t sum = 0;
    const auto t0 = Clock::now();
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n <= 0) break;
        sum += buffer[static_cast<std::size_t>(n) - 1];
    }
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    ::close(fd);
    benchmark::DoNotOptimize(sum);
    return s;
}

std::string IndexBeside(const std::string& record) {
    const std::filesystem::path p(record);
    return (p.parent_path() / IndexFileName(p.filename().string())).string();
}

// Index build and plain read of the same 512 MB from the page cache, alternately.
void BM_IndexBuildVsSequentialRead(benchmark::State& state) {
    const std::string path = BenchDir() + "/build.rmd";
    const uint64_t bytes = uint64_t{512} << 20;
    WriteRecording(path, bytes, 1 << 22);
    SequentialReadSeconds(path);  // into the page cache
    double read = 0, build = 0;
    for (auto _ : state) {
        read += SequentialReadSeconds(path);
        std::filesystem::remove(IndexBeside(path));
        const auto t0 = Clock::now();
        TRecordIndex index;
        if (!index.Open(path)) state.SkipWithError("open failed");
        const double took = std::chrono::duration<double>(Clock::now() - t0).count();
        build += took;
        state.SetIterationTime(took);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["read_GBps"] = static_cast<double>(bytes) * n / read / 1e9;
    state.counters["build_GBps"] = static_cast<double>(bytes) * n / build / 1e9;
    state.counters["build_vs_read"] = read / build;
}
BENCHMARK(BM_IndexBuildVsSequentialRead)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// 1920 columns at a zoom of state.range(0) / 1024 instants per column (0 = the whole file).
void BM_Envelope1920(benchmark::State& state) {
    static TRecordIndex* index = nullptr;
    if (index == nullptr) {
        const char* gb = std::getenv("ROLLMODE_BENCH_INDEX_GB");
        const uint64_t bytes = static_cast<uint64_t>((gb != nullptr ? std::atof(gb) : 4.0) * (1ull << 30));
        const std::string path = BenchDir() + "/large.rmd";
        WriteRecording(path, bytes, 50'000'000);
        index = new TRecordIndex;
        if (!index->Open(path)) {
            state.SkipWithError("open failed");
            return;
        }
    }
    const uint64_t n = index->PublishedInstants();
    const double perColumn = state.range(0) == 0 ? static_cast<double>(n) / 1920 : static_cast<double>(state.range(0)) / 1024;
    std::vector<MinMaxMv> out(2 * 1920);
    uint64_t first = 0;
    const uint64_t span = static_cast<uint64_t>(perColumn * 1920);
    for (auto _ : state) {
        // A different place each time: nothing is cached between views.
        first = span >= n ? 0 : (first + 7'777'777'777ull) % (n - span);
        index->Envelope(first, perColumn, 1920, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["instants_per_column"] = perColumn;
    state.counters["file_GB"] = static_cast<double>(index->RecordBytes()) / 1e9;
}
BENCHMARK(BM_Envelope1920)
    ->Arg(0)
    ->Arg(1024 * 1000000)
    ->Arg(1024 * 65536)
    ->Arg(1024 * 5000)
    ->Arg(1024 * 300)
    ->Arg(1024 * 64)
    ->Arg(1024 * 2)
    ->Arg(512)
    ->Unit(benchmark::kMicrosecond);

// Opening the large recording when its index is valid: the checks (header, checksum over
// the whole index, fingerprints, lists) before the first picture.
void BM_OpenWithValidIndex(benchmark::State& state) {
    const std::string path = BenchDir() + "/large.rmd";
    if (!std::filesystem::exists(path)) {
        state.SkipWithError("run BM_Envelope1920 first");
        return;
    }
    for (auto _ : state) {
        TRecordIndex index;
        if (!index.Open(path) || index.HowOpened() != TRecordIndex::Origin::Reused) state.SkipWithError("not reused");
        std::vector<MinMaxMv> out(2 * 1920);
        index.Envelope(0, static_cast<double>(index.PublishedInstants()) / 1920, 1920, out.data());
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_OpenWithValidIndex)->Unit(benchmark::kMillisecond)->Iterations(5);

// Following a recording at 5 MS/s: a quarter second of samples (1.25 M words, with a
// settings record now and then) appended, then one Update. The counter is the share of
// one core that following costs.
void BM_FollowAt5MSps(benchmark::State& state) {
    const std::string path = BenchDir() + "/follow.rmd";
    std::filesystem::remove(path);
    std::filesystem::remove(IndexBeside(path));
    std::vector<uint16_t> quarter;
    Put(quarter, {0, 4, 1, 1, 0, 5, 10, 0x4B40, 0x4C, 0, 5, 11, 200, 0, 0, 5, 12, 500, 0});
    for (uint32_t i = 0; quarter.size() < 1'250'000; ++i) quarter.push_back(static_cast<uint16_t>(0x4040 + (i * 7919 % 16000)));
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(quarter.data()), static_cast<std::streamsize>(quarter.size() * 2));
    }
    TRecordIndex index;
    index.Open(path);
    double busy = 0;
    for (auto _ : state) {
        state.PauseTiming();
        {
            std::ofstream out(path, std::ios::binary | std::ios::app);
            out.write(reinterpret_cast<const char*>(quarter.data()), static_cast<std::streamsize>(quarter.size() * 2));
        }
        state.ResumeTiming();
        const auto t0 = Clock::now();
        index.Update();
        busy += std::chrono::duration<double>(Clock::now() - t0).count();
    }
    state.counters["core_share_pct"] = busy / (0.25 * static_cast<double>(state.iterations())) * 100;
    std::filesystem::remove(path);
}
BENCHMARK(BM_FollowAt5MSps)->Unit(benchmark::kMillisecond)->Iterations(40);

}  // namespace
