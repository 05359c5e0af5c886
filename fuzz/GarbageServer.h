#pragma once
// A device server for the transport fuzz targets: one interface socket in a private
// device folder, served from a background thread that answers every request from a
// script of fuzz bytes: well-framed garbage, a success word other than 1, a length
// beyond the capacity asked for, a reply cut short, or the connection dropped.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace rollmode::fuzz {

class GarbageServer {
public:
    // Publishes <fresh folder>/<classFolder>/dev0 and points ROLLMODE_DEVICE_DIR at the folder.
    explicit GarbageServer(const std::string& classFolder);
    ~GarbageServer();

    // The answers of the next connection(s); call before the client opens the device.
    void SetScript(const uint8_t* data, size_t size);
    // Drops the open connection and waits until the server has let go of every
    // connection the client made, so the next script starts clean.
    void EndIteration();

    uint64_t Requests() const { return requests_; }

private:
    void Run();
    void Serve(int fd);
    bool Answer(int fd, uint32_t outCapacity);
    uint8_t Next();
    uint32_t Next32();
    bool ListenPending() const;

    std::string folder_;
    int listen_ = -1;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable idle_;
    int conn_ = -1;
    bool stop_ = false;
    std::vector<uint8_t> script_;
    size_t at_ = 0;
    uint64_t requests_ = 0;
    std::vector<uint8_t> input_;
    std::vector<uint8_t> output_;
};

}  // namespace rollmode::fuzz
