#pragma once
// The scrolling roll screen: the picture moves left one pixel per new column and the
// newest column is always at the right edge.
//
// The picture is ring-addressed: scrolling by n columns moves the picture's origin by
// n instead of copying the image onto itself, and only the n new columns are drawn.
// The widget joins the two halves when it paints.
#include "RollScreenParentLyraRM.h"

namespace rollmode::display {

class TRollScreenShiftLyraRM : public TRollScreenParentLyraRM {
    Q_OBJECT

public:
    explicit TRollScreenShiftLyraRM(QWidget* parent = nullptr);

    void PrepareDisplay() override;
    void ClearDisplay() override;

    int GridPhase() const { return gridPhase_; }
    int PendingGridWidth() const { return pendingGridWidth_; }

protected:
    void RepaintScreen() override;

private:
    // Grid for n columns just scrolled in; 0 draws the whole screen's grid.
    void DrawGrid(int n);
    // Moves the picture left by n and draws the n newest columns, entries s ... s + n - 1.
    void ScrollInColumns(int n, int s);
    void DrawNewColumns(int n, int s) override { ScrollInColumns(n, s); }
    void ResetPicture();

    int gridPhase_ = 0;
    int pendingGridWidth_ = 0;
};

}  // namespace rollmode::display
