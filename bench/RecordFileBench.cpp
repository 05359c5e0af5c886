// Appending the stream to the record file as the processing thread does, run by
// run through the model (gathered and written in 1 MiB pieces), against plain
// sequential writes of the same bytes: in 1 MiB writes, and with one write(2) per
// run, as a record file without the gathering buffer would. The ratios (plain time /
// append time, 1 = no overhead) are taken in each iteration from the same bytes,
// each variant writing a file of its own that it first empties the same way
// (closed and created again); the order rotates to cancel bias, and the median of
// the iterations' ratios is reported, as the shared disk makes single times noisy.
//
// Runs: 2,000..32,768 words is what the processing thread takes at the high rates
// (one demo block per millisecond at 5 MS/s, up to 64 KB device reads); 50..200
// words is a low-rate stream, where a write per run costs more than its bytes but
// the data rate is a thousand times lower.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "VirtualScopeLyraRM.h"

using namespace rollmode::core;

namespace {

struct Stream {
    std::vector<uint16_t> words;
    std::vector<uint32_t> runs;
};

Stream MakeStream(std::size_t totalWords, uint32_t minRun, uint32_t maxRun) {
    Stream s;
    s.words.resize(totalWords);
    uint32_t x = 12345;
    for (auto& w : s.words) {
        x = x * 1664525u + 1013904223u;
        w = static_cast<uint16_t>(0x0303 | (x >> 16));  // never 0, 1 or 2
    }
    for (std::size_t done = 0; done < totalWords;) {
        x = x * 1664525u + 1013904223u;
        auto n = static_cast<uint32_t>(minRun + (x >> 8) % (maxRun - minRun + 1));
        if (n > totalWords - done) n = static_cast<uint32_t>(totalWords - done);
        s.runs.push_back(n);
        done += n;
    }
    return s;
}

std::string BenchFolder() {
    const char* dir = std::getenv("ROLLMODE_BENCH_DIR");
    return dir != nullptr ? dir : "/tmp";
}

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double TimeAppend(TVirtualScopeLyraRM& scope, const Stream& s) {
    scope.ClearRecordFile();
    const auto t0 = Clock::now();
    const uint16_t* p = s.words.data();
    for (uint32_t n : s.runs) {
        scope.AppendToRecordFile(p, n);
        p += n;
    }
    scope.FlushRecordFile();  // every byte handed to the kernel, like the plain variants
    return Seconds(t0, Clock::now());
}

bool WriteAll(int fd, const char* p, std::size_t bytes) {
    while (bytes > 0) {
        const ssize_t n = ::write(fd, p, bytes);
        if (n <= 0) return false;
        p += n;
        bytes -= static_cast<std::size_t>(n);
    }
    return true;
}

double TimePlain(int& fd, const std::string& name, const Stream& s, bool inRuns) {
    ::close(fd);
    fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    const auto* p = reinterpret_cast<const char*>(s.words.data());
    const auto t0 = Clock::now();
    if (inRuns) {
        for (uint32_t n : s.runs) {
            WriteAll(fd, p, n * 2u);
            p += n * 2u;
        }
    } else {
        constexpr std::size_t kChunk = 1 << 20;
        const std::size_t total = s.words.size() * 2;
        for (std::size_t done = 0; done < total; done += kChunk) WriteAll(fd, p + done, std::min(kChunk, total - done));
    }
    return Seconds(t0, Clock::now());
}

void BM_RecordFileAppend(benchmark::State& state) {
    const auto minRun = static_cast<uint32_t>(state.range(0));
    const auto maxRun = static_cast<uint32_t>(state.range(1));
    const auto totalWords = static_cast<std::size_t>(state.range(2));
    const Stream stream = MakeStream(totalWords, minRun, maxRun);
    const std::string appendName = BenchFolder() + "/rollmode_bench_append.rmd";
    const std::string runsName = BenchFolder() + "/rollmode_bench_runs.rmd";
    const std::string chunksName = BenchFolder() + "/rollmode_bench_chunks.rmd";

    TVirtualScopeLyraRM scope;
    scope.SetApplicationInitialized(true);
    scope.OpenRecordFile(appendName);
    scope.SetSavingActivated(true);
    scope.ClearRecordFile();
    int runsFd = ::open(runsName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    int chunksFd = ::open(chunksName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (!scope.SavingActivated() || runsFd < 0 || chunksFd < 0) {
        state.SkipWithError("cannot create the benchmark files");
        return;
    }

    std::vector<double> vsRuns, vsChunks, appendTimes;
    int turn = 0;
    for (auto _ : state) {
        double append = 0, sameRuns = 0, chunks = 0;
        for (int k = 0; k < 3; ++k) {
            switch ((turn + k) % 3) {
                case 0: append = TimeAppend(scope, stream); break;
                case 1: sameRuns = TimePlain(runsFd, runsName, stream, true); break;
                default: chunks = TimePlain(chunksFd, chunksName, stream, false); break;
            }
        }
        ++turn;
        vsRuns.push_back(sameRuns / append);
        vsChunks.push_back(chunks / append);
        appendTimes.push_back(append);
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
    };
    const double bytes = static_cast<double>(totalWords) * 2.0;
    state.counters["ratio_vs_same_runs"] = median(vsRuns);
    state.counters["ratio_vs_1MiB_writes"] = median(vsChunks);
    state.counters["append_MB_per_s"] = bytes / median(appendTimes) / 1e6;
    state.counters["runs"] = static_cast<double>(stream.runs.size());
    if (scope.FileSize() != bytes) state.SkipWithError("append size mismatch");

    scope.CloseRecordFile();
    ::close(runsFd);
    ::close(chunksFd);
    for (const std::string& name : {appendName, runsName, chunksName}) ::unlink(name.c_str());
}

}  // namespace

BENCHMARK(BM_RecordFileAppend)
    ->ArgNames({"min_run", "max_run", "words"})
    ->Args({2000, 32768, 4 << 20})
    ->Args({50, 200, 1 << 20})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(15);
