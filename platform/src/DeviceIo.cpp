#include "platform/DeviceIo.h"

#include "platform/PrivateFolder.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace rollmode::platform {

namespace {

using Clock = std::chrono::steady_clock;

bool FitsSocketAddress(const std::string& path) { return path.size() < sizeof(sockaddr_un{}.sun_path); }

// Waits until the socket is ready for `events` (or reports an error or hang-up, which
// the next call then returns); false once the deadline has passed.
bool WaitReady(int fd, short events, Clock::time_point deadline) noexcept {
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd, events, 0};
        const int rc = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 60'000)));
        if (rc > 0) return true;
        if (rc < 0 && errno != EINTR) return false;
    }
}

// Sends every byte of the pieces before the deadline, in as few calls as the socket takes.
bool SendPieces(int fd, iovec* pieces, size_t count, Clock::time_point deadline) noexcept {
    while (count > 0) {
        msghdr message{};
        message.msg_iov = pieces;
        message.msg_iovlen = count;
        const ssize_t n = ::sendmsg(fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitReady(fd, POLLOUT, deadline)) return false;
            continue;
        }
        if (n <= 0) return false;
        auto sent = static_cast<size_t>(n);
        while (count > 0 && sent >= pieces->iov_len) {
            sent -= pieces->iov_len;
            ++pieces;
            --count;
        }
        if (count > 0) {
            pieces->iov_base = static_cast<uint8_t*>(pieces->iov_base) + sent;
            pieces->iov_len -= sent;
        }
    }
    return true;
}

// One receive of whatever has arrived, waiting no later than the deadline; the byte
// count, or -1 on error, end of stream or a passed deadline.
ssize_t ReceiveBy(int fd, msghdr& message, Clock::time_point deadline) noexcept {
    for (;;) {
        if (!WaitReady(fd, POLLIN, deadline)) return -1;
        const ssize_t n = ::recvmsg(fd, &message, MSG_DONTWAIT);
        if (n > 0) return n;
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        return -1;
    }
}

bool ReadExactBy(int fd, void* data, size_t length, Clock::time_point deadline) noexcept {
    auto* p = static_cast<uint8_t*>(data);
    while (length > 0) {
        iovec piece{p, length};
        msghdr message{};
        message.msg_iov = &piece;
        message.msg_iovlen = 1;
        const ssize_t n = ReceiveBy(fd, message, deadline);
        if (n <= 0) return false;
        p += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::filesystem::path DeviceFolder() {
    if (const char* dir = std::getenv("ROLLMODE_DEVICE_DIR"); dir && *dir) return dir;
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run)
        return std::filesystem::path(run) / "rollmode-devices";
    return FallbackRuntimeFolder();
}

std::string ClassFolderName(std::string_view classGuid) {
    std::string name;
    name.reserve(classGuid.size());
    for (char c : classGuid) {
        if (c == '{' || c == '}') continue;
        name.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
    return name;
}

std::filesystem::path ClassFolder(std::string_view classGuid, const std::filesystem::path& root) {
    return root / ClassFolderName(classGuid);
}

std::optional<std::vector<DeviceInterface>> EnumerateDeviceInterfaces(std::string_view classGuid,
                                                                      const std::filesystem::path& root) {
    // Sockets in a folder someone else controls could be anyone's fake instrument.
    const auto folder = ClassFolder(classGuid, root);
    if (!CheckOwnFolder(root).empty() || !CheckOwnFolder(folder).empty()) return std::nullopt;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) return std::nullopt;
    std::vector<DeviceInterface> found;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec) return std::nullopt;
        DeviceInterface entry;
        entry.name = it->path().filename().string();
        std::string path = it->path().string();
        if (it->is_socket(ec) && !ec && FitsSocketAddress(path)) entry.path = std::move(path);
        found.push_back(std::move(entry));
    }
    std::sort(found.begin(), found.end(),
              [](const DeviceInterface& a, const DeviceInterface& b) { return a.name < b.name; });
    return found;
}

DeviceHandle::~DeviceHandle() { Close(); }

DeviceHandle::DeviceHandle(DeviceHandle&& other) noexcept : fd_(other.fd_), deadline_(other.deadline_) {
    other.fd_ = -1;
}

DeviceHandle& DeviceHandle::operator=(DeviceHandle&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        deadline_ = other.deadline_;
        other.fd_ = -1;
    }
    return *this;
}

DeviceHandle DeviceHandle::Open(const std::string& path, std::chrono::milliseconds requestDeadline) noexcept {
    if (!FitsSocketAddress(path)) return {};
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return {};
    // A server that does not accept (its queue full) holds the connect no longer than
    // a request may take.
    const auto whole = std::chrono::duration_cast<std::chrono::seconds>(requestDeadline);
    timeval timeout{static_cast<time_t>(whole.count()),
                    static_cast<suseconds_t>(std::chrono::microseconds(requestDeadline - whole).count())};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int rc;
    do {
        rc = connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr));
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return {};
    }
    // Blocking calls by other users of the descriptor are bounded as well; requests
    // themselves keep one deadline for the whole exchange.
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    return DeviceHandle(fd, requestDeadline);
}

bool DeviceHandle::Control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outCapacity,
                           uint32_t* returned) noexcept {
    if (returned) *returned = 0;
    if (fd_ < 0 || inLength > kMaxRequestInput || (inLength && !in) || (outCapacity && !out)) return false;
    // One deadline for the whole exchange: a device that dribbles its answer a byte at a
    // time counts as gone as soon as one that stays silent does.
    const Clock::time_point deadline = Clock::now() + deadline_;
    uint8_t header[12];
    PutLe32(header, code);
    PutLe32(header + 4, inLength);
    PutLe32(header + 8, outCapacity);
    // The header and its input leave in one call, and the answer's header and data
    // arrive in one where the socket has them: each round trip costs the device one
    // wake-up instead of several.
    iovec request[2] = {{header, sizeof(header)}, {const_cast<void*>(in), inLength}};
    if (!SendPieces(fd_, request, 2, deadline)) {
        Close();
        return false;
    }
    uint8_t answer[8];
    iovec reply[2] = {{answer, sizeof(answer)}, {out, outCapacity}};
    msghdr message{};
    message.msg_iov = reply;
    message.msg_iovlen = 2;
    const ssize_t got = ReceiveBy(fd_, message, deadline);
    if (got <= 0) {
        Close();
        return false;
    }
    const auto first = static_cast<size_t>(got);
    if (first < sizeof(answer) && !ReadExactBy(fd_, answer + first, sizeof(answer) - first, deadline)) {
        Close();
        return false;
    }
    const size_t dataGot = first > sizeof(answer) ? first - sizeof(answer) : 0;
    const uint32_t ok = GetLe32(answer);
    const uint32_t length = GetLe32(answer + 4);
    // A server that answers more than was asked for, or more than it announces, has
    // lost the framing.
    if (length > outCapacity || dataGot > length ||
        !ReadExactBy(fd_, out ? static_cast<uint8_t*>(out) + dataGot : nullptr, length - dataGot, deadline)) {
        Close();
        return false;
    }
    if (returned) *returned = length;
    return ok == 1;
}

void DeviceHandle::Close() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool ReadExact(int fd, void* data, size_t length) noexcept {
    auto* p = static_cast<uint8_t*>(data);
    while (length > 0) {
        const ssize_t n = ::recv(fd, p, length, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool WriteAll(int fd, const void* data, size_t length) noexcept {
    const auto* p = static_cast<const uint8_t*>(data);
    while (length > 0) {
        const ssize_t n = ::send(fd, p, length, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace rollmode::platform
