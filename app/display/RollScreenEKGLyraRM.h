#pragma once
// The cardiogram roll screen: a cursor sweeps from the left edge to the right edge,
// each new column is drawn at the cursor over the previous sweep, and the cursor
// returns to the left after the position just beyond the right edge.
#include "RollScreenParentLyraRM.h"

namespace rollmode::display {

class TRollScreenEKGLyraRM : public TRollScreenParentLyraRM {
    Q_OBJECT

public:
    explicit TRollScreenEKGLyraRM(QWidget* parent = nullptr);

    void PrepareDisplay() override;
    void ClearDisplay() override;

    // Where the next column goes: 0 .. Width (Width itself lies just off the picture).
    int SweepCursor() const { return cursor_; }

protected:
    void RepaintScreen() override;

private:
    void DrawGrid(int start, int length);
    // Draws the n newest columns, entries s ... s + n - 1, at the cursor.
    void SweepInColumns(int n, int s);
    void DrawNewColumns(int n, int s) override { SweepInColumns(n, s); }
    void StepCursor(int& x) const { x = x + 1 > ImageWidth() ? 0 : x + 1; }
    // One column at x in the dot or band variants (not trace lines).
    void DrawColumn(int x, int index);

    int cursor_ = 0;
};

}  // namespace rollmode::display
