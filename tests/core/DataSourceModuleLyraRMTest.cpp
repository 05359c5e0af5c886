#include "DataSourceModuleLyraRM.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using rollmode::core::TDataSourceModuleLyraRM;
using Ring = TDataSourceModuleLyraRM;

namespace {

// Writes a block whose words count up from `next`, wrapping within 1..65535 so a
// word is never 0, and returns the next value.
uint16_t FillCounting(uint16_t* p, int32_t n, uint16_t next) {
    for (int32_t i = 0; i < n; ++i) {
        p[i] = next;
        next = next == 65535 ? 1 : next + 1;
    }
    return next;
}

bool WriterBlocked(Ring& ring) {
    // A writer that could go on would get a pointer within the wait slice.
    std::atomic<bool> got{false};
    std::thread t([&] { got = ring.GetWriteBuffer() != nullptr; });
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    const bool blocked = !got.load();
    ring.AbortWaits();
    t.join();
    return blocked;
}

}  // namespace

TEST(RingBuffer, FifteenFullBlocksWrapAndTheFirstLapIsReadWhole) {
    auto ring = std::make_unique<Ring>();
    ring->ResetBuffer();
    uint16_t next = 1;
    for (int b = 0; b < 15; ++b) {
        uint16_t* p = ring->GetWriteBuffer();
        ASSERT_NE(p, nullptr);
        next = FillCounting(p, Ring::kMaxBlockWords, next);
        ring->CommitWrite(Ring::kMaxBlockWords);
    }
    EXPECT_TRUE(ring->WriterWrapped());
    EXPECT_EQ(ring->WriteIndex(), 0);
    EXPECT_EQ(ring->PendingCount(), Ring::kWrapPoint);

    int32_t n = 0;
    const uint16_t* r = ring->GetReadBuffer(n);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(n, Ring::kWrapPoint) << "the whole first lap in one run";
    uint16_t expect = 1;
    for (int32_t i = 0; i < n; ++i) {
        ASSERT_EQ(r[i], expect) << "at " << i;
        expect = expect == 65535 ? 1 : expect + 1;
    }
    ring->CommitRead(n);
    EXPECT_EQ(ring->ReadIndex(), 0);
    EXPECT_FALSE(ring->WriterWrapped());
    EXPECT_EQ(ring->PendingCount(), 0);
}

TEST(RingBuffer, WordsWrittenAfterTheWrapBecomeVisibleOnlyAfterTheOldLap) {
    auto ring = std::make_unique<Ring>();
    ring->ResetBuffer();
    // 983,000 words, then a block that runs into the tail and wraps.
    for (int32_t done = 0; done < 983000;) {
        const int32_t n = std::min<int32_t>(50000, 983000 - done);
        ring->GetWriteBuffer();
        ring->CommitWrite(n);
        done += n;
    }
    int32_t n = 0;
    ASSERT_NE(ring->GetReadBuffer(n), nullptr);
    ring->CommitRead(900000);  // reader stays in the first lap
    ASSERT_NE(ring->GetWriteBuffer(), nullptr);
    ring->CommitWrite(1000);  // 984,000: the overhang lies in the tail
    EXPECT_TRUE(ring->WriterWrapped());
    ASSERT_NE(ring->GetWriteBuffer(), nullptr);
    ring->CommitWrite(500);  // second lap
    EXPECT_EQ(ring->WrappedCount(), 500);

    const uint16_t* r = ring->GetReadBuffer(n);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(n, 84000) << "up to the end of the old lap, tail included";
    ring->CommitRead(n);
    r = ring->GetReadBuffer(n);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(n, 500);
    EXPECT_EQ(ring->ReadIndex(), 0);
}

TEST(RingBuffer, WriterBlocksWhenPendingReachesTheWrapPoint) {
    auto ring = std::make_unique<Ring>();
    ring->ResetBuffer();
    for (int32_t done = 0; done < Ring::kWrapPoint; done += 1000) {
        ASSERT_NE(ring->GetWriteBuffer(), nullptr);
        ring->CommitWrite(1000);
    }
    EXPECT_TRUE(WriterBlocked(*ring));
}

TEST(RingBuffer, AWrappedWriterWaitsUntilAWholeBlockFitsBelowUnreadWords) {
    auto ring = std::make_unique<Ring>();
    ring->ResetBuffer();
    for (int32_t done = 0; done < Ring::kWrapPoint; done += 10000) {
        ring->GetWriteBuffer();
        ring->CommitWrite(std::min<int32_t>(10000, Ring::kWrapPoint - done));
    }
    int32_t n = 0;
    ring->GetReadBuffer(n);
    // The reader frees 30,000 words; pending is then far below the limit, but a
    // block of 65,536 at index 0 would overwrite the 30,000..65,535 still unread.
    ring->CommitRead(30000);
    EXPECT_LT(ring->PendingCount() + ring->WrappedCount(), Ring::kWrapPoint);
    EXPECT_TRUE(WriterBlocked(*ring));

    ring->ResetBuffer();
    for (int32_t done = 0; done < Ring::kWrapPoint; done += 10000) {
        ring->GetWriteBuffer();
        ring->CommitWrite(std::min<int32_t>(10000, Ring::kWrapPoint - done));
    }
    ring->GetReadBuffer(n);
    ring->CommitRead(Ring::kMaxBlockWords);  // exactly one block of room
    EXPECT_NE(ring->GetWriteBuffer(), nullptr);
}

TEST(RingBuffer, ReaderTimesOutWithoutData) {
    auto ring = std::make_unique<Ring>();
    ring->ResetBuffer();
    int32_t n = -1;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ring->GetReadBuffer(n), nullptr);
    EXPECT_EQ(n, 0);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(900));
}

TEST(RingBuffer, TwoThreadsPassEveryWordInOrder) {
    auto ring = std::make_unique<Ring>();
    ring->ResetBuffer();
    constexpr int64_t kTotal = 20'000'000;
    std::atomic<bool> ok{true};
    std::thread writer([&] {
        uint16_t next = 1;
        int64_t written = 0;
        uint32_t seed = 12345;
        while (written < kTotal) {
            seed = seed * 1664525u + 1013904223u;
            const int32_t n = static_cast<int32_t>(
                std::min<int64_t>(1 + (seed >> 16) % Ring::kMaxBlockWords, kTotal - written));
            uint16_t* p = ring->GetWriteBuffer();
            if (!p) return;
            next = FillCounting(p, n, next);
            ring->CommitWrite(n);
            written += n;
        }
    });
    uint16_t expect = 1;
    int64_t read = 0;
    while (read < kTotal && ok) {
        int32_t n = 0;
        const uint16_t* p = ring->GetReadBuffer(n);
        if (!p) continue;
        for (int32_t i = 0; i < n; ++i) {
            if (p[i] != expect) {
                ok = false;
                ADD_FAILURE() << "word " << read + i << " is " << p[i] << ", expected " << expect;
                break;
            }
            expect = expect == 65535 ? 1 : expect + 1;
        }
        read += n;
        ring->CommitRead(n);
    }
    ring->AbortWaits();
    writer.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(read, kTotal);
}
