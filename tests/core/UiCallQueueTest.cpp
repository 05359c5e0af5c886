#include "UiCallQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using rollmode::core::TUiCallQueue;

TEST(UiCallQueue, CallOnTheUiThreadRunsAtOnce) {
    TUiCallQueue queue;
    int runs = 0;
    queue.InvokeSync([&] { ++runs; });
    EXPECT_EQ(runs, 1);
}

TEST(UiCallQueue, WorkerCallsRunOnTheUiThreadWhileItWaitsForTheWorker) {
    std::atomic<int> wakes{0};
    TUiCallQueue queue([&] { ++wakes; });
    const auto ui = std::this_thread::get_id();
    std::atomic<bool> finished{false};
    std::vector<std::thread::id> ranOn;
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i) queue.InvokeSync([&] { ranOn.push_back(std::this_thread::get_id()); });
        finished = true;
        queue.Poke();
    });
    // Without serving, the worker would wait forever in its first call.
    EXPECT_TRUE(queue.ServeUntil([&] { return finished.load(); }, 5000));
    worker.join();
    ASSERT_EQ(ranOn.size(), 3u);
    for (auto id : ranOn) EXPECT_EQ(id, ui);
    EXPECT_GE(wakes.load(), 3);
}

TEST(UiCallQueue, ServeUntilGivesUpAfterTheTimeout) {
    TUiCallQueue queue;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(queue.ServeUntil([] { return false; }, 50));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(45));
}
