#include "sim/DeviceServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

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
    std::vector<pollfd> fds;
    while (!stopping_.load(std::memory_order_relaxed)) {
        fds.clear();
        fds.push_back({wakeRead_, POLLIN, 0});
        for (const auto& itf : interfaces_) fds.push_back({itf.listenFd, POLLIN, 0});
        for (const auto& c : connections_) fds.push_back({c.fd, POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[0].revents) break;
        for (size_t i = 0; i < interfaces_.size(); ++i) {
            if (!(fds[1 + i].revents & POLLIN)) continue;
            const int fd = accept4(interfaces_[i].listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;
            timeval timeout{kRequestTimeoutMs / 1000, (kRequestTimeoutMs % 1000) * 1000};
            setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
            setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
            connections_.push_back({fd, i});
        }
        // Connections accepted in this round are polled next round.
        const size_t polled = fds.size() - 1 - interfaces_.size();
        auto& closed = closed_;
        closed.clear();
        for (size_t k = 0; k < polled; ++k) {
            const short ev = fds[1 + interfaces_.size() + k].revents;
            if (!ev) continue;
            if (!(ev & POLLIN) || !Serve(connections_[k])) closed.push_back(k);
            if (stopping_.load(std::memory_order_relaxed)) break;
        }
        for (auto it = closed.rbegin(); it != closed.rend(); ++it) {
            ::close(connections_[*it].fd);
            connections_.erase(connections_.begin() + static_cast<std::ptrdiff_t>(*it));
        }
    }
}

bool DeviceServer::Serve(Connection& c) {
    uint8_t header[12];
    if (!platform::ReadExact(c.fd, header, sizeof(header))) return false;
    const uint32_t code = GetLe32(header);
    const uint32_t inLength = GetLe32(header + 4);
    const uint32_t outCapacity = GetLe32(header + 8);
    Interface& itf = interfaces_[c.interface];
    uint8_t answer[8];
    if (inLength > platform::kMaxRequestInput) {
        // The input cannot be skipped safely: refuse and drop the connection.
        PutLe32(answer, 0);
        PutLe32(answer + 4, 0);
        platform::WriteAll(c.fd, answer, sizeof(answer));
        LogRequest(itf, code, inLength, outCapacity, false, 0, {});
        return false;
    }
    input_.resize(inLength);
    if (!platform::ReadExact(c.fd, input_.data(), inLength)) return false;
    output_.clear();
    requests_.fetch_add(1, std::memory_order_relaxed);
    const bool ok = itf.endpoint->HandleRequest(code, input_, std::min(outCapacity, kMaxOutput), output_);
    const size_t outLength = std::min<size_t>(output_.size(), std::min(outCapacity, kMaxOutput));
    PutLe32(answer, ok ? 1 : 0);
    PutLe32(answer + 4, static_cast<uint32_t>(outLength));
    LogRequest(itf, code, inLength, outCapacity, ok, outLength, input_);
    return platform::WriteAll(c.fd, answer, sizeof(answer)) && platform::WriteAll(c.fd, output_.data(), outLength);
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
