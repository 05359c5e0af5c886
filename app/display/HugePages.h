#pragma once
// Large pixel buffers on huge pages.
//
// The screens touch their pictures and the window's backing store column by column, down
// every row, and every row of a wide picture lies on a page of its own. On small pages each
// of those rows costs an address translation that misses its cache; under a hypervisor that
// walk goes through two page tables and can cost a microsecond and more, far above the copy
// of the few pixels it is for. Huge pages hold 2 MB each, so a whole picture needs a handful.

#include <QImage>
#include <QSize>

#include <cstddef>
#include <cstdint>

namespace rollmode::display {

// A picture of 2 MB or more on a mapping of its own, advised for huge pages; smaller ones,
// or where the mapping fails, an ordinary QImage. Both work alike.
QImage NewHugePagePicture(QSize size, QImage::Format format);

// Asks for huge pages on the whole huge pages inside [data, data + bytes) and has the
// system move what is already there onto them at once. Memory need not be ours to map:
// this is advice only, and a system without huge pages leaves everything as it was.
// Returns the bytes advised (0 when no whole huge page lies inside).
std::size_t BackWithHugePages(const void* data, std::size_t bytes);

// Moves the window's backing store (memory Qt owns, reallocated at every resize) onto huge
// pages once it has stayed at one place for a while, so that a window being dragged to a
// new size does not pay for moving every intermediate store.
class TBackingStorePages {
public:
    static constexpr int64_t kSettleMs = 1000;

    // Called on paints with the store's memory and the time in ms; returns the bytes it
    // advised on this call (0 on all but the one call that settles a store).
    std::size_t Follow(const void* data, std::size_t bytes, int64_t nowMs);

private:
    const void* data_ = nullptr;
    std::size_t bytes_ = 0;
    int64_t since_ = 0;
    bool done_ = false;
};

}  // namespace rollmode::display
