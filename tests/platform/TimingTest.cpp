#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/AutoResetEvent.h"
#include "platform/ThreadPriority.h"
#include "platform/Tick.h"

using namespace rollmode::platform;

TEST(Tick, AdvancesWithSleep) {
    const uint32_t start = TickCount();
    SleepMs(20);
    const uint32_t elapsed = TickCount() - start;  // modulo 2^32, like the system tick
    EXPECT_GE(elapsed, 19u);
    EXPECT_LT(elapsed, 2000u);
}

TEST(AutoResetEvent, TimesOutWhenNotSetAndResetsAfterOneWaiter) {
    AutoResetEvent ev;
    EXPECT_FALSE(ev.Wait(10));
    ev.Set();
    EXPECT_TRUE(ev.Wait(0));
    EXPECT_FALSE(ev.Wait(0)) << "an auto-reset event releases one wait only";
    AutoResetEvent initially(true);
    EXPECT_TRUE(initially.Wait(0));
    initially.Set();
    initially.Reset();
    EXPECT_FALSE(initially.Wait(0));
}

TEST(AutoResetEvent, WakesWaiterOnAnotherThread) {
    AutoResetEvent ev;
    std::atomic<bool> woke{false};
    std::thread waiter([&] {
        woke = ev.Wait(5000);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ev.Set();
    waiter.join();
    EXPECT_TRUE(woke.load());
}

TEST(ThreadPriority, RefusalIsTolerated) {
    // Raising may be refused without privilege; going back to normal never is,
    // whether or not the raise took.
    std::thread t([] {
        (void)SetCurrentThreadPriority(ThreadPriority::TimeCritical);
        EXPECT_TRUE(SetCurrentThreadPriority(ThreadPriority::Normal));
    });
    t.join();
}
