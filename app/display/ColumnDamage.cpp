#include "ColumnDamage.h"

#include <algorithm>
#include <climits>

namespace rollmode::display {

void TColumnDamage::SetWidth(int width) {
    width_ = std::max(width, 0);
    MarkAll();
}

void TColumnDamage::MarkAll() {
    all_ = true;
    count_ = 0;
    scrolled_ = 0;
    last_ = {0, width_};  // every further mark is already covered
}

void TColumnDamage::Clear() {
    all_ = false;
    count_ = 0;
    scrolled_ = 0;
    last_ = {};
}

void TColumnDamage::MarkRange(int x0, int x1) {
    x0 = std::max(x0, 0);
    x1 = std::min(x1, width_);
    if (all_ || x0 >= x1) return;
    Insert(x0, x1);
}

// Runs that overlap or touch [x0, x1) are absorbed into it; the result goes in sorted.
void TColumnDamage::Insert(int x0, int x1) {
    int out = 0;
    int at = -1;
    for (int i = 0; i < count_; ++i) {
        const Run r = runs_[i];
        if (r.end < x0 || r.begin > x1) {
            if (at < 0 && r.begin > x1) at = out;
            runs_[out++] = r;
        } else {
            x0 = std::min(x0, r.begin);
            x1 = std::max(x1, r.end);
        }
    }
    if (at < 0) at = out;
    std::move_backward(runs_.begin() + at, runs_.begin() + out, runs_.begin() + out + 1);
    runs_[at] = {x0, x1};
    count_ = out + 1;
    last_ = runs_[at];
    if (count_ > kMaxRuns) JoinClosest();
}

void TColumnDamage::JoinClosest() {
    int best = 0, gap = INT_MAX;
    for (int i = 0; i + 1 < count_; ++i) {
        const int g = runs_[i + 1].begin - runs_[i].end;
        if (g < gap) {
            gap = g;
            best = i;
        }
    }
    runs_[best].end = runs_[best + 1].end;
    std::move(runs_.begin() + best + 2, runs_.begin() + count_, runs_.begin() + best + 1);
    --count_;
    last_ = runs_[best];
}

void TColumnDamage::Scroll(int n) {
    if (n <= 0 || all_) return;
    if (n >= width_ - scrolled_) {
        MarkAll();
        return;
    }
    scrolled_ += n;
    int out = 0;
    for (int i = 0; i < count_; ++i) {
        const Run r{std::max(runs_[i].begin - n, 0), runs_[i].end - n};
        if (r.end > r.begin) runs_[out++] = r;
    }
    count_ = out;
    last_ = {};
}

}  // namespace rollmode::display
