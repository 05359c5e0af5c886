// Throughput of the data-read processors on a full 32,768-word block, in words per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "RollDataPath.h"

namespace {

using rollmode::driver::RollDataPath;
using rollmode::driver::kRollBlockWords;

// A device block: samples around mid-scale with every fourth position empty (none in a
// block from a full FIFO), fixed seed.
std::vector<uint16_t> MakeBlock(bool withEmpty = true) {
    std::mt19937 rng(20261207);
    std::uniform_int_distribution<int> code(1, 255);
    std::vector<uint16_t> block(kRollBlockWords);
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = (withEmpty && rng() % 4 == 0) ? 0 : static_cast<uint16_t>(code(rng) | (code(rng) << 8));
    }
    return block;
}

template <class Setup>
void RunProcessor(benchmark::State& state, Setup setup,
                  uint32_t (RollDataPath::*stage)(uint16_t*, uint32_t*, uint32_t, uint32_t), bool withEmpty = true) {
    const auto pristine = MakeBlock(withEmpty);
    std::vector<uint16_t> buffer(kRollBlockWords);
    RollDataPath path;
    uint32_t count = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::memcpy(buffer.data(), pristine.data(), kRollBlockWords * sizeof(uint16_t));
        setup(path);
        state.ResumeTiming();
        benchmark::DoNotOptimize((path.*stage)(buffer.data(), &count, 0, kRollBlockWords));
        benchmark::DoNotOptimize(count);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kRollBlockWords);
}

void BM_PlainCompaction(benchmark::State& state) {
    RunProcessor(state, [](RollDataPath&) {}, &RollDataPath::PlainCompaction);
}

// The steady state at high rates: the FIFO is never empty, so no position is.
void BM_PlainCompactionFullFifo(benchmark::State& state) {
    RunProcessor(state, [](RollDataPath&) {}, &RollDataPath::PlainCompaction, false);
}

// No sample meets the condition: the search examines the whole block.
void BM_TriggerSearchNoTrigger(benchmark::State& state) {
    RunProcessor(
        state,
        [](RollDataPath& p) {
            p.triggerFlags = rollmode::driver::kTrigSourceA | rollmode::driver::kTrigSourceB;
            p.triggerRelationAnd = true;
            p.triggerThreshold = {300, 300};
            p.triggerState = {1, 1};
        },
        &RollDataPath::TriggerSearch);
}

// Both ARM channels on, about half the samples withheld, free running.
void BM_ArmProcessing(benchmark::State& state) {
    RunProcessor(
        state,
        [](RollDataPath& p) {
            p.armFlags = rollmode::driver::kArmSourceA | rollmode::driver::kArmSourceB | rollmode::driver::kArmUnderB;
            p.armThreshold = {64, 192};
            p.recordFree = true;
        },
        &RollDataPath::ArmProcessing);
}

// ARM processing followed by a trigger search over the kept words that finds nothing.
void BM_ArmProcessingWithTriggerSearch(benchmark::State& state) {
    RunProcessor(
        state,
        [](RollDataPath& p) {
            p.armFlags = rollmode::driver::kArmSourceA;
            p.armThreshold = {64, 0};
            p.recordFree = false;
            p.triggerFound = false;
            p.triggerFlags = rollmode::driver::kTrigSourceB;
            p.triggerThreshold = {0, 300};
        },
        &RollDataPath::ArmProcessing);
}

// Ground substitution over a full block of delivered words.
void BM_GroundSubstitution(benchmark::State& state) {
    auto block = MakeBlock();
    for (auto& w : block) w |= 0x0101;
    RollDataPath path;
    path.ground = {true, false};
    path.groundZeroCode = {127, 0};
    for (auto _ : state) {
        path.SubstituteGround(block.data(), kRollBlockWords);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kRollBlockWords);
}

BENCHMARK(BM_PlainCompaction);
BENCHMARK(BM_PlainCompactionFullFifo);
BENCHMARK(BM_TriggerSearchNoTrigger);
BENCHMARK(BM_ArmProcessing);
BENCHMARK(BM_ArmProcessingWithTriggerSearch);
BENCHMARK(BM_GroundSubstitution);

}  // namespace
