// The driver's data-read command (code 14) on arbitrary FIFO contents and settings:
// the roll data path's entry stage, read, trigger search, ARM marking and ground
// substitution, fed by an in-process FIFO reader that hands out the fuzz words.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "RollDataPath.h"

using namespace rollmode::driver;

namespace {

// What the next FIFO reads deliver: words, then zeros (empty positions) to the block end.
FuzzedDataProvider* g_fifo = nullptr;
bool g_transferFails = false;

uint32_t ROLLMODE_STDCALL ReadFifo(uint32_t, void* buffer, uint32_t length) {
    const uint32_t capacity = length / 2;
    const uint32_t words = g_fifo->ConsumeIntegralInRange<uint32_t>(0, capacity);
    const std::vector<uint8_t> bytes = g_fifo->ConsumeBytes<uint8_t>(size_t(words) * 2);
    std::memset(buffer, 0, length);
    if (!bytes.empty()) std::memcpy(buffer, bytes.data(), bytes.size());
    return g_transferFails ? 0 : 1;
}

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "%s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::vector<uint16_t>* block = new std::vector<uint16_t>(kRollBlockWords);
    FuzzedDataProvider p(data, size);
    RollDataPath path;
    path.triggerFlags = p.ConsumeIntegral<uint8_t>() & 0x0F;
    path.armFlags = p.ConsumeIntegral<uint8_t>() & 0x3F;
    path.triggerRelationAnd = p.ConsumeBool();
    path.recordFree = p.ConsumeBool();
    for (int c = 0; c < 2; ++c) {
        // Thresholds come from levels in device codes: mostly within a sample's range.
        path.triggerThreshold[c] = p.ConsumeIntegralInRange<int32_t>(-300, 600);
        if (p.ConsumeBool()) {
            // A level of any size, as a hand-edited settings file may give it: its threshold
            // stays on the level's side of the zero code.
            const int32_t zero = p.ConsumeIntegralInRange<int32_t>(0, 255);
            const double perCode = p.ConsumeFloatingPointInRange<double>(10 * 8 / 255.0, 5000000 * 8 / 255.0);
            const int32_t level = p.ConsumeIntegral<int32_t>();
            path.triggerThreshold[c] = ThresholdForLevel(zero, perCode, level);
            Check(level >= 0 ? path.triggerThreshold[c] >= zero : path.triggerThreshold[c] <= zero,
                  "a threshold on the wrong side of the zero code");
        }
        path.armThreshold[c] = p.ConsumeIntegralInRange<int32_t>(-300, 600);
        path.ground[c] = p.ConsumeBool();
        path.groundZeroCode[c] = p.ConsumeIntegralInRange<int32_t>(-300, 600);
    }
    path.SelectProcessor();
    path.SelectEntry();
    uint8_t failure = 0;
    FailureFlag flag;
    flag.Bind(&failure);
    path.SetSource(&ReadFifo, &flag);
    g_fifo = &p;

    // Several reads in a row, so that the trigger and ARM states carry across blocks.
    for (int read = 0; read < 4 && p.remaining_bytes() > 0; ++read) {
        const uint8_t how = p.ConsumeIntegral<uint8_t>();
        g_transferFails = (how & 0x07) == 0;
        failure = (how & 0x38) == 0 ? 1 : 0;
        // The command always passes the whole block; shorter ranges run the same code
        // on the words that carry data, and much faster.
        const uint32_t end = (how >> 6) == 3 ? kRollBlockWords : 1024u << (how >> 6);
        uint32_t count = 0xFFFFFFFF;
        path.RunEntry(block->data(), &count, 0, end);
        Check(count <= kRollBlockWords, "more words delivered than the block holds");
        if (path.entry == EntryStage::Plain)
            for (uint32_t i = 0; i < count; ++i) Check((*block)[i] != 0, "an empty position was delivered");
    }
    g_fifo = nullptr;
    return 0;
}
