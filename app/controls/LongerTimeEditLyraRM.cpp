#include "LongerTimeEditLyraRM.h"

#include "EditFormats.h"

namespace rollmode::controls {

TLongerTimeEditLyraRM::TLongerTimeEditLyraRM(QWidget* parent) : TValueEditLyra(parent) { SetTimeValue(0.0); }

void TLongerTimeEditLyraRM::SetTimeValue(double milliseconds) {
    // Zero is stored too, so the value always matches the "0s" it shows.
    timeValue_ = milliseconds;
    setText(QString::fromStdString(TimeText(milliseconds)));
}

bool TLongerTimeEditLyraRM::Accepts(char32_t c) const { return TimeEditAccepts(c); }

bool TLongerTimeEditLyraRM::ApplyText() {
    const auto value = ParseTimeText(text().toStdString());
    if (!value) {
        clear();
        return false;
    }
    timeValue_ = *value;
    return true;
}

}  // namespace rollmode::controls
