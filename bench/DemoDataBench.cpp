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

}  // namespace

BENCHMARK(BM_GenerateDemoData)->Args({13, 0})->Args({13, 5})->Args({1, 5})->ArgNames({"ms", "noise"});
