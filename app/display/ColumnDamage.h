#pragma once
// What of a roll screen's picture changed since the window last showed it: a few runs of
// pixel columns in the screen's logical coordinates (x = 0 at the left edge), and how far
// the whole picture has moved left meanwhile. The drawing primitives mark what they touch;
// the GUI thread takes the damage when it paints, so only changed columns reach the window.
// Both happen under the picture's lock. Qt-free; no allocation after construction.
#include <array>
#include <cstdint>
#include <span>

namespace rollmode::display {

class TColumnDamage {
public:
    // More separate runs than this are joined across their smallest gap: a paint of a few
    // unchanged columns costs less than many small paints.
    static constexpr int kMaxRuns = 4;

    struct Run {
        int begin = 0, end = 0;  // columns [begin, end)
    };

    // A new picture width: everything counts as changed.
    void SetWidth(int width);
    int Width() const { return width_; }

    // The whole picture changed (a full redraw, a reset).
    void MarkAll();
    // Columns [x0, x1) changed; clipped to the picture.
    void MarkRange(int x0, int x1);
    // One column changed: called per pixel, so the run marked last answers at once.
    void Mark(int x) {
        if (x >= last_.begin && x < last_.end) return;
        MarkRange(x, x + 1);
    }

    // The picture moved left by n columns: marked runs move with it, and once it has moved
    // by its width or more nothing of what the window shows can be kept.
    void Scroll(int n);

    // Nothing to show.
    bool Empty() const { return !all_ && count_ == 0 && scrolled_ == 0; }
    // Everything is to be shown anew.
    bool All() const { return all_; }
    // Columns the picture moved left since the damage was last taken (0 when All()).
    int Scrolled() const { return all_ ? 0 : scrolled_; }
    // Changed runs, sorted, disjoint and not touching (empty when All()).
    std::span<const Run> Runs() const { return {runs_.data(), all_ ? 0u : static_cast<size_t>(count_)}; }

    // The window has been brought up to date.
    void Clear();

private:
    void Insert(int x0, int x1);
    void JoinClosest();

    std::array<Run, kMaxRuns + 1> runs_{};
    int count_ = 0;
    int width_ = 0;
    int scrolled_ = 0;
    bool all_ = false;
    Run last_{};  // the run a column was last marked in; empty when none
};

}  // namespace rollmode::display
