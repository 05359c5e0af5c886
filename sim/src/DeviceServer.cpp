#include "sim/DeviceServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/DeviceIo.h"
#include "platform/PrivateFolder.h"

namespace rollmode::sim {

using platform::GetLe32;
using platform::PutLe32;

namespace {

// Output of one request is capped here, whatever capacity the host offers.
constexpr uint32_t kMaxOutput = 1u << 20;
constexpr size_t kLoggedCommands = 16;
// Receive buffer of a connection to start with; it grows for a larger request and is
// given back after it above kKeptReceiveBytes.
constexpr size_t kReceiveBytes = 4096;
constexpr size_t kKeptReceiveBytes = 64 * 1024;
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
    // The class folder is ours alone, or a link planted there could route the socket
    // elsewhere.
    if (!platform::PreparePrivateFolder(socketPath.parent_path()).empty()) return false;
    const std::string path = socketPath.string();
    sockaddr_un addr{};
    if (path.size() >= sizeof(addr.sun_path)) return false;
    std::error_code ec;
    std::filesystem::remove(socketPath, ec);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    // Only this user may connect; the mode is set before anyone can (listen follows).
    if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0 || ::chmod(path.c_str(), 0600) != 0 ||
        listen(fd, 16) != 0) {
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
    std::vector<pollfd> fds;
    while (!stopping_.load(std::memory_order_relaxed)) {
        fds.clear();
        fds.push_back({wakeRead_, POLLIN, 0});
        auto now = Clock::now();
        const bool accepting = acceptPausedUntil_ <= now;
        for (const auto& itf : interfaces_) fds.push_back({itf.listenFd, static_cast<short>(accepting ? POLLIN : 0), 0});
        bool ready = false;  // a whole request already received waits: look, but do not sleep
        auto wakeAt = accepting ? Clock::time_point::max() : acceptPausedUntil_;
        for (const auto& c : connections_) {
            // A paused connection is not looked at, so its next request does not wake the
            // server before the pause ends; the others are served meanwhile. One whose
            // answer waits is looked at only for room to send the rest.
            const bool sending = c.unsentAt < c.unsent.size();
            const bool paused = !sending && c.resumeAt > now;
            fds.push_back({c.fd, static_cast<short>(sending ? POLLOUT : paused ? 0 : POLLIN), 0});
            if (paused) wakeAt = std::min(wakeAt, c.resumeAt);
            else ready |= !sending && WholeRequestBuffered(c);
            wakeAt = std::min(wakeAt, c.deadline);
        }
        timespec wait{};
        const timespec* timeout = nullptr;
        if (!ready && wakeAt != Clock::time_point::max()) {
            const auto ns = std::max<int64_t>(
                0, std::chrono::duration_cast<std::chrono::nanoseconds>(wakeAt - now).count());
            wait = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        }
        if (ready || wakeAt != Clock::time_point::max()) timeout = &wait;
        if (ppoll(fds.data(), fds.size(), timeout, nullptr) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents) break;
        now = Clock::now();
        auto& closed = closed_;
        closed.clear();
        const size_t first = 1 + interfaces_.size();
        for (size_t k = 0; k < connections_.size(); ++k) {
            Connection& c = connections_[k];
            const short ev = fds[first + k].revents;
            bool keep = true;
            if (c.unsentAt < c.unsent.size()) {
                keep = !(ev & (POLLERR | POLLHUP | POLLNVAL)) && (!(ev & POLLOUT) || SendUnsent(c));
                if (keep && c.unsentAt == c.unsent.size()) {
                    c.unsent.clear();
                    c.unsentAt = 0;
                    c.deadline = c.have > 0 ? now + kRequestDeadline : Clock::time_point::max();
                }
            } else if (c.resumeAt > now) {
                keep = ev == 0;  // hung up while paused
            } else if (ev || WholeRequestBuffered(c)) {
                keep = !(ev & (POLLERR | POLLNVAL)) && ((ev & POLLIN) || WholeRequestBuffered(c)) && Serve(c, ev & POLLIN);
                if (keep) {
                    c.lastActive = now;
                    // A host reading the roll FIFO sends its read right after the announcement:
                    // letting the samples accumulate first means the read finds them, instead of
                    // the server waking for the request and again when they are there.
                    const auto pause = interfaces_[c.interface].endpoint->PauseBeforeNextRequest();
                    if (pause > Clock::duration::zero())
                        c.resumeAt = Clock::now() + std::min<Clock::duration>(pause, kMaxPause);
                }
            }
            // A request that trickles in, or an answer the host does not take, ends here.
            if (keep && c.deadline <= now) keep = false;
            if (!keep) closed.push_back(k);
            if (stopping_.load(std::memory_order_relaxed)) break;
        }
        for (auto it = closed.rbegin(); it != closed.rend(); ++it) {
            ::close(connections_[*it].fd);
            connections_.erase(connections_.begin() + static_cast<std::ptrdiff_t>(*it));
        }
        for (size_t i = 0; i < interfaces_.size(); ++i)
            if (fds[1 + i].revents & POLLIN) AcceptFrom(i, now);
    }
}

void DeviceServer::AcceptFrom(size_t interface, Clock::time_point now) {
    for (;;) {
        const int fd = accept4(interfaces_[interface].listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            // Out of descriptors or memory: the connection stays pending and the socket stays
            // readable, so looking again at once would spin. Rest, then try again.
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                acceptPausedUntil_ = now + kAcceptRest;
            return;
        }
        if (connections_.size() >= kMaxConnections) {
            // Room for the newcomer: the connection idle longest goes, so that one host
            // holding many connections cannot lock the others out.
            auto idlest = connections_.end();
            for (auto it = connections_.begin(); it != connections_.end(); ++it) {
                const bool idle = it->have == 0 && it->unsent.empty();
                if (idle && (idlest == connections_.end() || it->lastActive < idlest->lastActive)) idlest = it;
            }
            if (idlest == connections_.end()) {
                ::close(fd);  // every connection is mid-request: the newcomer is refused
                continue;
            }
            ::close(idlest->fd);
            connections_.erase(idlest);
        }
        Connection c;
        c.fd = fd;
        c.interface = interface;
        c.received.resize(kReceiveBytes);
        c.lastActive = now;
        connections_.push_back(std::move(c));
    }
}

bool DeviceServer::WholeRequestBuffered(const Connection& c) {
    if (c.have < kHeaderBytes) return false;
    const uint32_t inLength = GetLe32(c.received.data() + 4);
    // An oversized request counts as whole: it is refused as soon as it is looked at.
    return inLength > platform::kMaxRequestInput || c.have >= kHeaderBytes + inLength;
}

bool DeviceServer::Fill(Connection& c) {
    // Whatever has arrived, up to the buffer's size: the rest of this request and perhaps
    // the start of the next. Never waits.
    while (c.have < c.received.size()) {
        const ssize_t n = ::recv(c.fd, c.received.data() + c.have, c.received.size() - c.have, MSG_DONTWAIT);
        if (n > 0) {
            c.have += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);  // 0: the host hung up
    }
    return true;
}

bool DeviceServer::Answer(Connection& c, bool ok, const uint8_t* out, size_t outLength) {
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
        const ssize_t n = ::sendmsg(c.fd, &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
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
    if (left == 0) return true;
    // The host's socket is full: the rest waits in the connection (at most the capped
    // output and its head) and goes out as the host takes it.
    c.unsent.clear();
    c.unsentAt = 0;
    for (size_t i = 0; i < msg.msg_iovlen; ++i) {
        const auto* p = static_cast<const uint8_t*>(msg.msg_iov[i].iov_base);
        c.unsent.insert(c.unsent.end(), p, p + msg.msg_iov[i].iov_len);
    }
    return true;
}

bool DeviceServer::SendUnsent(Connection& c) {
    while (c.unsentAt < c.unsent.size()) {
        const ssize_t n =
            ::send(c.fd, c.unsent.data() + c.unsentAt, c.unsent.size() - c.unsentAt, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            c.unsentAt += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    return true;
}

bool DeviceServer::Serve(Connection& c, bool readable) {
    if (readable && !Fill(c)) return false;
    // Requests the host sent back to back are served together, a bounded number a turn so that
    // one busy host does not starve the others; the rest stays buffered for the next turn.
    for (int i = 0; i < kRequestsPerTurn; ++i) {
        const Step step = ServeOne(c);
        if (step == Step::Broken) return false;
        if (step == Step::Incomplete || !c.unsent.empty() || c.have == 0 ||
            stopping_.load(std::memory_order_relaxed))
            break;
    }
    // The deadline runs from when a request is first seen to the host taking its answer.
    if (c.unsent.empty() && c.have == 0) c.deadline = Clock::time_point::max();
    else if (c.deadline == Clock::time_point::max()) c.deadline = Clock::now() + kRequestDeadline;
    if (c.have == 0 && c.received.size() > kKeptReceiveBytes) {
        c.received.resize(kReceiveBytes);
        c.received.shrink_to_fit();
    }
    return true;
}

DeviceServer::Step DeviceServer::ServeOne(Connection& c) {
    if (c.have < kHeaderBytes) return Step::Incomplete;
    const uint8_t* header = c.received.data();
    const uint32_t code = GetLe32(header);
    const uint32_t inLength = GetLe32(header + 4);
    const uint32_t outCapacity = GetLe32(header + 8);
    Interface& itf = interfaces_[c.interface];
    if (inLength > platform::kMaxRequestInput) {
        // The input cannot be skipped safely: refuse and drop the connection.
        Answer(c, false, nullptr, 0);
        LogRequest(itf, code, inLength, outCapacity, false, 0, {});
        return Step::Broken;
    }
    const size_t total = kHeaderBytes + inLength;
    if (c.have < total) {
        if (c.received.size() < total) {
            c.received.resize(total);
            if (!Fill(c)) return Step::Broken;
        }
        if (c.have < total) return Step::Incomplete;
    }
    const std::span<const uint8_t> input(c.received.data() + kHeaderBytes, inLength);
    output_.clear();
    requests_.fetch_add(1, std::memory_order_relaxed);
    const bool ok = itf.endpoint->HandleRequest(code, input, std::min(outCapacity, kMaxOutput), output_);
    const size_t outLength = std::min<size_t>(output_.size(), std::min(outCapacity, kMaxOutput));
    LogRequest(itf, code, inLength, outCapacity, ok, outLength, input);
    // What follows this request stays for the next.
    if (c.have > total) std::memmove(c.received.data(), c.received.data() + total, c.have - total);
    c.have -= total;
    // What follows (the answer's rest, the next request) gets a deadline of its own.
    c.deadline = Clock::time_point::max();
    return Answer(c, ok, output_.data(), outLength) ? Step::Served : Step::Broken;
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
