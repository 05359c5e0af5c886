#include "LostDataLabel.h"

#include <cmath>
#include <limits>

#include "ResourceStringsLyraRM.h"

namespace rollmode::display {

std::string LostDataText(std::uint64_t marks) {
    if (marks == 0) return {};
    return strings::FormatText(strings::kLabelDataLost, std::to_string(marks));
}

TLostDataLabel::TLostDataLabel(QWidget* parent) : QLabel(parent) {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, QColor(255, 0, 0));
    setPalette(p);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void TLostDataLabel::SetMainValue(double value) {
    // Counts come from a 64-bit counter; anything else is taken as none.
    const bool sound = std::isfinite(value) && value >= 0.0;
    const std::uint64_t marks =
        !sound ? 0
               : (value >= 18446744073709551615.0 ? std::numeric_limits<std::uint64_t>::max()
                                                   : static_cast<std::uint64_t>(value));
    marks_ = marks;
    const QString shown = QString::fromLatin1(LostDataText(marks).c_str());
    if (text() != shown) setText(shown);
}

}  // namespace rollmode::display
