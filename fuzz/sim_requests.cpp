// The simulated instrument on garbage requests: a sequence of device-control requests,
// each with any code, input and output capacity, straight into the endpoint.
#include <fuzzer/FuzzedDataProvider.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "sim/Instrument.h"

using namespace rollmode::sim;

namespace {
// The device-control codes of the device protocol.
constexpr uint32_t kSendCommands = 0x220018, kBulkWrite = 0x22001C, kBulkRead = 0x220024, kReadyProbe = 0x220028,
                   kPacketSize = 0x22002C, kDeviceIdentifier = 0x220030;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider p(data, size);
    InstrumentConfig config;
    config.validCalibration = p.ConsumeBool();
    config.packetSize = p.ConsumeIntegral<uint16_t>();
    config.fifoDepth = p.ConsumeIntegralInRange<uint32_t>(0, 1u << 20);
    config.externalArm.frequency = p.ConsumeBool() ? 1000.0 : 0.0;
    Instrument instrument(config);
    // Time is the input's: each request may let some of it pass.
    auto now = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
    instrument.SetClock([&now] { return now; });
    instrument.SetRollWait(std::chrono::milliseconds(0));

    std::vector<uint8_t> out;
    static constexpr uint32_t kCodes[] = {kSendCommands, kBulkWrite, kBulkRead, kReadyProbe, kPacketSize,
                                          kDeviceIdentifier};
    while (p.remaining_bytes() > 0) {
        const uint8_t pick = p.ConsumeIntegral<uint8_t>();
        const uint32_t code = pick < 240 ? kCodes[pick % 6] : p.ConsumeIntegral<uint32_t>();
        // The device server never asks for more than 1 MiB.
        const uint32_t capacity = p.ConsumeBool() ? p.ConsumeIntegralInRange<uint32_t>(0, 64)
                                                  : p.ConsumeIntegralInRange<uint32_t>(0, 1u << 20);
        now += std::chrono::microseconds(p.ConsumeIntegralInRange<uint32_t>(0, 2000000));
        std::vector<uint8_t> in = p.ConsumeBytes<uint8_t>(p.ConsumeIntegralInRange<size_t>(0, 512));
        // The wait command would sleep for real; the input's time passes instead.
        if (code == kSendCommands)
            for (size_t i = 0; i + 4 <= in.size(); i += 4)
                if (in[i] == 0x35) in[i + 1] = 0;
        out.clear();
        instrument.HandleRequest(code, in, capacity, out);
    }
    (void)instrument.Overflows();
    return 0;
}
