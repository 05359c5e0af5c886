// brask against a device that answers garbage: the first part of the input is the
// sequence of calls the host makes, the rest is what the device answers.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "GarbageServer.h"
#include "TransportApi.h"

extern "C" {
uint32_t USBRawWrite(const void* data, uint32_t length) noexcept;
uint32_t USBGetPowerState() noexcept;
void USBSetCPLDPort(uint32_t port) noexcept;
uint32_t USBGetTDO() noexcept;
void USBResetTDOBuffer() noexcept;
void USBAddTDOToBuffer() noexcept;
uint32_t USBGetTDOFromBuffer() noexcept;
void USBWaitMs(uint32_t milliseconds) noexcept;
uint32_t USBGetCPLDID() noexcept;
}

namespace {

uint32_t g_failures = 0;
void ROLLMODE_STDCALL OnFailure(uint8_t) { ++g_failures; }

rollmode::fuzz::TransferBuffers g_buffers;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static rollmode::fuzz::GarbageServer server("710177AB-8588-4E5C-89EF-67E2A92E861E");
    FuzzedDataProvider input(data, size);
    const std::vector<uint8_t> calls = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 96));
    const std::vector<uint8_t> answers = input.ConsumeRemainingBytes<uint8_t>();
    server.SetScript(answers.data(), answers.size());

    USBSetCallBackFunction(&OnFailure);
    USBResetTDOBuffer();
    USBInitDevice();
    FuzzedDataProvider p(calls.data(), calls.size());
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
            case 6: USBSingleWriteWithoutFlush(a & 0xFF, a); break;
            case 7: sink += USBFIFORead(a & 3, g_buffers.in, length); break;
            case 8: sink += USBFIFOWrite(a & 3, g_buffers.out, length); break;
            case 9: sink += USBRollFIFORead(1, g_buffers.in, length); break;
            case 10: sink += USBGetPacketSize(); break;
            case 11: sink += USBReadFromEEPROM(a); break;
            case 12: USBWriteToEEPROM(a, length); break;
            case 13: sink += USBGetDeviceID() + USBGetPowerState() + USBGetCPLDID(); break;
            case 14: sink += USBRawWrite(g_buffers.out, length); break;
            case 15: USBSetCPLDPort(a); sink += USBGetTDO(); break;
            case 16: USBResetTDOBuffer(); break;
            case 17:  // a JTAG read-back run: many captures, then the bits
                for (uint32_t i = 0; i < (a & 0x3FF); ++i) USBAddTDOToBuffer();
                for (uint32_t i = 0; i < (length & 0x3FF); ++i) sink += USBGetTDOFromBuffer();
                break;
            case 18: USBWaitMs(a); break;
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
