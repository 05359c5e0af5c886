#pragma once
// A device that records every request and answers from a script, for checking the
// exact bytes a transport library sends.
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/DeviceIo.h"
#include "sim/DeviceServer.h"

namespace rollmode::testing {

class RecordingDevice : public sim::DeviceEndpoint {
public:
    struct Request {
        uint32_t code;
        std::vector<uint8_t> in;
        uint32_t capacity;
    };

    explicit RecordingDevice(uint16_t packetSize = 64, uint32_t id = 0) : packetSize_(packetSize), id_(id) {}

    bool HandleRequest(uint32_t code, std::span<const uint8_t> in, uint32_t capacity,
                       std::vector<uint8_t>& out) override {
        std::lock_guard lock(mutex_);
        requests_.push_back({code, std::vector<uint8_t>(in.begin(), in.end()), capacity});
        if (failAll_.load() || (failBulkReads_.load() && code == 0x220024) || (failPacketSize_.load() && code == 0x22002C))
            return false;
        switch (code) {
            case 0x22002C:
                out.resize(4);
                platform::PutLe32(out.data(), packetSize_);
                return true;
            case 0x220030:
                out.resize(4);
                platform::PutLe32(out.data(), id_);
                return true;
            case 0x220024:
                if (!answers_.empty()) {
                    out = answers_.front();
                    answers_.pop_front();
                    if (out.size() > capacity) out.resize(capacity);
                } else {
                    out.assign(capacity, 0);
                }
                return true;
            default: return true;
        }
    }

    void QueueAnswer(std::vector<uint8_t> bytes) {
        std::lock_guard lock(mutex_);
        answers_.push_back(std::move(bytes));
    }
    std::vector<Request> Requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        requests_.clear();
    }
    // Every command byte sent so far, in order.
    std::vector<uint8_t> SentCommands() const {
        std::lock_guard lock(mutex_);
        std::vector<uint8_t> all;
        for (const auto& r : requests_)
            if (r.code == 0x220018) all.insert(all.end(), r.in.begin(), r.in.end());
        return all;
    }
    size_t CountOf(uint32_t code) const {
        std::lock_guard lock(mutex_);
        size_t n = 0;
        for (const auto& r : requests_) n += r.code == code;
        return n;
    }

    std::atomic<bool> failAll_{false};
    std::atomic<bool> failBulkReads_{false};
    std::atomic<bool> failPacketSize_{false};

private:
    mutable std::mutex mutex_;
    std::vector<Request> requests_;
    std::deque<std::vector<uint8_t>> answers_;
    uint16_t packetSize_;
    uint32_t id_;
};

}  // namespace rollmode::testing
