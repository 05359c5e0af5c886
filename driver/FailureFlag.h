#pragma once
// The host's one-byte USB-failure flag, reached through the address the host hands over.
#include <atomic>
#include <cstdint>

namespace rollmode::driver {

class FailureFlag {
public:
    void Bind(uint8_t* flag) { flag_ = flag; }
    bool IsBound() const { return flag_ != nullptr; }

    // The host polls the flag from its own thread, so every access is atomic.
    bool IsSet() const {
        return flag_ != nullptr && std::atomic_ref<uint8_t>(*flag_).load(std::memory_order_relaxed) != 0;
    }
    void Store(bool failed) const {
        if (flag_ != nullptr) std::atomic_ref<uint8_t>(*flag_).store(failed ? 1 : 0, std::memory_order_relaxed);
    }

private:
    uint8_t* flag_ = nullptr;
};

}  // namespace rollmode::driver
