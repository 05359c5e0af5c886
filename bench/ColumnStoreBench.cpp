// Folding sample words into the roll screens' column store, one core: plain samples
// at 1, 3, 100 (5 MS/s at 20 ms per division) and 10,000 samples per column, and a
// stream with records and markers.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "ColumnStore.h"

using rollmode::display::TColumnStore;

namespace {

std::vector<uint16_t> PlainSamples(size_t count) {
    std::mt19937 rng(7);
    std::vector<uint16_t> w(count);
    for (auto& x : w) x = static_cast<uint16_t>((1 + rng() % 255) | ((1 + rng() % 255) << 8));
    return w;
}

void BM_AccumulateSamples(benchmark::State& state) {
    const int64_t k = state.range(0);
    const auto words = PlainSamples(65536);
    auto store = std::make_unique<TColumnStore>();
    for (auto _ : state) {
        benchmark::DoNotOptimize(store->AccumulateSamples(words.data(), static_cast<uint32_t>(words.size()), k));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(words.size()));
}
BENCHMARK(BM_AccumulateSamples)->Arg(1)->Arg(3)->Arg(100)->Arg(10000);

// One settings record every 4096 words and a loss marker every 16384.
void BM_AccumulateSamplesWithRecords(benchmark::State& state) {
    const int64_t k = state.range(0);
    auto words = PlainSamples(65536);
    for (size_t i = 0; i + 6 < words.size(); i += 4096) {
        words[i] = 0;
        words[i + 1] = 6;
    }
    for (size_t i = 100; i < words.size(); i += 16384) words[i] = 1;
    auto store = std::make_unique<TColumnStore>();
    for (auto _ : state) {
        benchmark::DoNotOptimize(store->AccumulateSamples(words.data(), static_cast<uint32_t>(words.size()), k));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(words.size()));
}
BENCHMARK(BM_AccumulateSamplesWithRecords)->Arg(1)->Arg(10000);

// A block far longer than the screen is wide: cut to the newest words first.
void BM_FoldBlockCut(benchmark::State& state) {
    const auto words = PlainSamples(1 << 20);
    auto store = std::make_unique<TColumnStore>();
    for (auto _ : state) {
        benchmark::DoNotOptimize(store->FoldBlock(words.data(), static_cast<uint32_t>(words.size()), state.range(0), 1600));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(words.size()));
}
BENCHMARK(BM_FoldBlockCut)->Arg(1)->Arg(100);

}  // namespace
