#pragma once
// A label that shows a number with its unit. The core drives some of them from the
// processing thread (live voltages, record size) through ValueSink. On the user-interface
// thread every setter re-formats at once; a value from another thread is only stored, and
// formatted at the repaint clock's next tick on the user-interface thread, so the file size
// that grows with every block costs the processing thread no formatting and no allocation.
// TSafeLabel keeps a hovered mouse-sensitive label's reading.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "SafeLabel.h"
#include "UnitValueFormat.h"
#include "ports/ValueSink.h"

namespace rollmode::display {

class TUnitValueLabel : public TSafeLabel, public core::ValueSink {
    Q_OBJECT

public:
    explicit TUnitValueLabel(QWidget* parent = nullptr);

    // Any thread.
    double MainValue() const override { return mainValue_.load(std::memory_order_relaxed); }
    void SetMainValue(double value) override;
    int32_t ControlType() const noexcept { return controlType_.load(std::memory_order_relaxed); }
    void SetControlType(int32_t type);
    bool ValueInValid() const noexcept { return valueInValid_.load(std::memory_order_relaxed); }
    void SetValueInValid(bool invalid);

protected:
    void Settle() override;

private:
    void Reformat();

    std::mutex formatLock_;  // taken before the canvas lock, never after it
    std::atomic<double> mainValue_{0.0};
    std::atomic<int32_t> controlType_{0};
    std::atomic<bool> valueInValid_{false};
    double shownValue_ = 0.0;  // under formatLock_
    const std::thread::id uiThread_ = std::this_thread::get_id();  // labels are made there
};

}  // namespace rollmode::display
