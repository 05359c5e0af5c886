#pragma once
// A device server: publishes device interfaces as Unix-domain sockets and answers
// device-control requests on them from one background thread. Framing in
// docs/device-protocol.md. A malformed request ends that connection only.
//
// No host can hold the others up: every socket is read and written without blocking, a
// request must arrive and its answer be taken within a deadline, the connections are
// capped (at the cap the one idle longest makes room), every buffer is bounded, and when
// descriptors run out the server waits instead of spinning on the pending connection.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace rollmode::sim {

// What sits behind one interface. Called on the server thread only.
class DeviceEndpoint {
public:
    virtual ~DeviceEndpoint() = default;
    // out arrives empty; whatever exceeds outCapacity is cut off. Return success.
    virtual bool HandleRequest(uint32_t code, std::span<const uint8_t> in, uint32_t outCapacity,
                               std::vector<uint8_t>& out) = 0;
    // After a request: how long the server may wait before it looks for the next one, for an
    // endpoint whose next request would only wait for data (a few milliseconds at most).
    virtual std::chrono::steady_clock::duration PauseBeforeNextRequest() { return {}; }
};

// One line per request, shared by every interface of a server. Thread-safe.
class RequestLog {
public:
    ~RequestLog();
    bool Open(const std::string& path);
    bool IsOpen() const { return file_ != nullptr; }
    void Write(const std::string& line);

private:
    std::mutex mutex_;
    std::FILE* file_ = nullptr;
};

class DeviceServer {
public:
    // A request's input and the host's taking of its answer must be done within this time.
    static constexpr std::chrono::milliseconds kRequestDeadline{1000};
    // Connections served at once, over all interfaces.
    static constexpr size_t kMaxConnections = 64;
    // How long accepting rests when the process has no descriptor left.
    static constexpr std::chrono::milliseconds kAcceptRest{100};

    DeviceServer();
    ~DeviceServer();
    DeviceServer(const DeviceServer&) = delete;
    DeviceServer& operator=(const DeviceServer&) = delete;

    // Creates the socket (and its folders; a stale socket file is replaced). Before Start only;
    // the endpoint must outlive the server.
    bool AddInterface(const std::filesystem::path& socketPath, DeviceEndpoint& endpoint);
    void SetLog(RequestLog* log) { log_ = log; }

    bool Start();
    // Closes every connection and removes the sockets, as if the device was unplugged.
    // Callable from any thread; waits for the server thread to end.
    void Stop();
    bool Running() const { return running_.load(std::memory_order_relaxed); }
    uint64_t RequestCount() const { return requests_.load(std::memory_order_relaxed); }

private:
    struct Interface {
        std::filesystem::path path;
        int listenFd = -1;
        DeviceEndpoint* endpoint = nullptr;
    };
    using Clock = std::chrono::steady_clock;
    struct Connection {
        int fd = -1;
        size_t interface = 0;
        // Bytes received and not yet served: a request often arrives with its input in one
        // piece, and is then read with one call. Grows to the request being received (at
        // most kMaxRequestInput and its header) and shrinks back once that is served.
        std::vector<uint8_t> received;
        size_t have = 0;
        // The rest of an answer the host has not taken yet; nothing more is read from it
        // until it has.
        std::vector<uint8_t> unsent;
        size_t unsentAt = 0;
        // Not looked at before this time: its endpoint asked for a pause.
        Clock::time_point resumeAt{};
        // The request under way (received in part, or its answer not yet taken) must be done
        // by then, or the connection is dropped; max() while idle.
        Clock::time_point deadline = Clock::time_point::max();
        Clock::time_point lastActive{};
    };
    enum class Step { Served, Incomplete, Broken };

    void Run();
    void AcceptFrom(size_t interface, Clock::time_point now);
    bool Serve(Connection& c, bool readable);
    Step ServeOne(Connection& c);
    static bool Fill(Connection& c);
    static bool WholeRequestBuffered(const Connection& c);
    static bool Answer(Connection& c, bool ok, const uint8_t* out, size_t outLength);
    static bool SendUnsent(Connection& c);
    void LogRequest(const Interface& itf, uint32_t code, uint32_t inLength, uint32_t outCapacity, bool ok,
                    size_t outLength, std::span<const uint8_t> in);
    void CloseAll();

    std::vector<Interface> interfaces_;
    std::vector<Connection> connections_;
    std::vector<size_t> closed_;
    std::vector<uint8_t> output_;
    RequestLog* log_ = nullptr;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::thread thread_;
    std::mutex stopMutex_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<uint64_t> requests_{0};
    std::chrono::steady_clock::time_point started_;
    // While descriptors have run out, the listening sockets are not looked at until then.
    Clock::time_point acceptPausedUntil_{};
};

}  // namespace rollmode::sim
