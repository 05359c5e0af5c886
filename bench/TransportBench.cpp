// The instrument stack below the driver library: how fast the simulated instrument makes
// samples, and how many samples per second brask moves from it in 64 KB roll reads.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <vector>

#include "platform/DynamicLibrary.h"
#include "rollmode/Abi.h"
#include "sim/Instrument.h"
#include "sim/Simulator.h"

namespace {

using namespace rollmode;
using Steady = std::chrono::steady_clock;

// Generating one 32,768-word roll block of sine samples through the front end.
void BM_SimulatedSampleGeneration(benchmark::State& state) {
    sim::InstrumentConfig config;
    config.channels[0] = {sim::SignalShape::Sine, 1000, 0.5, 0, state.range(0) ? 0.01 : 0.0};
    config.channels[1] = {sim::SignalShape::Square, 100, 0.2, 0, 0};
    config.fifoDepth = 1u << 30;
    sim::Instrument instrument(config);
    Steady::time_point now = Steady::time_point(std::chrono::hours(1));
    instrument.SetClock([&now] { return now; });
    std::vector<uint8_t> out;
    std::vector<uint8_t> image(54979);
    sim::StampFpgaHeader(image);  // an image the FPGA takes: without it the logic never runs
    const std::vector<uint8_t> announce = {0x20, 0x03, 0x5C, 0x21, 0x26, 0x0F, 0x14, 0x14, 0x26, 0x01, 0x80, 0x00};
    instrument.HandleRequest(0x220018, std::vector<uint8_t>(announce.begin(), announce.begin() + 4), 0, out);
    instrument.HandleRequest(0x22001C, image, 0, out);
    instrument.HandleRequest(0x220024, {}, 4, out);
    instrument.HandleRequest(0x220018, std::vector<uint8_t>(announce.begin() + 4, announce.end()), 0, out);
    std::vector<uint16_t> words(32768);
    for (auto _ : state) {
        now += std::chrono::microseconds(6554);  // 32,768 samples at 5 MS/s
        instrument.ReadRoll(words.data(), words.size());
        benchmark::DoNotOptimize(words.data());
    }
    if (words.back() == 0) state.SkipWithError("the simulated instrument delivered no samples");
    state.SetItemsProcessed(state.iterations() * 32768);
}
BENCHMARK(BM_SimulatedSampleGeneration)->Arg(0)->Arg(1);

// brask.so roll reads of 64 KB against the in-process simulator running at 5 MS/s.
void BM_BraskRollReadAt5MSps(benchmark::State& state) {
    char pattern[] = "/tmp/rmbench-XXXXXX";
    const std::filesystem::path dir = mkdtemp(pattern);
    setenv("ROLLMODE_DEVICE_DIR", dir.c_str(), 1);
    {
        sim::SimulatorConfig config;
        config.instrument.channels[0].shape = sim::SignalShape::Count;
        config.instrument.channels[1].shape = sim::SignalShape::Count;
        sim::Simulator simulator(config);
        auto brask = platform::DynamicLibrary::Load("brask.dll");
        if (!simulator.Start() || !brask) {
            state.SkipWithError("no simulator or brask.so");
        } else {
            auto init = brask.Bind<abi::USBInitDeviceFn>("USBInitDevice");
            auto configure = brask.Bind<abi::USBConfigureFPGAFn>("USBConfigureFPGA");
            auto write = brask.Bind<abi::USBSingleWriteFn>("USBSingleWrite");
            auto roll = brask.Bind<abi::USBRollFIFOReadFn>("USBRollFIFORead");
            init();
            std::vector<uint8_t> image(54979);
    sim::StampFpgaHeader(image);  // an image the FPGA takes: without it the logic never runs
            configure(image.data(), uint32_t(image.size()));
            write(1, 0x8000);
            std::vector<uint16_t> buffer(32768);
            uint64_t samples = 0, marks = 0;
            for (auto _ : state) {
                roll(1, buffer.data(), 65536);
                for (uint16_t w : buffer) {
                    samples += w > 2;
                    marks += w == 1;
                }
            }
            write(1, 0);
            state.counters["samples/s"] = benchmark::Counter(double(samples), benchmark::Counter::kIsRate);
            state.counters["overflow marks"] = double(marks);
        }
    }
    unsetenv("ROLLMODE_DEVICE_DIR");
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_BraskRollReadAt5MSps)->UseRealTime()->MinTime(2.0);

}  // namespace
