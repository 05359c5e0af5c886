#pragma once
// Large pixel buffers on huge pages.
//
// The screens touch their pictures and the window's backing store column by column, down
// every row, and every row of a wide picture lies on a page of its own. On small pages each
// of those rows costs an address translation that misses its cache; under a hypervisor that
// walk can cost a microsecond and more, far above the copy of the few pixels it is for.

#include <QImage>
#include <QSize>

#include <cstddef>
#include <cstdint>

#include "platform/HugePageMemory.h"

namespace rollmode::display {

// A picture of 2 MB or more on a mapping of its own, advised for huge pages; smaller ones,
// or where the mapping fails, an ordinary QImage. Both work alike.
QImage NewHugePagePicture(QSize size, QImage::Format format);

// The advice for memory that is not ours to map (Qt's backing store).
using platform::BackWithHugePages;

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
