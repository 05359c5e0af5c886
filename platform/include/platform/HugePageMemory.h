#pragma once
// Memory on huge pages (2 MB each): a buffer touched row by row or pinned for direct I/O
// pays one address translation per huge page instead of one per small page. Under a
// hypervisor each missed translation walks two page tables.
#include <cstddef>

namespace rollmode::platform {

inline constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;

// An anonymous mapping of its own, whole huge pages long, starting on a huge-page boundary
// and advised for huge pages. Where the system has none it is ordinary memory and works
// alike. Empty (Data() == nullptr) when the mapping fails.
class HugePageMemory {
public:
    HugePageMemory() = default;
    explicit HugePageMemory(std::size_t bytes);
    ~HugePageMemory();
    HugePageMemory(HugePageMemory&& other) noexcept;
    HugePageMemory& operator=(HugePageMemory&& other) noexcept;
    HugePageMemory(const HugePageMemory&) = delete;
    HugePageMemory& operator=(const HugePageMemory&) = delete;

    void* Data() const { return data_; }
    std::size_t Length() const { return length_; }  // the mapping's length: bytes rounded up

private:
    static void Unmap(void* data, std::size_t length);

    void* data_ = nullptr;
    std::size_t length_ = 0;
};

// Asks for huge pages on the whole huge pages inside [data, data + bytes) and has the
// system move what is already there onto them at once. Memory need not be ours to map:
// this is advice only, and a system without huge pages leaves everything as it was.
// Returns the bytes advised (0 when no whole huge page lies inside).
std::size_t BackWithHugePages(const void* data, std::size_t bytes);

}  // namespace rollmode::platform
