#pragma once
#include <atomic>

namespace rollmode::core {

// A value one thread writes and another reads without a lock: relaxed loads and
// stores only, so readers never race and nothing is ordered by it.
template <class T>
class Relaxed {
public:
    constexpr Relaxed() noexcept : value_{} {}
    constexpr Relaxed(T v) noexcept : value_{v} {}  // NOLINT: initialised like the plain value
    T get() const noexcept { return value_.load(std::memory_order_relaxed); }
    void set(T v) noexcept { value_.store(v, std::memory_order_relaxed); }

private:
    std::atomic<T> value_;
};

}  // namespace rollmode::core
