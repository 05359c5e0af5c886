#include "GarbageServer.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/DeviceIo.h"

namespace rollmode::fuzz {

using platform::GetLe32;
using platform::PutLe32;

GarbageServer::GarbageServer(const std::string& classFolder) {
    char pattern[] = "/dev/shm/rollmode-fuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) std::abort();
    folder_ = made;
    const std::string classDir = folder_ + "/" + classFolder;
    if (mkdir(classDir.c_str(), 0700) != 0) std::abort();
    setenv("ROLLMODE_DEVICE_DIR", folder_.c_str(), 1);

    const std::string path = classDir + "/dev0";
    listen_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    if (listen_ < 0 || bind(listen_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listen_, 16) != 0)
        std::abort();
    thread_ = std::thread([this] { Run(); });
}

GarbageServer::~GarbageServer() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    ::shutdown(listen_, SHUT_RDWR);
    thread_.join();
    ::close(listen_);
    const std::string classDir = folder_;
    std::string cmd = "rm -rf '" + folder_ + "'";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", folder_.c_str());
}

void GarbageServer::SetScript(const uint8_t* data, size_t size) {
    std::lock_guard lock(mutex_);
    script_.assign(data, data + size);
    at_ = 0;
}

bool GarbageServer::ListenPending() const {
    pollfd p{listen_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

void GarbageServer::EndIteration() {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (conn_ >= 0) ::shutdown(conn_, SHUT_RDWR);
        if (conn_ < 0 && !ListenPending()) return;
        idle_.wait_for(lock, std::chrono::milliseconds(1));
    }
}

uint8_t GarbageServer::Next() { return at_ < script_.size() ? script_[at_++] : 0; }

uint32_t GarbageServer::Next32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(Next()) << (8 * i);
    return v;
}

void GarbageServer::Run() {
    for (;;) {
        const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        {
            std::lock_guard lock(mutex_);
            if (stop_) {
                if (fd >= 0) ::close(fd);
                return;
            }
            if (fd < 0) continue;
            conn_ = fd;
        }
        Serve(fd);
        {
            std::lock_guard lock(mutex_);
            ::close(fd);
            conn_ = -1;
        }
        idle_.notify_all();
    }
}

void GarbageServer::Serve(int fd) {
    for (;;) {
        uint8_t header[12];
        if (!platform::ReadExact(fd, header, sizeof header)) return;
        const uint32_t inLength = GetLe32(header + 4);
        const uint32_t outCapacity = GetLe32(header + 8);
        if (inLength > platform::kMaxRequestInput) return;
        input_.resize(inLength);
        if (!platform::ReadExact(fd, input_.data(), inLength)) return;
        ++requests_;
        std::lock_guard lock(mutex_);
        if (!Answer(fd, outCapacity)) return;
    }
}

// One answer from the script; false when the connection is to be dropped.
bool GarbageServer::Answer(int fd, uint32_t outCapacity) {
    if (at_ >= script_.size()) return false;  // script spent: the device goes away
    const uint8_t action = Next();
    uint8_t answer[8];
    switch (action % 8) {
        case 0: return false;  // dropped without a word
        case 1: {              // a header cut short
            PutLe32(answer, 1);
            PutLe32(answer + 4, outCapacity);
            platform::WriteAll(fd, answer, 1 + Next() % 7);
            return false;
        }
        case 2: {  // more than was asked for
            const uint32_t extra = 1 + Next() % 64;
            PutLe32(answer, 1);
            PutLe32(answer + 4, outCapacity + extra);
            output_.assign(std::min<uint64_t>(uint64_t(outCapacity) + extra, 1u << 20), 0x5A);
            platform::WriteAll(fd, answer, sizeof answer);
            platform::WriteAll(fd, output_.data(), output_.size());
            return false;
        }
        case 3: {  // the promised bytes never all arrive
            const uint32_t length = outCapacity == 0 ? 0 : 1 + Next32() % outCapacity;
            PutLe32(answer, 1);
            PutLe32(answer + 4, length);
            platform::WriteAll(fd, answer, sizeof answer);
            output_.assign(length / 2, 0xA5);
            platform::WriteAll(fd, output_.data(), output_.size());
            return false;
        }
        default: {  // well framed, any success word, any length within the capacity
            const uint32_t ok = (action & 0x80) ? Next32() : 1;
            const uint32_t length = outCapacity == 0 ? 0 : Next32() % (outCapacity + 1);
            output_.resize(length);
            for (uint32_t i = 0; i < length; ++i) output_[i] = Next();
            PutLe32(answer, ok);
            PutLe32(answer + 4, length);
            return platform::WriteAll(fd, answer, sizeof answer) && platform::WriteAll(fd, output_.data(), length);
        }
    }
}

}  // namespace rollmode::fuzz
