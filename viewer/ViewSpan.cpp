#include "ViewSpan.h"

#include <algorithm>
#include <cmath>

namespace rollmode::viewer {

void TViewSpan::SetColumns(int columns) {
    const bool atEnd = AtEnd();
    columns_ = std::max(1, columns);
    Clamp();
    if (whole_) ShowWhole();
    else if (atEnd) ShowEnd();
}

void TViewSpan::SetLimits(uint64_t begin, uint64_t end) {
    begin_ = begin;
    end_ = std::max(begin, end);
    Clamp();
}

void TViewSpan::Grow(uint64_t end) {
    const bool follow = AtEnd();
    end_ = std::max(begin_, end);
    Clamp();
    // The whole measurement stays whole as it grows; a closer view keeps its zoom.
    if (whole_) ShowWhole();
    else if (follow) ShowEnd();
}

double TViewSpan::MaxPerColumn() const {
    const double span = static_cast<double>(end_ - begin_);
    return std::max(span / columns_, 1.0 / kMaxColumnsPerInstant);
}

void TViewSpan::Clamp() {
    perColumn_ = std::clamp(perColumn_, 1.0 / kMaxColumnsPerInstant, std::max(MaxPerColumn(), 1.0));
    const double lastFirst = std::max(static_cast<double>(begin_), static_cast<double>(end_) - perColumn_ * columns_);
    first_ = std::clamp(first_, static_cast<double>(begin_), lastFirst);
}

bool TViewSpan::AtEnd() const {
    // Within one column of the end, or the data do not fill the view yet.
    return Last() >= static_cast<double>(end_) - perColumn_;
}

void TViewSpan::ShowWhole() {
    whole_ = true;
    perColumn_ = MaxPerColumn();
    first_ = static_cast<double>(begin_);
    Clamp();
}

void TViewSpan::ZoomAbout(double factor, double column) {
    if (!(factor > 0.0)) return;
    const double anchor = InstantAt(column);
    whole_ = false;
    perColumn_ *= factor;
    Clamp();
    first_ = anchor - column * perColumn_;
    Clamp();
}

void TViewSpan::ZoomToColumns(double from, double to) {
    if (to < from) std::swap(from, to);
    if (to - from < 1.0) return;
    const double first = InstantAt(from);
    whole_ = false;
    perColumn_ = (to - from) * perColumn_ / columns_;
    first_ = first;
    Clamp();
}

void TViewSpan::PanColumns(double columns) {
    first_ += columns * perColumn_;
    Clamp();
}

void TViewSpan::PanTo(double firstInstant) {
    first_ = firstInstant;
    Clamp();
}

void TViewSpan::ShowStart() { PanTo(static_cast<double>(begin_)); }

void TViewSpan::ShowEnd() { PanTo(static_cast<double>(end_)); }

}  // namespace rollmode::viewer
