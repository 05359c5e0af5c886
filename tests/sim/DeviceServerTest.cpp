#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/DeviceIo.h"
#include "sim/Simulator.h"

using namespace rollmode;
using Steady = std::chrono::steady_clock;

namespace {

class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/rmsim-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

int RawConnect(const std::filesystem::path& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof(addr.sun_path) - 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Register 9 written and read back through a proper client.
void ExpectHealthy(const std::filesystem::path& path, uint16_t value) {
    auto handle = platform::DeviceHandle::Open(path.string());
    ASSERT_TRUE(handle.IsOpen());
    const uint8_t cmds[] = {0x26, 9, uint8_t(value >> 8), uint8_t(value), 0x24, 9, 0, 0};
    ASSERT_TRUE(handle.Control(0x220018, cmds, sizeof(cmds), nullptr, 0));
    uint8_t answer[4] = {};
    uint32_t got = 0;
    ASSERT_TRUE(handle.Control(0x220024, nullptr, 0, answer, 4, &got));
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(answer[0] << 8 | answer[1], value);
}

TEST(DeviceIo, FolderNamesAndEnumerationOrder) {
    EXPECT_EQ(platform::ClassFolderName("{710177ab-8588-4e5c-89ef-67e2a92e861e}"), "710177AB-8588-4E5C-89EF-67E2A92E861E");
    setenv("ROLLMODE_DEVICE_DIR", "/x/devs", 1);
    EXPECT_EQ(platform::DeviceFolder(), "/x/devs");
    unsetenv("ROLLMODE_DEVICE_DIR");
    setenv("XDG_RUNTIME_DIR", "/run/user/77", 1);
    EXPECT_EQ(platform::DeviceFolder(), "/run/user/77/rollmode-devices");
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(platform::DeviceFolder(), "/tmp/rollmode-devices-" + std::to_string(getuid()));

    TempFolder dir;
    EXPECT_FALSE(platform::EnumerateDeviceInterfaces("{1-2}", dir.Path()).has_value());
    sim::SimulatorConfig config;
    config.deviceFolder = dir.Path();
    config.multiDeviceIds = {3, 1, 2};
    sim::Simulator sim(config);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    std::ofstream(platform::ClassFolder(sim::kMultiDeviceClass, dir.Path()) / "unit01x") << "not a socket";
    const auto found = platform::EnumerateDeviceInterfaces(sim::kMultiDeviceClass, dir.Path());
    ASSERT_TRUE(found.has_value());
    ASSERT_EQ(found->size(), 4u);
    EXPECT_EQ((*found)[0].name, "unit00");
    EXPECT_EQ((*found)[1].name, "unit01");
    EXPECT_EQ((*found)[2].name, "unit01x");
    EXPECT_FALSE((*found)[2].path.has_value());
    EXPECT_EQ((*found)[3].name, "unit02");
    EXPECT_TRUE((*found)[3].path.has_value());
}

TEST(DeviceServer, SurvivesAMisbehavingHost) {
    TempFolder dir;
    sim::SimulatorConfig config;
    config.deviceFolder = dir.Path();
    sim::Simulator sim(config);
    ASSERT_TRUE(sim.Start()) << sim.Error();
    const auto path = sim.SingleDevicePath();

    // A header cut short, then the host goes away.
    int fd = RawConnect(path);
    ASSERT_GE(fd, 0);
    const uint8_t partial[6] = {0x18, 0, 0x22, 0, 4, 0};
    ASSERT_EQ(send(fd, partial, sizeof(partial), MSG_NOSIGNAL), 6);
    close(fd);

    // An input length beyond every limit: refused, connection dropped.
    fd = RawConnect(path);
    uint8_t header[12];
    platform::PutLe32(header, 0x220018);
    platform::PutLe32(header + 4, 0xFFFFFFF0u);
    platform::PutLe32(header + 8, 0);
    ASSERT_TRUE(platform::WriteAll(fd, header, sizeof(header)));
    uint8_t answer[8];
    ASSERT_TRUE(platform::ReadExact(fd, answer, sizeof(answer)));
    EXPECT_EQ(platform::GetLe32(answer), 0u);
    EXPECT_FALSE(platform::ReadExact(fd, answer, 1));  // closed by the server
    close(fd);

    // Unknown codes, a huge output capacity, a read nobody announced, garbage commands.
    auto handle = platform::DeviceHandle::Open(path.string());
    ASSERT_TRUE(handle.IsOpen());
    EXPECT_FALSE(handle.Control(0x7777, nullptr, 0, nullptr, 0));
    std::vector<uint8_t> big(1 << 21);
    uint32_t got = 99;
    EXPECT_FALSE(handle.Control(0x220024, nullptr, 0, big.data(), uint32_t(big.size()), &got));
    EXPECT_EQ(got, 0u);
    std::vector<uint8_t> junk(4003);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = uint8_t(i * 37 + 11);
    for (size_t i = 0; i + 4 <= junk.size(); i += 4) {
        if (junk[i] == 0x35) junk[i] = 0x36;  // no waits, keep the test short
        if (junk[i] == 0x20) junk[i] = 0x21;  // keep the FPGA configured state irrelevant
    }
    EXPECT_TRUE(handle.Control(0x220018, junk.data(), uint32_t(junk.size()), nullptr, 0));
    // Drain whatever the junk asked to be answered, up to the bound.
    while (handle.Control(0x220024, nullptr, 0, big.data(), 64)) {
    }
    EXPECT_TRUE(handle.IsOpen());

    ExpectHealthy(path, 0x1234);
    EXPECT_TRUE(sim.Running());
}

TEST(DeviceServer, StalledRequestDoesNotBlockOtherHostsForLong) {
    TempFolder dir;
    sim::SimulatorConfig config;
    config.deviceFolder = dir.Path();
    sim::Simulator sim(config);
    ASSERT_TRUE(sim.Start());
    const int stalled = RawConnect(sim.SingleDevicePath());
    uint8_t header[12];
    platform::PutLe32(header, 0x220018);
    platform::PutLe32(header + 4, 100);
    platform::PutLe32(header + 8, 0);
    ASSERT_TRUE(platform::WriteAll(stalled, header, sizeof(header)));  // the 100 bytes never come
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto start = Steady::now();
    ExpectHealthy(sim.SingleDevicePath(), 0x0042);
    EXPECT_LT(Steady::now() - start, std::chrono::seconds(3));
    close(stalled);
}

TEST(DeviceServer, RequestsSentBackToBackOrInPiecesAreAnsweredInOrder) {
    TempFolder dir;
    sim::SimulatorConfig config;
    config.deviceFolder = dir.Path();
    sim::Simulator sim(config);
    ASSERT_TRUE(sim.Start());
    const int fd = RawConnect(sim.SingleDevicePath());
    ASSERT_GE(fd, 0);
    const auto request = [](std::vector<uint8_t>& to, uint32_t code, std::vector<uint8_t> in, uint32_t capacity) {
        uint8_t header[12];
        platform::PutLe32(header, code);
        platform::PutLe32(header + 4, uint32_t(in.size()));
        platform::PutLe32(header + 8, capacity);
        to.insert(to.end(), header, header + 12);
        to.insert(to.end(), in.begin(), in.end());
    };
    // Three requests in one write: a register write and read-back, then the read of the answer.
    std::vector<uint8_t> wire;
    request(wire, 0x220018, {0x26, 9, 0x0B, 0xCD}, 0);
    request(wire, 0x220018, {0x24, 9, 0, 0}, 0);
    request(wire, 0x220024, {}, 4);
    ASSERT_TRUE(platform::WriteAll(fd, wire.data(), wire.size()));
    uint8_t answers[8 + 8 + 8 + 4];
    ASSERT_TRUE(platform::ReadExact(fd, answers, sizeof(answers)));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(platform::GetLe32(answers + 8 * i), 1u) << "answer " << i;
    EXPECT_EQ(platform::GetLe32(answers + 20), 4u);
    EXPECT_EQ(answers[24] << 8 | answers[25], 0x0BCD);
    // One request a byte at a time.
    wire.clear();
    request(wire, 0x220018, {0x26, 9, 0x0E, 0xF0, 0x24, 9, 0, 0}, 0);
    request(wire, 0x220024, {}, 4);
    for (uint8_t b : wire) ASSERT_TRUE(platform::WriteAll(fd, &b, 1));
    uint8_t two[8 + 8 + 4];
    ASSERT_TRUE(platform::ReadExact(fd, two, sizeof(two)));
    EXPECT_EQ(platform::GetLe32(two), 1u);
    EXPECT_EQ(two[16] << 8 | two[17], 0x0EF0);
    // More requests in one write than are served in one turn: the rest is served without the
    // host sending anything more, and another host gets its turns meanwhile.
    wire.clear();
    for (int i = 0; i < 100; ++i) request(wire, 0x220028, {}, 0);
    ASSERT_TRUE(platform::WriteAll(fd, wire.data(), wire.size()));
    ExpectHealthy(sim.SingleDevicePath(), 0x0777);
    std::vector<uint8_t> hundred(8 * 100);
    timeval timeout{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    ASSERT_TRUE(platform::ReadExact(fd, hundred.data(), hundred.size()));
    for (int i = 0; i < 100; ++i) EXPECT_EQ(platform::GetLe32(&hundred[8 * i]), 1u) << "answer " << i;
    close(fd);
}

TEST(DeviceServer, VanishRemovesTheDevice) {
    TempFolder dir;
    sim::SimulatorConfig config;
    config.deviceFolder = dir.Path();
    config.multiDeviceIds = {5};
    sim::Simulator sim(config);
    ASSERT_TRUE(sim.Start());
    auto handle = platform::DeviceHandle::Open(sim.SingleDevicePath().string());
    ASSERT_TRUE(handle.Control(0x220028, nullptr, 0, nullptr, 0));
    sim.Vanish();
    EXPECT_FALSE(std::filesystem::exists(sim.SingleDevicePath()));
    EXPECT_TRUE(platform::EnumerateDeviceInterfaces(sim::kMultiDeviceClass, dir.Path())->empty());
    EXPECT_FALSE(handle.Control(0x220028, nullptr, 0, nullptr, 0));
    EXPECT_FALSE(handle.IsOpen());
    EXPECT_FALSE(platform::DeviceHandle::Open(sim.SingleDevicePath().string()).IsOpen());
}

TEST(DeviceServer, LogsEveryRequest) {
    TempFolder dir;
    sim::SimulatorConfig config;
    config.deviceFolder = dir.Path();
    config.logFile = (dir.Path() / "requests.log").string();
    {
        sim::Simulator sim(config);
        ASSERT_TRUE(sim.Start());
        ExpectHealthy(sim.SingleDevicePath(), 0x0ABC);
        auto handle = platform::DeviceHandle::Open(sim.SingleDevicePath().string());
        handle.Control(0x123456, nullptr, 0, nullptr, 0);
        EXPECT_EQ(sim.RequestCount(), 3u);
    }
    std::ifstream in(config.logFile);
    std::stringstream text;
    text << in.rdbuf();
    const std::string log = text.str();
    EXPECT_NE(log.find("code=0x220018 in=8 cap=0 -> ok out=0 cmds: 26090ABC 24090000"), std::string::npos) << log;
    EXPECT_NE(log.find("code=0x220024 in=0 cap=4 -> ok out=4"), std::string::npos) << log;
    EXPECT_NE(log.find("code=0x123456 in=0 cap=0 -> FAILED"), std::string::npos) << log;
}

// One host trickles a request a byte at a time (each byte within any per-read timeout);
// another is served meanwhile, and the trickler is dropped at the request deadline.
TEST(DeviceServer, ATricklingHostIsDroppedAtTheDeadlineAndOthersAreServedMeanwhile) {
    TempFolder dir;
    sim::SimulatorConfig config;
    config.deviceFolder = dir.Path();
    sim::Simulator sim(config);
    ASSERT_TRUE(sim.Start());
    const int trickler = RawConnect(sim.SingleDevicePath());
    ASSERT_GE(trickler, 0);
    uint8_t header[12];
    platform::PutLe32(header, 0x220018);
    platform::PutLe32(header + 4, 4);
    platform::PutLe32(header + 8, 0);
    std::atomic<bool> dropped{false};
    std::atomic<bool> done{false};
    const auto start = Steady::now();
    std::thread trickle([&] {
        for (size_t i = 0; i < sizeof(header) && !done; ++i) {
            if (send(trickler, header + i, 1, MSG_NOSIGNAL) != 1) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        }
        char b;
        timeval tv{3, 0};
        setsockopt(trickler, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
        dropped = recv(trickler, &b, 1, 0) == 0;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    for (int i = 0; i < 3; ++i) {
        const auto before = Steady::now();
        ExpectHealthy(sim.SingleDevicePath(), uint16_t(0x100 + i));
        EXPECT_LT(Steady::now() - before, std::chrono::milliseconds(300)) << "served while the other trickles";
    }
    trickle.join();
    done = true;
    EXPECT_TRUE(dropped.load()) << "closed by the server";
    EXPECT_LT(Steady::now() - start, sim::DeviceServer::kRequestDeadline + std::chrono::milliseconds(1500));
    close(trickler);
}

// Hosts that connect and stay silent cannot lock out a newcomer.
TEST(DeviceServer, HeldConnectionsAreCappedAndTheIdlestMakesRoom) {
    TempFolder dir;
    sim::SimulatorConfig config;
    config.deviceFolder = dir.Path();
    sim::Simulator sim(config);
    ASSERT_TRUE(sim.Start());
    std::vector<int> held;
    for (size_t i = 0; i < sim::DeviceServer::kMaxConnections + 8; ++i) {
        const int fd = RawConnect(sim.SingleDevicePath());
        ASSERT_GE(fd, 0);
        held.push_back(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ExpectHealthy(sim.SingleDevicePath(), 0x0321);
    // The first ones were idle longest and have been closed.
    char b;
    timeval tv{1, 0};
    setsockopt(held.front(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
    EXPECT_EQ(recv(held.front(), &b, 1, 0), 0);
    for (int fd : held) close(fd);
}

// When the process has no descriptor left, a pending connection must not keep the server
// spinning: it rests and accepts once descriptors are free again.
TEST(DeviceServer, NoSpinningWhileDescriptorsRunOut) {
    TempFolder dir;
    sim::SimulatorConfig config;
    config.deviceFolder = dir.Path();
    sim::Simulator sim(config);
    ASSERT_TRUE(sim.Start());
    const int waiting = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(waiting, 0);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    // Every descriptor number up to the highest in use is taken: no new one can be made.
    int highest = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        highest = std::max(highest, std::stoi(entry.path().filename().string()));
    const int base = open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(base, 0);
    highest = std::max(highest, base);
    std::vector<int> fillers{base};
    for (int fd = dup(base); fd >= 0; fd = dup(base)) {
        if (fd > highest) {
            close(fd);
            break;
        }
        fillers.push_back(fd);
    }
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(highest + 1);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, sim.SingleDevicePath().c_str(), sizeof(addr.sun_path) - 1);
    ASSERT_EQ(connect(waiting, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    getrusage(RUSAGE_SELF, &after);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    for (int fd : fillers) close(fd);
    const auto cpu = [](const rusage& u) {
        return std::chrono::seconds(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
               std::chrono::microseconds(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
    };
    EXPECT_LT(cpu(after) - cpu(before), std::chrono::milliseconds(150)) << "the server spun on the pending connection";
    // Descriptors are back: the waiting host is served.
    uint8_t header[12];
    platform::PutLe32(header, 0x220028);
    platform::PutLe32(header + 4, 0);
    platform::PutLe32(header + 8, 0);
    ASSERT_TRUE(platform::WriteAll(waiting, header, sizeof(header)));
    timeval tv{3, 0};
    setsockopt(waiting, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
    uint8_t answer[8];
    EXPECT_TRUE(platform::ReadExact(waiting, answer, sizeof(answer)));
    close(waiting);
}

// Answers as long as the host offers room for.
class FullAnswers final : public sim::DeviceEndpoint {
public:
    bool HandleRequest(uint32_t, std::span<const uint8_t>, uint32_t outCapacity, std::vector<uint8_t>& out) override {
        out.assign(outCapacity, 0x55);
        return true;
    }
};

// A host that never takes its answer holds nothing but its own connection, and loses that
// at the deadline.
TEST(DeviceServer, AnAnswerTheHostDoesNotTakeHoldsNoOtherHost) {
    TempFolder dir;
    FullAnswers endpoint;
    sim::DeviceServer server;
    const auto path = dir.Path() / "class" / "dev";
    ASSERT_TRUE(server.AddInterface(path, endpoint));
    ASSERT_TRUE(server.Start());
    const int greedy = RawConnect(path);
    ASSERT_GE(greedy, 0);
    std::vector<uint8_t> wire;
    for (int i = 0; i < 4; ++i) {
        uint8_t header[12];
        platform::PutLe32(header, 1);
        platform::PutLe32(header + 4, 0);
        platform::PutLe32(header + 8, 1u << 20);
        wire.insert(wire.end(), header, header + 12);
    }
    ASSERT_TRUE(platform::WriteAll(greedy, wire.data(), wire.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto handle = platform::DeviceHandle::Open(path.string());
    uint8_t out[4];
    uint32_t got = 0;
    const auto start = Steady::now();
    EXPECT_TRUE(handle.Control(2, nullptr, 0, out, sizeof out, &got));
    EXPECT_EQ(got, 4u);
    EXPECT_LT(Steady::now() - start, std::chrono::milliseconds(300));
    // The greedy host's connection ends at the deadline: what it reads ends with end of stream.
    timeval tv{5, 0};
    setsockopt(greedy, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
    std::this_thread::sleep_for(sim::DeviceServer::kRequestDeadline + std::chrono::milliseconds(300));
    std::vector<uint8_t> sink(1 << 16);
    size_t total = 0;
    ssize_t n;
    while ((n = recv(greedy, sink.data(), sink.size(), 0)) > 0) total += static_cast<size_t>(n);
    EXPECT_EQ(n, 0);
    EXPECT_LT(total, 4u * ((1u << 20) + 8)) << "not every answer was sent";
    close(greedy);
    server.Stop();
}

TEST(DeviceServer, SocketsAreOnlyForThisUserAndAForeignFolderIsRefused) {
    TempFolder dir;
    sim::SimulatorConfig config;
    config.deviceFolder = dir.Path() / "devices";
    {
        sim::Simulator sim(config);
        ASSERT_TRUE(sim.Start()) << sim.Error();
        struct stat info {};
        ASSERT_EQ(lstat(sim.SingleDevicePath().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        ASSERT_EQ(lstat(sim.SingleDevicePath().parent_path().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        ASSERT_EQ(lstat(config.deviceFolder.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
    }
    // A class folder swapped for a link to elsewhere is not published into.
    const auto classFolder = platform::ClassFolder(sim::kSingleDeviceClass, config.deviceFolder);
    std::filesystem::remove_all(classFolder);
    std::filesystem::create_directory(dir.Path() / "elsewhere");
    std::filesystem::create_directory_symlink(dir.Path() / "elsewhere", classFolder);
    {
        sim::Simulator sim(config);
        EXPECT_FALSE(sim.Start());
        EXPECT_TRUE(std::filesystem::is_empty(dir.Path() / "elsewhere"));
    }
    if (geteuid() != 0) GTEST_SKIP() << "needs root to make a folder of another user";
    std::filesystem::remove(classFolder);
    ASSERT_EQ(chown(config.deviceFolder.c_str(), 4321, 4321), 0);
    sim::Simulator sim(config);
    EXPECT_FALSE(sim.Start());
    EXPECT_NE(sim.Error().find("belongs to another user"), std::string::npos) << sim.Error();
}

}  // namespace
