// The ring buffer between two threads: a writer committing driver-sized blocks and
// a reader taking every pending word, touching each word once on both sides.
#include <benchmark/benchmark.h>

#include <memory>
#include <thread>

#include "DataSourceModuleLyraRM.h"

using rollmode::core::TDataSourceModuleLyraRM;

static void BM_RingBufferTwoThreads(benchmark::State& state) {
    const int32_t block = static_cast<int32_t>(state.range(0));
    constexpr int64_t kWordsPerIteration = 64'000'000;
    auto ring = std::make_unique<TDataSourceModuleLyraRM>();
    for (auto _ : state) {
        ring->ResetBuffer();
        std::thread writer([&] {
            uint16_t v = 1;
            for (int64_t done = 0; done < kWordsPerIteration; done += block) {
                uint16_t* p = ring->GetWriteBuffer();
                for (int32_t i = 0; i < block; ++i) p[i] = v;
                v = static_cast<uint16_t>(v + 1) | 1;
                ring->CommitWrite(block);
            }
        });
        uint64_t sum = 0;
        for (int64_t read = 0; read < kWordsPerIteration;) {
            int32_t n = 0;
            const uint16_t* p = ring->GetReadBuffer(n);
            if (!p) continue;
            for (int32_t i = 0; i < n; ++i) sum += p[i];
            ring->CommitRead(n);
            read += n;
        }
        writer.join();
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * kWordsPerIteration);
}
BENCHMARK(BM_RingBufferTwoThreads)->Arg(5000)->Arg(32768)->Arg(65536)->Unit(benchmark::kMillisecond)->UseRealTime();
