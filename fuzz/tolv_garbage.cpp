// tolv against a device that answers garbage: the first part of the input is the
// sequence of calls the host makes, the rest is what the device answers.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <vector>

#include "GarbageServer.h"
#include "TransportApi.h"

extern "C" {
uint32_t USBInitDevices(uint32_t* deviceList) noexcept;
intptr_t USBUseDevice(uint32_t index) noexcept;
}

namespace {

uint32_t g_failures = 0;
void ROLLMODE_STDCALL OnFailure(uint8_t) { ++g_failures; }

rollmode::fuzz::TransferBuffers g_buffers;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static rollmode::fuzz::GarbageServer server("FEA7AA24-D4E4-4956-ADE9-A2DECC05F7C2");
    FuzzedDataProvider input(data, size);
    const std::vector<uint8_t> calls = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 96));
    const std::vector<uint8_t> answers = input.ConsumeRemainingBytes<uint8_t>();
    server.SetScript(answers.data(), answers.size());

    USBSetCallBackFunction(&OnFailure);
    FuzzedDataProvider p(calls.data(), calls.size());
    if (p.ConsumeBool()) {
        uint32_t list[16];
        USBInitDevices(list);
        USBUseDevice(0);
    } else {
        USBInitDevice();
    }
    uint32_t sink = 0;
    while (p.remaining_bytes() > 0) {
        const uint8_t op = p.ConsumeIntegral<uint8_t>();
        const uint32_t a = p.ConsumeIntegral<uint16_t>();
        const uint32_t length = p.ConsumeIntegralInRange<uint32_t>(0, rollmode::fuzz::TransferBuffers::kMax);
        switch (op % 20) {
            case 0: sink += USBInitDevice(); break;
            case 1: sink += DeviceReady(); break;
            case 2: USBFlushBuffer(); break;
            case 3: sink += USBConfigureFPGA(g_buffers.out, length); break;
            case 4: sink += USBSingleRead(a); break;
            case 5: USBSingleWrite(a & 0xFF, a); break;
            case 6:  // enough unflushed writes to run the command buffer full
                for (uint32_t i = 0; i < (length & 0x7FFF); ++i) USBSingleWriteWithoutFlush(a & 0xFF, i);
                break;
            case 7: sink += USBFIFORead(a & 3, g_buffers.in, length); break;
            case 8: sink += USBFIFOWrite(a & 3, g_buffers.out, length); break;
            case 9: sink += USBRollFIFORead(1, g_buffers.in, length); break;
            case 10: sink += USBGetPacketSize(); break;
            case 11: sink += USBReadFromEEPROM(a); break;
            case 12: USBWriteToEEPROM(a, length); break;
            case 13: sink += USBGetDeviceID(); break;
            case 14: sink += USBSetShift(a, length); break;
            case 15: {
                uint32_t list[16];
                sink += USBInitDevices(a & 1 ? list : nullptr);
                break;
            }
            case 16: sink += static_cast<uint32_t>(USBUseDevice(a % 20)); break;
            default: {
                uint8_t version[2] = {};
                GetDriverVersion(version);
                sink += version[0];
                break;
            }
        }
    }
    USBFlushBuffer();
    server.EndIteration();
    (void)sink;
    return 0;
}
