// The processing thread's count of loss marks over a block of samples, in words per second:
// a block of samples only (every block at high rates) and one with a mark every 1,000 words.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "ProcessingThreadRM.h"

namespace {

void BM_OverflowMarkCount(benchmark::State& state) {
    std::mt19937 rng(20261208);
    std::vector<uint16_t> block(32768);
    for (auto& w : block) w = static_cast<uint16_t>(0x0101 + rng() % 0xFE00);
    if (state.range(0) > 0)
        for (size_t i = 500; i < block.size(); i += static_cast<size_t>(state.range(0))) block[i] = 1;
    rollmode::core::TOverflowMarkCounter counter;
    for (auto _ : state) benchmark::DoNotOptimize(counter.Count(block.data(), static_cast<uint32_t>(block.size())));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(block.size()));
}
BENCHMARK(BM_OverflowMarkCount)->Arg(0)->Arg(1000);

}  // namespace
