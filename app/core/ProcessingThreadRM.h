#pragma once
// The consumer: hands every pending run of stream words to the active screen,
// appends it to the record file while saving, and shows the last word as live
// voltages.
#include <atomic>

#include "WorkerThread.h"

namespace rollmode::core {

class RollScreenView;
class TFlowManagerLyraRM;

class TProcessingThreadRM final : public TWorkerThread {
public:
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
};

}  // namespace rollmode::core
