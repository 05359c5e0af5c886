#include "UnitValueLabel.h"

namespace rollmode::display {

TUnitValueLabel::TUnitValueLabel(QWidget* parent) : TSafeLabel(parent) {}

void TUnitValueLabel::SetMainValue(double value) {
    std::lock_guard<std::mutex> guard(formatLock_);
    mainValue_.store(value, std::memory_order_relaxed);
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

// Under formatLock_, so two threads' values reach the label in the order they were
// stored.
void TUnitValueLabel::Reformat() {
    const std::string text = FormatUnitValue(MainValue(), ControlType(), ValueInValid(), shownValue_);
    // The processing thread repeats the same reading block after block; an unchanged
    // text costs neither a conversion nor a drawing. The texts are plain ASCII.
    const QLatin1String latin(text.data(), static_cast<qsizetype>(text.size()));
    if (!UpdatePending() && MyString() == latin) return;
    SetMyString(latin);
}

}  // namespace rollmode::display
