#include "platform/HugePageMemory.h"

#include <sys/mman.h>

#include <cstdint>
#include <utility>

namespace rollmode::platform {

namespace {
#ifndef MADV_COLLAPSE
constexpr int MADV_COLLAPSE = 25;  // Linux 6.1; older C libraries lack the name
#endif
}  // namespace

HugePageMemory::HugePageMemory(std::size_t bytes) {
    if (bytes == 0) return;
    const std::size_t length = (bytes + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
    // Mapped with a huge page to spare, then cut to a start on a huge-page boundary.
    void* raw = mmap(nullptr, length + kHugePageBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return;
    const auto base = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t start = (base + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
    if (start > base) munmap(raw, start - base);
    if (base + kHugePageBytes > start) munmap(reinterpret_cast<void*>(start + length), base + kHugePageBytes - start);
    madvise(reinterpret_cast<void*>(start), length, MADV_HUGEPAGE);
    data_ = reinterpret_cast<void*>(start);
    length_ = length;
}

HugePageMemory::~HugePageMemory() { Unmap(data_, length_); }

HugePageMemory::HugePageMemory(HugePageMemory&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), length_(std::exchange(other.length_, 0)) {}

HugePageMemory& HugePageMemory::operator=(HugePageMemory&& other) noexcept {
    if (this != &other) {
        Unmap(data_, length_);
        data_ = std::exchange(other.data_, nullptr);
        length_ = std::exchange(other.length_, 0);
    }
    return *this;
}

void HugePageMemory::Unmap(void* data, std::size_t length) {
    if (data != nullptr) munmap(data, length);
}

std::size_t BackWithHugePages(const void* data, std::size_t bytes) {
    const auto begin = reinterpret_cast<uintptr_t>(data);
    const uintptr_t first = (begin + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
    const uintptr_t last = (begin + bytes) & ~(kHugePageBytes - 1);
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

}  // namespace rollmode::platform
