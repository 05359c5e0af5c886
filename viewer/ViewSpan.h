#pragma once
// The visible stretch of one measurement: the instant at the left edge and the instants
// per pixel column. Zoom and pan keep it inside the measurement; a view shorter than
// the data sits at the measurement's start. Plain arithmetic, no Qt.
#include <cstdint>

namespace rollmode::viewer {

class TViewSpan {
public:
    // Closest zoom: this many pixel columns per instant.
    static constexpr double kMaxColumnsPerInstant = 64.0;

    void SetColumns(int columns);
    // The measurement's instants [begin, end). Keeps the view where it is when it can.
    void SetLimits(uint64_t begin, uint64_t end);
    // Follows growth: the whole measurement stays whole, a view that showed the end
    // keeps showing it at its zoom.
    void Grow(uint64_t end);

    void ShowWhole();
    // Multiplies the instants per column by `factor`, keeping the instant under
    // `column` in place.
    void ZoomAbout(double factor, double column);
    // Shows the columns [from, to) of the present view across the whole width.
    void ZoomToColumns(double from, double to);
    void PanColumns(double columns);
    void PanTo(double firstInstant);
    void ShowStart();
    void ShowEnd();

    double First() const { return first_; }
    double PerColumn() const { return perColumn_; }
    int Columns() const { return columns_; }
    uint64_t Begin() const { return begin_; }
    uint64_t End() const { return end_; }
    double Last() const { return first_ + perColumn_ * columns_; }
    bool AtEnd() const;
    bool Whole() const { return whole_; }

    double ColumnOf(double instant) const { return (instant - first_) / perColumn_; }
    double InstantAt(double column) const { return first_ + column * perColumn_; }

private:
    double MaxPerColumn() const;
    void Clamp();

    int columns_ = 1;
    uint64_t begin_ = 0, end_ = 0;
    double first_ = 0.0;
    double perColumn_ = 1.0;
    bool whole_ = false;  // ShowWhole() and no zoom since
};

}  // namespace rollmode::viewer
