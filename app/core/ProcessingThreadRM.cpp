#include "ProcessingThreadRM.h"

#include "DataSourceModuleLyraRM.h"
#include "FlowManagerLyraRM.h"
#include "VirtualScopeLyraRM.h"
#include "platform/Tick.h"
#include "platform/WordScan.h"
#include "ports/RollScreenView.h"

namespace rollmode::core {

uint64_t TOverflowMarkCounter::Count(const uint16_t* words, uint32_t n) {
    uint64_t marks = 0;
    uint32_t i = 0;
    while (i < n) {
        if (recordLeft_ == 0) {
            // Sample words are above 1: runs of them are passed over by a vector scan.
            i = platform::FirstWordAtMost(words, i, n, 1);
            if (i == n) break;
        }
        const uint16_t w = words[i++];
        if (recordLeft_ != 0) {
            // The length counts the word 0 and itself; an impossible length ends the record.
            if (recordLeft_ == kLengthPending)
                recordLeft_ = w >= 4 && w <= 6 ? w - 2 : 0;
            else
                --recordLeft_;
            continue;
        }
        if (w == 0)
            recordLeft_ = kLengthPending;
        else if (w == 1)
            ++marks;
    }
    return marks;
}

TProcessingThreadRM::TProcessingThreadRM(TFlowManagerLyraRM& flow, RollScreenView* screen)
    : flow_(flow), screen_(screen) {}

TProcessingThreadRM::~TProcessingThreadRM() { Join(nullptr); }

void TProcessingThreadRM::Execute() {
    TDataSourceModuleLyraRM& ring = *flow_.DataSourceInstance();
    TVirtualScopeLyraRM& scope = *flow_.VirtualScope();
    // The live voltages would change with every block (150 a second at the highest rate), each
    // change drawing two texts and repainting two labels; nobody reads that fast. They follow
    // the stream at most every kVoltageIntervalMs. A word held back waits no longer than the
    // rest of its interval for more data, so the last word of a burst is shown within one
    // interval, not after the ring's read wait.
    uint32_t lastVoltageTick = platform::TickCount() - kVoltageIntervalMs;
    bool voltagePending = false;
    uint16_t pendingWord = 0;
    const auto showVoltage = [&](bool idle) {
        if (!voltagePending) return;
        const uint32_t now = platform::TickCount();
        if (!idle && now - lastVoltageTick < kVoltageIntervalMs) return;
        scope.SetActualVoltage(pendingWord);
        lastVoltageTick = now;
        voltagePending = false;
    };
    const auto readWait = [&] {
        if (!voltagePending) return TDataSourceModuleLyraRM::kReadWaitMs;
        const uint32_t since = platform::TickCount() - lastVoltageTick;
        return since >= kVoltageIntervalMs ? 0u : kVoltageIntervalMs - since;
    };
    // One run: drawn, appended while saving, counted for loss marks, its last word kept for
    // the voltages.
    const auto take = [&](const uint16_t* p, int32_t n) {
        if (RollScreenView* screen = Screen()) screen->ProcessBlock(p, static_cast<uint32_t>(n));
        scope.AppendToRecordFile(p, static_cast<uint32_t>(n));
        if (const uint64_t lost = marks_.Count(p, static_cast<uint32_t>(n))) scope.AddLostDataMarks(lost);
        // A block ending in a record or marker only repaints the voltages: it does not
        // replace a sample held back.
        if (!voltagePending || (p[n - 1] >> 8) != 0) pendingWord = p[n - 1];
        voltagePending = true;
        ring.CommitRead(n);
    };
    while (!Terminated()) {
        int32_t n = 0;
        const bool heldBack = voltagePending;
        const uint16_t* p = ring.GetReadBuffer(n, readWait());
        if (!p && heldBack) {
            // The stream paused within the interval: the word held back is the last one.
            showVoltage(true);
            continue;
        }
        if (!p) {
            // Idle: runs the record file still gathers go to disk now.
            scope.FlushRecordFile();
            showVoltage(true);
            platform::SleepMs(2);
            continue;
        }
        if (n <= 0) {
            ring.CommitRead(0);
            showVoltage(true);
            continue;
        }
        const uint32_t turnStart = platform::TickCount();
        take(p, n);
        showVoltage(false);
        // At the highest rates the acquisition commits a block every few milliseconds, and
        // waking for each (a wake-up across processors, the writer's futex call) costs more
        // than handling it. A turn of a quarter of the shortest paint interval keeps the
        // columns a paint brings as even as single blocks did: longer turns beat against the
        // paints, which then move by two turns' columns and three in turn.
        const uint32_t spent = platform::TickCount() - turnStart;
        if (spent < kMinTurnMs) platform::SleepMs(kMinTurnMs - spent);
    }
    // The acquisition is stopped first: what it committed up to its end still reaches the
    // screen and the record file, though termination came while this thread slept or drew.
    // At most two runs, the words before the wrap point and those after it: a writer that
    // still ran could not keep the thread here.
    for (int runs = 0; runs < 2; ++runs) {
        int32_t n = 0;
        const uint16_t* p = ring.GetReadBuffer(n, 0);
        if (!p || n <= 0) break;
        take(p, n);
    }
    showVoltage(true);
}

}  // namespace rollmode::core
