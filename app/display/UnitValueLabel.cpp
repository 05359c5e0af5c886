#include "UnitValueLabel.h"

namespace rollmode::display {

TUnitValueLabel::TUnitValueLabel(QWidget* parent) : TSafeLabel(parent) {}

void TUnitValueLabel::SetMainValue(double value) {
    if (std::this_thread::get_id() != uiThread_) {
        // The request is ordered after the store, so the tick that serves it reads this value.
        mainValue_.store(value, std::memory_order_relaxed);
        RequestSettle();
        return;
    }
    std::lock_guard<std::mutex> guard(formatLock_);
    mainValue_.store(value, std::memory_order_relaxed);
    Reformat();
}

void TUnitValueLabel::Settle() {
    std::lock_guard<std::mutex> guard(formatLock_);
    Reformat();
}

void TUnitValueLabel::SetControlType(int32_t type) {
    std::lock_guard<std::mutex> guard(formatLock_);
    controlType_.store(type, std::memory_order_relaxed);
    Reformat();
}

void TUnitValueLabel::SetValueInValid(bool invalid) {
    std::lock_guard<std::mutex> guard(formatLock_);
    valueInValid_.store(invalid, std::memory_order_relaxed);
    Reformat();
}

// Under formatLock_, so a setter's text and a tick's text reach the label in the order
// their values were read.
void TUnitValueLabel::Reformat() {
    const std::string text = FormatUnitValue(MainValue(), ControlType(), ValueInValid(), shownValue_);
    // The same reading comes back tick after tick while data flows; an unchanged text
    // costs neither a conversion nor a drawing. The texts are plain ASCII.
    const QLatin1String latin(text.data(), static_cast<qsizetype>(text.size()));
    if (!UpdatePending() && MyString() == latin) return;
    SetMyString(latin);
}

}  // namespace rollmode::display
