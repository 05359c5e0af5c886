#include "platform/DeviceIo.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace rollmode::platform {

namespace {

// A device that has not answered within this time counts as gone.
constexpr int kAnswerTimeoutSeconds = 5;

bool FitsSocketAddress(const std::string& path) { return path.size() < sizeof(sockaddr_un{}.sun_path); }

// Sends every byte of the pieces, in as few calls as the socket takes.
bool SendPieces(int fd, iovec* pieces, size_t count) noexcept {
    while (count > 0) {
        msghdr message{};
        message.msg_iov = pieces;
        message.msg_iovlen = count;
        const ssize_t n = ::sendmsg(fd, &message, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
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

}  // namespace

std::filesystem::path DeviceFolder() {
    if (const char* dir = std::getenv("ROLLMODE_DEVICE_DIR"); dir && *dir) return dir;
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run)
        return std::filesystem::path(run) / "rollmode-devices";
    return "/tmp/rollmode-devices-" + std::to_string(getuid());
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
    std::error_code ec;
    std::filesystem::directory_iterator it(ClassFolder(classGuid, root), ec);
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

DeviceHandle::DeviceHandle(DeviceHandle&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

DeviceHandle& DeviceHandle::operator=(DeviceHandle&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

DeviceHandle DeviceHandle::Open(const std::string& path) noexcept {
    if (!FitsSocketAddress(path)) return {};
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return {};
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
    timeval timeout{kAnswerTimeoutSeconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
    return DeviceHandle(fd);
}

bool DeviceHandle::Control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outCapacity,
                           uint32_t* returned) noexcept {
    if (returned) *returned = 0;
    if (fd_ < 0 || inLength > kMaxRequestInput || (inLength && !in) || (outCapacity && !out)) return false;
    uint8_t header[12];
    PutLe32(header, code);
    PutLe32(header + 4, inLength);
    PutLe32(header + 8, outCapacity);
    // The header and its input leave in one call, and the answer's header and data
    // arrive in one where the socket has them: each round trip costs the device one
    // wake-up instead of several.
    iovec request[2] = {{header, sizeof(header)}, {const_cast<void*>(in), inLength}};
    if (!SendPieces(fd_, request, 2)) {
        Close();
        return false;
    }
    uint8_t answer[8];
    iovec reply[2] = {{answer, sizeof(answer)}, {out, outCapacity}};
    msghdr message{};
    message.msg_iov = reply;
    message.msg_iovlen = 2;
    ssize_t got = -1;
    do got = ::recvmsg(fd_, &message, 0);
    while (got < 0 && errno == EINTR);
    if (got <= 0) {
        Close();
        return false;
    }
    const auto first = static_cast<size_t>(got);
    if (first < sizeof(answer) && !ReadExact(fd_, answer + first, sizeof(answer) - first)) {
        Close();
        return false;
    }
    const size_t dataGot = first > sizeof(answer) ? first - sizeof(answer) : 0;
    const uint32_t ok = GetLe32(answer);
    const uint32_t length = GetLe32(answer + 4);
    // A server that answers more than was asked for, or more than it announces, has
    // lost the framing.
    if (length > outCapacity || dataGot > length ||
        !ReadExact(fd_, out ? static_cast<uint8_t*>(out) + dataGot : nullptr, length - dataGot)) {
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
