#include "HugePages.h"

namespace rollmode::display {

QImage NewHugePagePicture(QSize size, QImage::Format format) {
    const qsizetype stride = static_cast<qsizetype>(size.width()) * 4;
    const std::size_t bytes = static_cast<std::size_t>(stride) * static_cast<std::size_t>(size.height());
    if (bytes < platform::kHugePageBytes) return QImage(size, format);
    // The image owns the mapping; its cleanup ends it.
    auto* memory = new platform::HugePageMemory(bytes);
    if (memory->Data() == nullptr) {
        delete memory;
        return QImage(size, format);
    }
    return QImage(
        static_cast<uchar*>(memory->Data()), size.width(), size.height(), stride, format,
        [](void* info) { delete static_cast<platform::HugePageMemory*>(info); }, memory);
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
