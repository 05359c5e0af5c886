#pragma once
// The headless core over the real driver library and the simulated instrument in
// process, streaming the counting pattern; a temporary folder for record files; and
// the run counts of the long variants (the soak binary builds with RELIABILITY_SOAK).
#include <stdlib.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "../e2e/E2eSupport.h"
#include "CountStreamCheck.h"
#include "HeadlessStack.h"
#include "ports/RollScreenView.h"

namespace rollmode::reliability {

#ifdef RELIABILITY_SOAK
inline constexpr bool kSoak = true;
#else
inline constexpr bool kSoak = false;
#endif

// A count for the default run and one for the soak run.
constexpr int Runs(int ci, int soak) { return kSoak ? soak : ci; }

class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/rmrel-XXXXXX";
        const char* made = mkdtemp(pattern);
        path_ = made ? made : "/tmp";
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Stands for both screens: counts the words handed over and can stall the
// processing thread once, at its next run.
class StallingScreen final : public core::RollScreenView {
public:
    void ProcessBlock(const uint16_t*, uint32_t count) override {
        words_.fetch_add(count, std::memory_order_relaxed);
        const int ms = stallMs_.exchange(0, std::memory_order_relaxed);
        if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    void PrepareDisplay() override {}
    void ClearDisplay() override {}
    void SetShown(bool) override {}

    void StallOnce(int ms) { stallMs_.store(ms, std::memory_order_relaxed); }
    bool StallPending() const { return stallMs_.load(std::memory_order_relaxed) != 0; }
    uint64_t Words() const { return words_.load(std::memory_order_relaxed); }

private:
    std::atomic<int> stallMs_{0};
    std::atomic<uint64_t> words_{0};
};

// Aborts the process when it is not fed within the limit: a hang fails the test
// instead of stalling the run.
class Watchdog {
public:
    explicit Watchdog(std::chrono::milliseconds limit)
        : limit_(limit), thread_([this] { Watch(); }) {}
    ~Watchdog() {
        {
            std::lock_guard g(mutex_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    void Feed() {
        std::lock_guard g(mutex_);
        ++feeds_;
        cv_.notify_all();
    }

private:
    void Watch() {
        std::unique_lock lock(mutex_);
        while (!done_) {
            const uint64_t seen = feeds_;
            if (!cv_.wait_for(lock, limit_, [&] { return done_ || feeds_ != seen; })) {
                std::fprintf(stderr, "watchdog: no progress for %lld ms\n", (long long)limit_.count());
                std::abort();
            }
        }
    }
    std::chrono::milliseconds limit_;
    std::mutex mutex_;
    std::condition_variable cv_;
    uint64_t feeds_ = 0;
    bool done_ = false;
    std::thread thread_;
};

inline sim::InstrumentConfig CountingConfig() {
    sim::InstrumentConfig config;
    config.channels[0] = {sim::SignalShape::Count, 0, 0, 0, 0};
    config.channels[1] = {sim::SignalShape::Count, 0, 0, 0, 0};
    return config;
}

// The simulated unit in a private device folder and the headless core over it.
struct Bench {
    explicit Bench(sim::InstrumentConfig config = CountingConfig()) : unit(devices.Path(), config) {}

    // Plugs the unit in and starts the core at `smp`; false when the device did not come up.
    bool Start(int smp) {
        if (!unit.Plug()) return false;
        stack.Initialize(smp);
        return stack.driver.DeviceInitialized() && !stack.driver.DemoMode();
    }
    bool Serve(const std::function<bool()>& done, int64_t ms) { return stack.Serve(done, ms); }
    void ServeFor(int64_t ms) { stack.Serve([] { return false; }, ms); }

    e2e::TempDeviceFolder devices;
    e2e::SimulatedUnit unit;
    e2e::ScriptedMessages messages;
    StallingScreen screen;
    tools::HeadlessStack stack{messages, &screen};
};

}  // namespace rollmode::reliability
