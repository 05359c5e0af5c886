#pragma once
// The producer: carries settings from the model to the virtual driver, reads
// sample blocks into the ring buffer, counts defined-length measurements, drives
// the indicator lamps and recovers from a lost device.
#include <atomic>
#include <cstdint>

#include "WorkerThread.h"

namespace rollmode::core {

class IndicatorLamp;
class TFlowManagerLyraRM;

class TAcquisitionThreadRM final : public TWorkerThread {
public:
    explicit TAcquisitionThreadRM(TFlowManagerLyraRM& flow);
    ~TAcquisitionThreadRM() override;

    // Copies every transferred setting from the model into the driver under the
    // model's settings lock, then takes back set-back levels and zero codes.
    void TransferSettings();
    // The same with every driver setter forced to re-send its value.
    void ForcedTransfer();

    void SetLamps(IndicatorLamp* arm, IndicatorLamp* trigger);
    bool Running() const { return running_.load(std::memory_order_relaxed); }
    int32_t LastBlockCount() const { return lastBlockCount_.load(std::memory_order_relaxed); }

protected:
    void Execute() override;

private:
    // One pass of the loop; false when the thread must end (the ring was shut).
    bool Pass();
    bool ShouldRead() const;
    void UpdateIndicators();
    void CopySettingsRecords();
    // Moves the driver's command batch into the stream.
    void CommitCommandBatch();
    void RecoverDevice();

    TFlowManagerLyraRM& flow_;
    std::atomic<bool> running_{false};
    std::atomic<int32_t> lastBlockCount_{0};
    std::atomic<IndicatorLamp*> armLed_{nullptr};
    std::atomic<IndicatorLamp*> triggerLed_{nullptr};
};

}  // namespace rollmode::core
