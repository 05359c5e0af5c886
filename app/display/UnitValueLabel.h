#pragma once
// A label that shows a number with its unit. The core drives some of them from the
// processing thread (live voltages, record size) through ValueSink; every setter
// re-formats at once and hands the text to TSafeLabel, which keeps a hovered
// mouse-sensitive label's reading.
#include <atomic>
#include <cstdint>
#include <mutex>

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

private:
    void Reformat();

    std::mutex formatLock_;  // taken before the canvas lock, never after it
    std::atomic<double> mainValue_{0.0};
    std::atomic<int32_t> controlType_{0};
    std::atomic<bool> valueInValid_{false};
    double shownValue_ = 0.0;  // under formatLock_
};

}  // namespace rollmode::display
