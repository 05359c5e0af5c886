// Demo generator throughput: samples per second on one core.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "VirtualDriverLyraRM.h"

using rollmode::core::TVirtualDriverLyraRM;

namespace {

// At 5,000,000 samples/s, args: milliseconds per call (13 ms = 65,000 samples,
// 1 ms = 5,000 samples) and noise in codes.
void BM_GenerateDemoData(benchmark::State& state) {
    const auto msPerCall = static_cast<uint32_t>(state.range(0));
    const auto noise = static_cast<int32_t>(state.range(1));
    uint32_t tick = 1000;
    TVirtualDriverLyraRM driver;
    driver.SetTickSource([&tick] { return tick; });
    driver.SetSMPSetting(15);
    driver.SetSourceProbeA(1);
    driver.SetSourceProbeB(1);
    driver.SetDensityChannelA(5);
    driver.SetDensityChannelB(6);
    driver.SetVerticalLevelChannelA(2048);
    driver.SetVerticalLevelChannelB(1500);
    driver.SetPeriodA(1000);
    driver.SetPeriodB(7);
    driver.SetAmplitudeA(500);
    driver.SetAmplitudeB(1200);
    driver.SetNoiseA(noise);
    driver.SetNoiseB(noise);
    driver.SetMeasurementStarted(true);

    std::vector<uint16_t> buffer(TVirtualDriverLyraRM::kReadBufferWords);
    int64_t samples = 0;
    for (auto _ : state) {
        tick += msPerCall;
        uint32_t count = 0;
        driver.GenerateDemoData(buffer.data(), count);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
        samples += count;
    }
    state.SetItemsProcessed(samples);
}

// The generator alone in each instruction-set copy the processor runs (args: copy, noise),
// 65,000 samples per call.
void BM_DemoSynthesizer(benchmark::State& state) {
    using rollmode::core::virtual_driver::DemoSynthesizer;
    using rollmode::core::virtual_driver::DemoWave;
    const int copy = static_cast<int>(state.range(0));
    if (copy >= DemoSynthesizer::InstructionSets()) {
        state.SkipWithError("instruction set not available");
        return;
    }
    state.SetLabel(DemoSynthesizer::InstructionSetName(copy));
    DemoSynthesizer::UseInstructionSet(copy);
    DemoWave a, b;
    a.period = 1000;
    a.gain = 500 * 255.0 / (50 * 8.0);
    a.level = 512;
    b.period = 7;
    b.gain = 1200 * 255.0 / (100 * 8.0);
    b.level = 387;
    a.noise = b.noise = state.range(1);
    a.noiseRange = b.noiseRange = 2 * static_cast<uint32_t>(state.range(1));
    constexpr uint32_t kSamples = 65'000;
    std::vector<uint16_t> buffer(kSamples);
    DemoSynthesizer synth;
    for (auto _ : state) {
        synth.Generate(a, b, 5e6, kSamples, buffer.data());
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    DemoSynthesizer::UseInstructionSet(0);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kSamples);
}

}  // namespace

BENCHMARK(BM_DemoSynthesizer)->ArgsProduct({{0, 1, 2}, {0, 5}})->ArgNames({"copy", "noise"});
BENCHMARK(BM_GenerateDemoData)->Args({13, 0})->Args({13, 5})->Args({1, 5})->ArgNames({"ms", "noise"});
