#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "DeviceFolderFixture.h"
#include "RecordingDevice.h"
#include "platform/DeviceIo.h"
#include "platform/DynamicLibrary.h"
#include "rollmode/Abi.h"
#include "sim/DeviceServer.h"

using namespace rollmode;
using rollmode::testing::RecordingDevice;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr char kClass[] = "{FEA7AA24-D4E4-4956-ADE9-A2DECC05F7C2}";

int g_callbacks = 0;
void ROLLMODE_STDCALL CountCallback(uint8_t) { ++g_callbacks; }

struct Tolv {
    platform::DynamicLibrary lib = platform::DynamicLibrary::Load("tolv.dll");
#define BIND(name) rollmode::abi::name##Fn name = lib.Bind<rollmode::abi::name##Fn>(#name)
    BIND(USBInitDevices);
    BIND(USBUseDevice);
    BIND(USBInitDevice);
    BIND(USBSetShift);
    BIND(USBSingleWrite);
    BIND(USBSingleWriteWithoutFlush);
    BIND(USBFlushBuffer);
    BIND(USBRollFIFORead);
    BIND(USBSetCallBackFunction);
    BIND(USBGetDeviceID);
#undef BIND
};

// A socket file nobody listens on: enumerated, but opening it fails.
void MakeStaleSocket(const std::filesystem::path& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof(addr.sun_path) - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    close(fd);
}

class TolvTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_callbacks = 0;
        ASSERT_TRUE(tolv_.lib.IsLoaded()) << tolv_.lib.Error();
        tolv_.USBSetCallBackFunction(CountCallback);
    }

    RecordingDevice& Add(const std::string& name, uint32_t id, uint16_t packetSize = 64) {
        devices_.push_back(std::make_unique<RecordingDevice>(packetSize, id));
        EXPECT_TRUE(server_.AddInterface(ClassDir() / name, *devices_.back()));
        return *devices_.back();
    }
    std::filesystem::path ClassDir() const { return platform::ClassFolder(kClass, folder_.Path()); }

    rollmode::testing::DeviceFolder folder_;
    std::vector<std::unique_ptr<RecordingDevice>> devices_;
    sim::DeviceServer server_;
    Tolv tolv_;
};

TEST_F(TolvTest, SlotsFillInOrderSkippingUnusableInterfaces) {
    RecordingDevice& first = Add("unit00", 0x1111);
    std::filesystem::create_directories(ClassDir());
    std::ofstream(ClassDir() / "unit01-no-path") << "x";  // its path cannot be obtained
    MakeStaleSocket(ClassDir() / "unit02-stale");          // cannot be opened
    RecordingDevice& second = Add("unit03", 0x2222, 512);
    ASSERT_TRUE(server_.Start());

    uint32_t ids[16];
    std::fill(std::begin(ids), std::end(ids), 0xDEADu);
    EXPECT_EQ(tolv_.USBInitDevices(ids), 0u);
    EXPECT_EQ(ids[0], 0x1111u);
    EXPECT_EQ(ids[1], 0x2222u);
    for (int s = 2; s < 16; ++s) EXPECT_EQ(ids[s], 0u) << "slot " << s;

    EXPECT_NE(tolv_.USBUseDevice(1), 0);
    first.Clear();
    second.Clear();
    tolv_.USBSingleWrite(9, 0x0ABC);
    std::vector<uint8_t> buffer(65536);
    tolv_.USBRollFIFORead(1, buffer.data(), buffer.size());
    EXPECT_TRUE(first.Requests().empty());
    // The second slot's own packet size (512) counts the packets.
    EXPECT_EQ(second.SentCommands(), (Bytes{0x26, 0x09, 0x0A, 0xBC, 0x2B, 0x01, 0x00, 0x80}));
    EXPECT_EQ(g_callbacks, 0);
}

TEST_F(TolvTest, SixteenSlotsAtMost) {
    for (int i = 0; i < 18; ++i) Add("unit" + std::to_string(10 + i), 100 + i);
    ASSERT_TRUE(server_.Start());
    uint32_t ids[16] = {};
    tolv_.USBInitDevices(ids);
    for (int s = 0; s < 16; ++s) EXPECT_EQ(ids[s], uint32_t(100 + s));
    EXPECT_EQ(devices_[16]->Requests().size(), 0u);
    EXPECT_EQ(devices_[17]->Requests().size(), 0u);
}

TEST_F(TolvTest, NoEntryIsActiveUntilOneIsUsed) {
    RecordingDevice& dev = Add("unit00", 7);
    ASSERT_TRUE(server_.Start());
    uint32_t ids[16] = {};
    tolv_.USBInitDevices(ids);
    dev.Clear();
    tolv_.USBSingleWrite(1, 1);
    EXPECT_EQ(g_callbacks, 1);
    EXPECT_TRUE(dev.Requests().empty());
    EXPECT_EQ(tolv_.USBUseDevice(16), 0);  // out of range: ignored
    EXPECT_EQ(tolv_.USBUseDevice(5), 0);   // empty slot
    EXPECT_NE(tolv_.USBUseDevice(0), 0);
    tolv_.USBSingleWrite(1, 1);
    EXPECT_EQ(dev.SentCommands(), (Bytes{0x26, 0x01, 0x00, 0x01}));
}

TEST_F(TolvTest, UseDeviceSendsPendingCommandsToThePreviousDevice) {
    RecordingDevice& a = Add("unit00", 1);
    RecordingDevice& b = Add("unit01", 2);
    ASSERT_TRUE(server_.Start());
    uint32_t ids[16] = {};
    tolv_.USBInitDevices(ids);
    tolv_.USBUseDevice(0);
    tolv_.USBSingleWriteWithoutFlush(2, 0x24);
    tolv_.USBUseDevice(1);
    tolv_.USBFlushBuffer();
    EXPECT_EQ(a.SentCommands(), (Bytes{0x26, 0x02, 0x00, 0x24}));
    EXPECT_TRUE(b.SentCommands().empty());
}

TEST_F(TolvTest, SetShiftSendsAtOnce) {
    RecordingDevice& dev = Add("unit00", 1);
    ASSERT_TRUE(server_.Start());
    EXPECT_EQ(tolv_.USBInitDevice(), 0u);
    dev.Clear();
    tolv_.USBSetShift(0x101, 3);
    const auto r = dev.Requests();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].in, (Bytes{0x2C, 0x01, 0x03, 0x00}));
}

TEST_F(TolvTest, CommandBufferIsNeverWrittenPastItsEnd) {
    RecordingDevice& dev = Add("unit00", 1);
    ASSERT_TRUE(server_.Start());
    ASSERT_EQ(tolv_.USBInitDevice(), 0u);
    dev.Clear();
    for (int i = 0; i < 20480; ++i) tolv_.USBSingleWriteWithoutFlush(3, i);
    EXPECT_TRUE(dev.Requests().empty());  // exactly full, not sent
    tolv_.USBSingleWriteWithoutFlush(4, 0xBEEF);
    auto r = dev.Requests();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].in.size(), 81920u);
    tolv_.USBFlushBuffer();
    r = dev.Requests();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[1].in, (Bytes{0x26, 0x04, 0xBE, 0xEF}));
}

}  // namespace
