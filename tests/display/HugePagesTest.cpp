#include "HugePages.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using rollmode::display::BackWithHugePages;
using rollmode::display::NewHugePagePicture;
using rollmode::display::TBackingStorePages;

constexpr std::size_t kHuge = std::size_t{2} << 20;

// The VmFlags line of the mapping that holds address, from /proc/self/smaps.
std::string VmFlagsAt(const void* address) {
    const auto a = reinterpret_cast<uintptr_t>(address);
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    while (std::getline(smaps, line)) {
        uintptr_t lo = 0, hi = 0;
        char dash = 0;
        std::istringstream head(line);
        if (head >> std::hex >> lo >> dash >> hi && dash == '-') inside = lo <= a && a < hi;
        if (inside && line.rfind("VmFlags:", 0) == 0) return line;
    }
    return {};
}

// Kernels built without transparent huge pages refuse the advice; nothing is to be checked there.
bool SystemHasHugePages() { return std::ifstream("/sys/kernel/mm/transparent_hugepage/enabled").good(); }

bool HugePagesAdvised(const void* address) { return VmFlagsAt(address).find(" hg") != std::string::npos; }

// Memory Qt might hold: a mapping of its own that starts a page after a huge-page boundary.
struct Store {
    Store() {
        raw = static_cast<char*>(mmap(nullptr, 12 * kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        const auto base = reinterpret_cast<uintptr_t>(raw);
        data = reinterpret_cast<char*>(((base + kHuge - 1) & ~(kHuge - 1)) + 4096);
        std::memset(data, 0x5A, bytes);
    }
    ~Store() { munmap(raw, 12 * kHuge); }
    char* raw = nullptr;
    char* data = nullptr;
    const std::size_t bytes = 7 * kHuge;  // spans 8 huge pages, 6 of them whole
};

TEST(HugePages, OnlyTheWholeHugePagesInsideAStoreAreAdvisedAndItsContentStays) {
    if (!SystemHasHugePages()) GTEST_SKIP() << "no transparent huge pages";
    Store s;
    char* firstWhole = s.data - 4096 + kHuge;
    EXPECT_EQ(BackWithHugePages(s.data, s.bytes), 6 * kHuge);
    EXPECT_TRUE(HugePagesAdvised(firstWhole));
    EXPECT_TRUE(HugePagesAdvised(firstWhole + 6 * kHuge - 1));
    EXPECT_FALSE(HugePagesAdvised(s.data)) << "the part before the first boundary is not the store's to round out";
    EXPECT_FALSE(HugePagesAdvised(firstWhole + 6 * kHuge));
    for (std::size_t i = 0; i < s.bytes; i += 4093) ASSERT_EQ(s.data[i], 0x5A) << i;

    EXPECT_EQ(BackWithHugePages(s.data, kHuge), 0u) << "no whole huge page inside";
    EXPECT_EQ(BackWithHugePages(nullptr, 0), 0u);
}

TEST(HugePages, ABackingStoreIsMovedOnceItStaysPutAndAgainAfterEachResize) {
    if (!SystemHasHugePages()) GTEST_SKIP() << "no transparent huge pages";
    Store a, b;
    TBackingStorePages pages;
    const int64_t settle = TBackingStorePages::kSettleMs;
    EXPECT_EQ(pages.Follow(a.data, a.bytes, 0), 0u);
    EXPECT_EQ(pages.Follow(a.data, a.bytes, settle - 1), 0u) << "still within the settling time";
    // A resize: a new store restarts the wait, and the old one was never touched.
    EXPECT_EQ(pages.Follow(b.data, b.bytes, settle - 1), 0u);
    EXPECT_EQ(pages.Follow(b.data, b.bytes, settle + 10), 0u);
    EXPECT_FALSE(HugePagesAdvised(a.data - 4096 + kHuge));
    EXPECT_EQ(pages.Follow(b.data, b.bytes, 2 * settle), 6 * kHuge);
    EXPECT_TRUE(HugePagesAdvised(b.data - 4096 + kHuge));
    EXPECT_EQ(pages.Follow(b.data, b.bytes, 5 * settle), 0u) << "moved once only";
    // The same memory at a new size is a new store.
    EXPECT_EQ(pages.Follow(b.data, b.bytes - kHuge, 5 * settle), 0u);
    EXPECT_EQ(pages.Follow(b.data, b.bytes - kHuge, 7 * settle), 5 * kHuge);
}

TEST(HugePages, ALargePictureStartsOnAHugePageBoundarySmallOnesAreOrdinary) {
    const QImage large = NewHugePagePicture(QSize(1600, 400), QImage::Format_RGB32);  // 2.4 MB
    ASSERT_FALSE(large.isNull());
    EXPECT_EQ(reinterpret_cast<uintptr_t>(large.constBits()) % kHuge, 0u);
    if (SystemHasHugePages()) {
        EXPECT_TRUE(HugePagesAdvised(large.constBits()));
    }
    EXPECT_EQ(large.bytesPerLine(), 1600 * 4);
    const QImage small = NewHugePagePicture(QSize(400, 300), QImage::Format_RGB32);
    ASSERT_FALSE(small.isNull());
    EXPECT_EQ(small.size(), QSize(400, 300));
}

}  // namespace
