#include "HugePages.h"

namespace rollmode::display {

QImage NewHugePagePicture(QSize size, QImage::Format format) {
    const qsizetype stride = static_cast<qsizetype>(size.width()) * 4;
    const std::size_t bytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(size.height());
    if (bytes < platform::kHugePageBytes) return QImage(size, format);
    platform::HugePageMemory memory(bytes);
    if (memory.Data() == nullptr) return QImage(size, format);
    struct Mapping {
        void* start;
        std::size_t length;
    };
    const std::size_t length = memory.Length();
    auto* mapping = new Mapping{memory.Release(), length};
    return QImage(
        static_cast<uchar*>(mapping->start), size.width(), size.height(), stride, format,
        [](void* info) {
            auto* m = static_cast<Mapping*>(info);
            platform::HugePageMemory::Unmap(m->start, m->length);
            delete m;
        },
        mapping);
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
