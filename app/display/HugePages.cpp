#include "HugePages.h"

#include <sys/mman.h>

namespace rollmode::display {

namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
#ifndef MADV_COLLAPSE
constexpr int MADV_COLLAPSE = 25;  // Linux 6.1; older C libraries lack the name
#endif
}  // namespace

QImage NewHugePagePicture(QSize size, QImage::Format format) {
    const qsizetype stride = static_cast<qsizetype>(size.width()) * 4;
    const std::size_t bytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(size.height());
    if (bytes < kHugePage) return QImage(size, format);
    const std::size_t length = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    // Mapped with a huge page to spare, then cut to a start on a huge-page boundary.
    void* raw = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return QImage(size, format);
    const auto base = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t start = (base + kHugePage - 1) & ~(kHugePage - 1);
    if (start > base) munmap(raw, start - base);
    if (base + kHugePage > start) munmap(reinterpret_cast<void*>(start + length), base + kHugePage - start);
    madvise(reinterpret_cast<void*>(start), length, MADV_HUGEPAGE);
    struct Mapping {
        void* start;
        std::size_t length;
    };
    auto* mapping = new Mapping{reinterpret_cast<void*>(start), length};
    return QImage(
        static_cast<uchar*>(mapping->start), size.width(), size.height(), stride, format,
        [](void* info) {
            auto* m = static_cast<Mapping*>(info);
            munmap(m->start, m->length);
            delete m;
        },
        mapping);
}

std::size_t BackWithHugePages(const void* data, std::size_t bytes) {
    const auto begin = reinterpret_cast<uintptr_t>(data);
    const uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t last = (begin + bytes) & ~(kHugePage - 1);
    if (data == nullptr || last <= first) return 0;
    void* p = reinterpret_cast<void*>(first);
    const std::size_t n = last - first;
    if (madvise(p, n, MADV_HUGEPAGE) != 0) return 0;
    // Pages already in place stay small until the system's background scan comes by, which
    // takes minutes; the collapse moves them now. It fails where huge pages are not to be had,
    // and the advice still takes effect there as they become available.
    (void)madvise(p, n, MADV_COLLAPSE);
    return n;
}

std::size_t TBackingStorePages::Follow(const void* data, std::size_t bytes, int64_t nowMs) {
    if (data != data_ || bytes != bytes_) {
        data_ = data;
        bytes_ = bytes;
        since_ = nowMs;
        done_ = false;
        return 0;
    }
    if (done_ || nowMs - since_ < kSettleMs) return 0;
    done_ = true;
    return BackWithHugePages(data, bytes);
}

}  // namespace rollmode::display
