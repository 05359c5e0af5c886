#include "sim/DeviceServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/DeviceIo.h"

namespace rollmode::sim {

using platform::GetLe32;
using platform::PutLe32;

namespace {

// A request whose rest does not arrive within this time is abandoned with its connection.
constexpr int kRequestTimeoutMs = 1000;
// Output of one request is capped here, whatever capacity the host offers.
constexpr uint32_t kMaxOutput = 1u << 20;
constexpr size_t kLoggedCommands = 16;
// Receive buffer of a connection to start with; it grows to the largest request seen.
constexpr size_t kReceiveBytes = 4096;
constexpr size_t kHeaderBytes = 12;
constexpr int kRequestsPerTurn = 16;
// Cap on an endpoint's pause before the next request.
constexpr std::chrono::milliseconds kMaxPause{20};

}  // namespace

RequestLog::~RequestLog() {
    if (file_) std::fclose(file_);
}

bool RequestLog::Open(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (file_) std::fclose(file_);
    file_ = std::fopen(path.c_str(), "w");
    return file_ != nullptr;
}

void RequestLog::Write(const std::string& line) {
    std::lock_guard lock(mutex_);
    if (!file_) return;
    std::fputs(line.c_str(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
}

DeviceServer::DeviceServer() = default;

DeviceServer::~DeviceServer() { Stop(); }

bool DeviceServer::AddInterface(const std::filesystem::path& socketPath, DeviceEndpoint& endpoint) {
    // The serving thread reads the interface list without a lock.
    if (running_.load(std::memory_order_relaxed)) return false;
    std::error_code ec;
    std::filesystem::create_directories(socketPath.parent_path(), ec);
    const std::string path = socketPath.string();
    sockaddr_un addr{};
    if (path.size() >= sizeof(addr.sun_path)) return false;
    std::filesystem::remove(socketPath, ec);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0 || listen(fd, 16) != 0) {
        ::close(fd);
        return false;
    }
    interfaces_.push_back({socketPath, fd, &endpoint});
    return true;
}

bool DeviceServer::Start() {
    if (running_.load(std::memory_order_relaxed)) return true;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
    started_ = std::chrono::steady_clock::now();
    stopping_.store(false, std::memory_order_relaxed);
    running_.store(true, std::memory_order_relaxed);
    thread_ = std::thread([this] { Run(); });
    return true;
}

void DeviceServer::Stop() {
    std::lock_guard lock(stopMutex_);
    stopping_.store(true, std::memory_order_relaxed);
    if (wakeWrite_ >= 0) {
        const char b = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeWrite_, &b, 1);
    }
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
    CloseAll();
    if (wakeRead_ >= 0) ::close(wakeRead_);
    if (wakeWrite_ >= 0) ::close(wakeWrite_);
    wakeRead_ = wakeWrite_ = -1;
    running_.store(false, std::memory_order_relaxed);
}

void DeviceServer::CloseAll() {
    for (auto& c : connections_) ::close(c.fd);
    connections_.clear();
    for (auto& itf : interfaces_) {
        if (itf.listenFd >= 0) ::close(itf.listenFd);
        itf.listenFd = -1;
        std::error_code ec;
        std::filesystem::remove(itf.path, ec);
    }
}

void DeviceServer::Run() {
    using SteadyClock = std::chrono::steady_clock;
    std::vector<pollfd> fds;
    while (!stopping_.load(std::memory_order_relaxed)) {
        fds.clear();
        fds.push_back({wakeRead_, POLLIN, 0});
        for (const auto& itf : interfaces_) fds.push_back({itf.listenFd, POLLIN, 0});
        const auto now = SteadyClock::now();
        bool buffered = false;  // requests already received wait: look, but do not sleep
        auto resume = SteadyClock::time_point::max();
        for (const auto& c : connections_) {
            // A paused connection is not looked at, so its next request does not wake the
            // server before the pause ends; the others are served meanwhile.
            const bool paused = c.resumeAt > now;
            fds.push_back({c.fd, static_cast<short>(paused ? 0 : POLLIN), 0});
            if (paused) resume = std::min(resume, c.resumeAt);
            else buffered |= c.have > 0;
        }
        timespec wait{};
        const timespec* timeout = nullptr;
        if (buffered) {
            timeout = &wait;
        } else if (resume != SteadyClock::time_point::max()) {
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(resume - now).count();
            wait = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
            timeout = &wait;
        }
        if (ppoll(fds.data(), fds.size(), timeout, nullptr) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents) break;
        for (size_t i = 0; i < interfaces_.size(); ++i) {
            if (!(fds[1 + i].revents & POLLIN)) continue;
            const int fd = accept4(interfaces_[i].listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            timeval tv{kRequestTimeoutMs / 1000, (kRequestTimeoutMs % 1000) * 1000};
            setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
            setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
            Connection c;
            c.fd = fd;
            c.interface = i;
            c.received.resize(kReceiveBytes);
            connections_.push_back(std::move(c));
        }
        // Connections accepted in this round are polled next round.
        const size_t polled = fds.size() - 1 - interfaces_.size();
        auto& closed = closed_;
        closed.clear();
        for (size_t k = 0; k < polled; ++k) {
            Connection& c = connections_[k];
            const short ev = fds[1 + interfaces_.size() + k].revents;
            if (c.resumeAt > now) {
                if (ev) closed.push_back(k);  // hung up while paused
                continue;
            }
            const bool waiting = c.have > 0;
            if (!ev && !waiting) continue;
            if ((!(ev & POLLIN) && !waiting) || !Serve(c)) {
                closed.push_back(k);
            } else {
                // A host reading the roll FIFO sends its read right after the announcement:
                // letting the samples accumulate first means the read finds them, instead of
                // the server waking for the request and again when they are there.
                const auto pause = interfaces_[c.interface].endpoint->PauseBeforeNextRequest();
                if (pause > SteadyClock::duration::zero())
                    c.resumeAt = SteadyClock::now() + std::min<SteadyClock::duration>(pause, kMaxPause);
            }
            if (stopping_.load(std::memory_order_relaxed)) break;
        }
        for (auto it = closed.rbegin(); it != closed.rend(); ++it) {
            ::close(connections_[*it].fd);
            connections_.erase(connections_.begin() + static_cast<std::ptrdiff_t>(*it));
        }
    }
}

bool DeviceServer::Receive(Connection& c, size_t bytes) {
    if (c.received.size() < bytes) c.received.resize(bytes);
    while (c.have < bytes) {
        // Whatever has arrived, up to the buffer's size: the rest of this request and perhaps
        // the start of the next.
        const ssize_t n = ::recv(c.fd, c.received.data() + c.have, c.received.size() - c.have, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        c.have += static_cast<size_t>(n);
    }
    return true;
}

bool DeviceServer::Answer(int fd, bool ok, const uint8_t* out, size_t outLength) {
    uint8_t head[8];
    PutLe32(head, ok ? 1 : 0);
    PutLe32(head + 4, static_cast<uint32_t>(outLength));
    // Head and output in one call, so the host wakes once for both.
    iovec iov[2] = {{head, sizeof(head)}, {const_cast<uint8_t*>(out), outLength}};
    msghdr msg{};
    msg.msg_iov = iov;
    msg.msg_iovlen = outLength ? 2 : 1;
    size_t left = sizeof(head) + outLength;
    while (left > 0) {
        const ssize_t n = ::sendmsg(fd, &msg, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        left -= static_cast<size_t>(n);
        for (size_t sent = static_cast<size_t>(n); sent > 0;) {
            const size_t step = std::min(sent, msg.msg_iov->iov_len);
            msg.msg_iov->iov_base = static_cast<uint8_t*>(msg.msg_iov->iov_base) + step;
            msg.msg_iov->iov_len -= step;
            sent -= step;
            if (msg.msg_iov->iov_len == 0 && msg.msg_iovlen > 1) {
                ++msg.msg_iov;
                --msg.msg_iovlen;
            }
        }
    }
    return true;
}

bool DeviceServer::Serve(Connection& c) {
    // Requests the host sent back to back are served together, a bounded number a turn so that
    // one busy host does not starve the others; the rest stays buffered for the next turn.
    for (int i = 0; i < kRequestsPerTurn; ++i) {
        if (!ServeOne(c)) return false;
        if (c.have == 0 || stopping_.load(std::memory_order_relaxed)) break;
    }
    return true;
}

bool DeviceServer::ServeOne(Connection& c) {
    if (!Receive(c, kHeaderBytes)) return false;
    const uint8_t* header = c.received.data();
    const uint32_t code = GetLe32(header);
    const uint32_t inLength = GetLe32(header + 4);
    const uint32_t outCapacity = GetLe32(header + 8);
    Interface& itf = interfaces_[c.interface];
    if (inLength > platform::kMaxRequestInput) {
        // The input cannot be skipped safely: refuse and drop the connection.
        Answer(c.fd, false, nullptr, 0);
        LogRequest(itf, code, inLength, outCapacity, false, 0, {});
        return false;
    }
    const size_t total = kHeaderBytes + inLength;
    if (!Receive(c, total)) return false;
    const std::span<const uint8_t> input(c.received.data() + kHeaderBytes, inLength);
    output_.clear();
    requests_.fetch_add(1, std::memory_order_relaxed);
    const bool ok = itf.endpoint->HandleRequest(code, input, std::min(outCapacity, kMaxOutput), output_);
    const size_t outLength = std::min<size_t>(output_.size(), std::min(outCapacity, kMaxOutput));
    LogRequest(itf, code, inLength, outCapacity, ok, outLength, input);
    // What follows this request stays for the next.
    if (c.have > total) std::memmove(c.received.data(), c.received.data() + total, c.have - total);
    c.have -= total;
    return Answer(c.fd, ok, output_.data(), outLength);
}

void DeviceServer::LogRequest(const Interface& itf, uint32_t code, uint32_t inLength, uint32_t outCapacity, bool ok,
                              size_t outLength, std::span<const uint8_t> in) {
    if (!log_ || !log_->IsOpen()) return;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started_);
    char head[192];
    std::snprintf(head, sizeof(head), "%10lld %s code=0x%06X in=%u cap=%u -> %s out=%zu",
                  static_cast<long long>(ms.count()), itf.path.filename().c_str(), code, inLength, outCapacity,
                  ok ? "ok" : "FAILED", outLength);
    std::string line = head;
    if (code == 0x220018 && !in.empty()) {
        line += " cmds:";
        const size_t commands = in.size() / 4;
        for (size_t i = 0; i < commands && i < kLoggedCommands; ++i) {
            char cmd[16];
            std::snprintf(cmd, sizeof(cmd), " %02X%02X%02X%02X", in[4 * i], in[4 * i + 1], in[4 * i + 2], in[4 * i + 3]);
            line += cmd;
        }
        if (commands > kLoggedCommands) line += " ... (" + std::to_string(commands) + " commands)";
        if (in.size() % 4) line += " +" + std::to_string(in.size() % 4) + " stray bytes";
    }
    log_->Write(line);
}

}  // namespace rollmode::sim
