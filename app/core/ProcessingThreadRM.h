#pragma once
// The consumer: hands every pending run of stream words to the active screen,
// appends it to the record file while saving, and shows the last word as live
// voltages (at most every 50 ms; the last word of a burst within 50 ms of the pause).
// Turns start at most every 10 ms: a run that comes alone is taken at once, the next
// one waits out the rest of the turn.
#include <atomic>
#include <cstdint>

#include "WorkerThread.h"

namespace rollmode::core {

class RollScreenView;
class TFlowManagerLyraRM;

// Counts overflow marks (word 1) in the stream, skipping the words of settings
// records (word 0, length 4..6, code, arguments), whose arguments may be 1. Keeps
// its place across runs, since a record may be split between two.
class TOverflowMarkCounter {
public:
    uint64_t Count(const uint16_t* words, uint32_t n);
    void Reset() { recordLeft_ = 0; }

private:
    static constexpr int32_t kLengthPending = -1;
    int32_t recordLeft_ = 0;  // words of the current settings record still to skip
};

class TProcessingThreadRM final : public TWorkerThread {
public:
    // Shortest time between two updates of the live voltages.
    static constexpr uint32_t kVoltageIntervalMs = 50;
    // Shortest time from the start of one turn (a run taken) to the next.
    static constexpr uint32_t kMinTurnMs = 10;

    TProcessingThreadRM(TFlowManagerLyraRM& flow, RollScreenView* screen);
    ~TProcessingThreadRM() override;

    // The user-interface thread switches screens while the thread runs.
    void SetScreen(RollScreenView* screen) { screen_.store(screen, std::memory_order_release); }
    RollScreenView* Screen() const { return screen_.load(std::memory_order_acquire); }

protected:
    void Execute() override;

private:
    TFlowManagerLyraRM& flow_;
    std::atomic<RollScreenView*> screen_;
    TOverflowMarkCounter marks_;
};

}  // namespace rollmode::core
