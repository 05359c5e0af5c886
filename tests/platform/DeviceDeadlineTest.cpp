// A device that dribbles its answer: the request as a whole has one deadline.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/DeviceIo.h"

using namespace std::chrono_literals;
using rollmode::platform::DeviceHandle;
using Clock = std::chrono::steady_clock;

namespace {

// Serves one connection: reads a request, then sends an 8-byte answer and 4 data bytes one
// byte per `gap`.
class DribblingDevice {
public:
    explicit DribblingDevice(std::chrono::milliseconds gap) : gap_(gap) {
        char pattern[] = "/tmp/rmdrib-XXXXXX";
        folder_ = mkdtemp(pattern);
        path_ = (folder_ / "dev").string();
        listen_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path_.c_str(), sizeof(addr.sun_path) - 1);
        if (::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listen_, 1) != 0)
            std::abort();
        thread_ = std::thread([this] { Serve(); });
    }
    ~DribblingDevice() {
        stop_ = true;
        ::shutdown(listen_, SHUT_RDWR);
        thread_.join();
        ::close(listen_);
        std::filesystem::remove_all(folder_);
    }
    const std::string& Path() const { return path_; }

private:
    void Serve() {
        const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return;
        uint8_t header[12];
        if (rollmode::platform::ReadExact(fd, header, sizeof header)) {
            uint8_t answer[12] = {};
            rollmode::platform::PutLe32(answer, 1);
            rollmode::platform::PutLe32(answer + 4, 4);
            for (uint8_t byte : answer) {
                if (stop_ || !rollmode::platform::WriteAll(fd, &byte, 1)) break;
                std::this_thread::sleep_for(gap_);
            }
        }
        // Kept open until the host gives up, as a slow device would.
        char sink;
        while (!stop_ && ::recv(fd, &sink, 1, 0) > 0) {
        }
        ::close(fd);
    }

    std::chrono::milliseconds gap_;
    std::filesystem::path folder_;
    std::string path_;
    int listen_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace

TEST(DeviceDeadline, AnAnswerDribbledPastTheDeadlineFailsTheRequestAndClosesTheHandle) {
    // Each byte comes well within the deadline; the whole answer (12 bytes, 100 ms apart) does not.
    DribblingDevice device(100ms);
    DeviceHandle handle = DeviceHandle::Open(device.Path(), 400ms);
    ASSERT_TRUE(handle.IsOpen());
    uint8_t out[4];
    uint32_t got = 99;
    const auto start = Clock::now();
    EXPECT_FALSE(handle.Control(0x220024, nullptr, 0, out, sizeof out, &got));
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 350ms);
    EXPECT_LT(took, 900ms);
    EXPECT_EQ(got, 0u);
    EXPECT_FALSE(handle.IsOpen()) << "a late device counts as unplugged";
    EXPECT_FALSE(handle.Control(0x220024, nullptr, 0, out, sizeof out, &got));
}

TEST(DeviceDeadline, AnAnswerInPiecesWithinTheDeadlineIsTaken) {
    DribblingDevice device(10ms);
    DeviceHandle handle = DeviceHandle::Open(device.Path(), 2000ms);
    uint8_t out[4];
    uint32_t got = 0;
    EXPECT_TRUE(handle.Control(0x220024, nullptr, 0, out, sizeof out, &got));
    EXPECT_EQ(got, 4u);
    EXPECT_TRUE(handle.IsOpen());
}
