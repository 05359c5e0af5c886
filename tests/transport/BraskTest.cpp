#include <gtest/gtest.h>

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

constexpr char kClass[] = "{710177AB-8588-4E5C-89EF-67E2A92E861E}";

int g_callbacks = 0;
int g_lastStatus = -1;
void ROLLMODE_STDCALL CountCallback(uint8_t status) {
    ++g_callbacks;
    g_lastStatus = status;
}

struct Brask {
    platform::DynamicLibrary lib = platform::DynamicLibrary::Load("brask.dll");
#define BIND(name) rollmode::abi::name##Fn name = lib.Bind<rollmode::abi::name##Fn>(#name)
    BIND(USBInitDevice);
    BIND(DeviceReady);
    BIND(GetDriverVersion);
    BIND(USBGetDriverVersion);
    BIND(USBFlushBuffer);
    BIND(USBConfigureFPGA);
    BIND(USBSingleRead);
    BIND(USBSingleWrite);
    BIND(USBSingleWriteWithoutFlush);
    BIND(USBSetShift);
    BIND(USBFIFORead);
    BIND(USBFIFOWrite);
    BIND(USBRollFIFORead);
    BIND(USBGetPacketSize);
    BIND(USBRawWrite);
    BIND(USBReadFromEEPROM);
    BIND(USBWriteToEEPROM);
    BIND(USBGetDeviceID);
    BIND(USBGetPowerState);
    BIND(USBSetCPLDPort);
    BIND(USBGetTDO);
    BIND(USBResetTDOBuffer);
    BIND(USBAddTDOToBuffer);
    BIND(USBGetTDOFromBuffer);
    BIND(USBWaitMs);
    BIND(USBGetCPLDID);
    BIND(USBSetCallBackFunction);
#undef BIND
};

class BraskTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_callbacks = 0;
        g_lastStatus = -1;
        ASSERT_TRUE(brask_.lib.IsLoaded()) << brask_.lib.Error();
        ASSERT_NE(brask_.USBSetCallBackFunction, nullptr);
    }

    // Publishes a recording device as the class's first interface and opens it.
    RecordingDevice& Plug(uint16_t packetSize = 64) {
        device_ = std::make_unique<RecordingDevice>(packetSize);
        EXPECT_TRUE(server_.AddInterface(platform::ClassFolder(kClass, folder_.Path()) / "unit00", *device_));
        EXPECT_TRUE(server_.Start());
        EXPECT_EQ(brask_.USBInitDevice(), 0u);
        brask_.USBSetCallBackFunction(CountCallback);
        device_->Clear();
        return *device_;
    }

    rollmode::testing::DeviceFolder folder_;
    std::unique_ptr<RecordingDevice> device_;
    sim::DeviceServer server_;
    Brask brask_;
};

TEST_F(BraskTest, InitDeviceFailsWithoutAUsableFirstInterface) {
    EXPECT_EQ(brask_.USBInitDevice(), 256u);  // no class folder at all
    const auto classFolder = platform::ClassFolder(kClass, folder_.Path());
    std::filesystem::create_directories(classFolder);
    EXPECT_EQ(brask_.USBInitDevice(), 256u);  // no interface present
    std::ofstream(classFolder / "a-not-a-socket") << "x";
    // The fixture owns the device, so it outlives the server thread that calls it.
    device_ = std::make_unique<RecordingDevice>();
    ASSERT_TRUE(server_.AddInterface(classFolder / "b-unit", *device_));
    ASSERT_TRUE(server_.Start());
    // Interface 0 is taken; its path cannot be obtained, so the later one is not tried.
    EXPECT_EQ(brask_.USBInitDevice(), 256u);
    std::filesystem::remove(classFolder / "a-not-a-socket");
    EXPECT_EQ(brask_.USBInitDevice(), 0u);
    EXPECT_EQ(device_->CountOf(0x22002C), 1u);
}

TEST_F(BraskTest, NoInterfaceJoinsARunningServer) {
    Plug();
    RecordingDevice late;
    EXPECT_FALSE(server_.AddInterface(platform::ClassFolder(kClass, folder_.Path()) / "unit01", late));
    EXPECT_FALSE(std::filesystem::exists(platform::ClassFolder(kClass, folder_.Path()) / "unit01"));
}

TEST_F(BraskTest, PacketSizeFromDeviceSetsPacketCounts) {
    RecordingDevice& dev = Plug(512);
    std::vector<uint8_t> buffer(65536);
    EXPECT_NE(brask_.USBRollFIFORead(1, buffer.data(), 65536), 0u);
    EXPECT_EQ(dev.SentCommands(), (Bytes{0x2B, 0x01, 0x00, 0x80}));
    EXPECT_EQ(brask_.USBGetPacketSize(), 512u);
}

TEST_F(BraskTest, RollFifoReadAnnouncesWholePacketsAndReadsEveryByte) {
    RecordingDevice& dev = Plug();
    std::vector<uint8_t> buffer(65536);
    EXPECT_NE(brask_.USBRollFIFORead(1, buffer.data(), 65536), 0u);
    EXPECT_EQ(dev.SentCommands(), (Bytes{0x2B, 0x01, 0x04, 0x00}));
    dev.Clear();
    EXPECT_NE(brask_.USBFIFORead(3, buffer.data(), 100), 0u);  // 1 whole packet, 100 bytes moved
    EXPECT_EQ(dev.SentCommands(), (Bytes{0x27, 0x03, 0x00, 0x01}));
    const auto requests = dev.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].code, 0x220024u);
    EXPECT_EQ(requests[1].capacity, 100u);
}

TEST_F(BraskTest, ConfigureFpgaAnnouncesPacketsSendsImageAndReturnsAnswer) {
    RecordingDevice& dev = Plug();
    dev.QueueAnswer({0x01, 0x00, 0x00, 0x00});
    std::vector<uint8_t> image(54979, 0xA5);
    EXPECT_EQ(brask_.USBConfigureFPGA(image.data(), 54979), 1u);
    const auto r = dev.Requests();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].code, 0x220018u);
    EXPECT_EQ(r[0].in, (Bytes{0x20, 0x03, 0x5C, 0x21}));
    EXPECT_EQ(r[1].code, 0x22001Cu);
    EXPECT_EQ(r[1].in, image);
    EXPECT_EQ(r[2].code, 0x220024u);
    EXPECT_EQ(r[2].capacity, 4u);
    EXPECT_EQ(g_callbacks, 0);
}

TEST_F(BraskTest, RegisterWritesAndReadsSendTheirCommands) {
    RecordingDevice& dev = Plug();
    brask_.USBSingleWrite(9, 0x0ABC);
    auto r = dev.Requests();
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].in, (Bytes{0x26, 0x09, 0x0A, 0xBC}));

    dev.Clear();
    brask_.USBSingleWriteWithoutFlush(15, 0x0203);
    brask_.USBSingleWriteWithoutFlush(0x108, 0xFF01);  // register number: low 8 bits
    EXPECT_TRUE(dev.Requests().empty());
    brask_.USBFlushBuffer();
    EXPECT_EQ(dev.SentCommands(), (Bytes{0x26, 0x0F, 0x02, 0x03, 0x26, 0x08, 0xFF, 0x01}));
    brask_.USBFlushBuffer();  // empty buffer: nothing sent
    EXPECT_EQ(dev.Requests().size(), 1u);

    dev.Clear();
    dev.QueueAnswer({0x12, 0x34, 0x00, 0x00});
    EXPECT_EQ(brask_.USBSingleRead(1), 0x1234);
    EXPECT_EQ(dev.SentCommands(), (Bytes{0x24, 0x01, 0x00, 0x00}));
}

TEST_F(BraskTest, EepromQueriesAndWaitsUseTheirCommandBytes) {
    RecordingDevice& dev = Plug();
    dev.QueueAnswer({0x7E, 0x00, 0x00, 0x00});
    EXPECT_EQ(brask_.USBReadFromEEPROM(0x01A7) & 0xFF, 0x7Eu);
    brask_.USBWriteToEEPROM(0x0102, 0x1C3);
    EXPECT_EQ(dev.SentCommands(), (Bytes{0x01, 0x01, 0xA7, 0x04, 0x02, 0x13, 0x00, 0x00, 0x03, 0x01, 0x02, 0xC3}));

    dev.Clear();
    dev.QueueAnswer({0x78, 0x56, 0x34, 0x12});
    EXPECT_EQ(brask_.USBGetDeviceID(), 0x12345678u);
    dev.QueueAnswer({0x01, 0x00, 0x00, 0x00});
    EXPECT_EQ(brask_.USBGetPowerState(), 1u);
    dev.QueueAnswer({0x00, 0x04, 0x00, 0x00});
    EXPECT_EQ(brask_.USBGetTDO(), 1u);  // any non-zero answer is 1
    dev.QueueAnswer({0xA7, 0x55, 0x00, 0x00});
    EXPECT_EQ(brask_.USBGetCPLDID(), 0xA7u);
    EXPECT_EQ(dev.SentCommands(), (Bytes{0x01, 0, 0, 0x2A, 0x01, 0, 0, 0x2C, 0x01, 0, 0, 0x31, 0x01, 0, 0, 0x36}));

    dev.Clear();
    brask_.USBWaitMs(0);
    brask_.USBSetCPLDPort(0x107);
    brask_.USBWaitMs(600);
    EXPECT_TRUE(dev.Requests().empty());  // none of these sends
    brask_.USBFlushBuffer();
    EXPECT_EQ(dev.SentCommands(), (Bytes{0x30, 0x07, 0, 0, 0x35, 250, 0, 0, 0x35, 250, 0, 0, 0x35, 100, 0, 0}));
}

TEST_F(BraskTest, FullCommandBufferIsSentByTheAppendThatFillsIt) {
    RecordingDevice& dev = Plug();
    for (int i = 0; i < 4095; ++i) brask_.USBSingleWriteWithoutFlush(i & 0xFF, i);
    EXPECT_TRUE(dev.Requests().empty());
    brask_.USBSingleWriteWithoutFlush(0x42, 0x4243);
    auto r = dev.Requests();
    ASSERT_EQ(r.size(), 1u);
    ASSERT_EQ(r[0].in.size(), 16384u);
    EXPECT_EQ(Bytes(r[0].in.begin(), r[0].in.begin() + 4), (Bytes{0x26, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Bytes(r[0].in.end() - 4, r[0].in.end()), (Bytes{0x26, 0x42, 0x42, 0x43}));
    brask_.USBFlushBuffer();
    EXPECT_EQ(dev.Requests().size(), 1u);  // emptied by the send
}

TEST_F(BraskTest, TdoCaptureFetchesShiftsAndReturnsBitsLowFirst) {
    RecordingDevice& dev = Plug();
    brask_.USBResetTDOBuffer();
    for (int i = 0; i < 10; ++i) brask_.USBAddTDOToBuffer();
    Bytes capture(16, 0);
    capture[0] = 0b10110101;
    capture[1] = 0b11000000;  // two bits shifted in from the top
    dev.QueueAnswer(capture);
    const int expected[10] = {1, 0, 1, 0, 1, 1, 0, 1, 1, 1};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(brask_.USBGetTDOFromBuffer(), uint32_t(expected[i])) << "bit " << i;
    Bytes sent = {0x32, 0, 0, 0};
    for (int i = 0; i < 10; ++i) sent.insert(sent.end(), {0x34, 0, 0, 0});
    sent.insert(sent.end(), {0x01, 0, 0, 0x33});
    EXPECT_EQ(dev.SentCommands(), sent);
    const auto r = dev.Requests();
    EXPECT_EQ(r.back().capacity, 16u);
    // The restart of the device's capture waits in the buffer.
    brask_.USBFlushBuffer();
    EXPECT_EQ(dev.Requests().back().in, (Bytes{0x32, 0, 0, 0}));
}

TEST_F(BraskTest, TdoFetchesAfter128PendingCaptures) {
    RecordingDevice& dev = Plug();
    brask_.USBResetTDOBuffer();
    for (int i = 0; i < 128; ++i) brask_.USBAddTDOToBuffer();
    EXPECT_EQ(dev.CountOf(0x220024), 0u);
    brask_.USBAddTDOToBuffer();
    EXPECT_EQ(dev.CountOf(0x220024), 1u);
    const Bytes cmds = dev.SentCommands();
    ASSERT_EQ(cmds.size(), 4u + 128 * 4 + 4);
    EXPECT_EQ(Bytes(cmds.end() - 4, cmds.end()), (Bytes{0x01, 0, 0, 0x33}));
}

TEST_F(BraskTest, TdoStoreStopsAtItsEndInsteadOfOverrunning) {
    RecordingDevice& dev = Plug();
    brask_.USBResetTDOBuffer();
    constexpr int kFetches = 1030;  // the store holds 1024
    for (int f = 0; f < kFetches; ++f) dev.QueueAnswer(Bytes(16, 0xFF));
    for (int i = 0; i < kFetches * 128; ++i) brask_.USBAddTDOToBuffer();
    uint32_t ones = 0;
    for (int i = 0; i < 1024 * 128; ++i) ones += brask_.USBGetTDOFromBuffer();
    EXPECT_EQ(ones, 1024u * 128u);
    // Everything beyond the store reads as 0.
    for (int i = 0; i < 64; ++i) EXPECT_EQ(brask_.USBGetTDOFromBuffer(), 0u);
    EXPECT_EQ(dev.CountOf(0x220024), size_t(kFetches));
}

TEST_F(BraskTest, CallbackOnFailedRequestsExceptFlushRawWriteAndReady) {
    RecordingDevice& dev = Plug();
    dev.failAll_ = true;
    uint8_t buf[64];
    brask_.USBSingleWriteWithoutFlush(1, 2);
    brask_.USBFlushBuffer();
    EXPECT_EQ(g_callbacks, 0);
    EXPECT_EQ(brask_.USBRawWrite(buf, sizeof(buf)), 0u);
    EXPECT_EQ(g_callbacks, 0);
    EXPECT_EQ(brask_.DeviceReady(), 0u);
    EXPECT_EQ(g_callbacks, 0);

    brask_.USBSingleWrite(1, 2);
    EXPECT_EQ(g_callbacks, 1);
    EXPECT_EQ(g_lastStatus, 0);
    g_callbacks = 0;
    EXPECT_EQ(brask_.USBRollFIFORead(1, buf, sizeof(buf)), 0u);
    EXPECT_EQ(g_callbacks, 2);  // the send and the bulk read failed
    g_callbacks = 0;
    EXPECT_EQ(brask_.USBGetPacketSize(), 64u);  // previous size on failure
    EXPECT_EQ(g_callbacks, 1);

    dev.failAll_ = false;
    dev.failBulkReads_ = true;
    g_callbacks = 0;
    brask_.USBReadFromEEPROM(300);
    brask_.USBSingleRead(2);
    brask_.USBGetCPLDID();
    EXPECT_EQ(g_callbacks, 3);

    // Without a registered callback a failure is just a failure.
    brask_.USBSetCallBackFunction(nullptr);
    g_callbacks = 0;
    EXPECT_EQ(brask_.USBFIFORead(1, buf, sizeof(buf)), 0u);
    EXPECT_EQ(g_callbacks, 0);
}

TEST_F(BraskTest, FailedPacketSizeQueryStillOpensAndKeepsSize) {
    device_ = std::make_unique<RecordingDevice>(512);
    device_->failPacketSize_ = true;
    ASSERT_TRUE(server_.AddInterface(platform::ClassFolder(kClass, folder_.Path()) / "unit00", *device_));
    ASSERT_TRUE(server_.Start());
    brask_.USBSetCallBackFunction(CountCallback);
    EXPECT_EQ(brask_.USBInitDevice(), 0u);
    EXPECT_EQ(g_callbacks, 1);
    uint8_t buf[6400];
    brask_.USBFIFORead(1, buf, sizeof(buf));
    const Bytes cmds = device_->SentCommands();
    EXPECT_EQ(cmds, (Bytes{0x27, 0x01, 0x00, 100}));  // still 64-byte packets
}

TEST_F(BraskTest, UnpluggedDeviceFailsEveryRequest) {
    Plug();
    EXPECT_EQ(brask_.DeviceReady(), 1u);
    server_.Stop();
    EXPECT_EQ(brask_.DeviceReady(), 0u);
    brask_.USBSingleWrite(1, 0x8000);
    EXPECT_GE(g_callbacks, 1);
    EXPECT_EQ(brask_.USBInitDevice(), 256u);
}

TEST_F(BraskTest, ShortBulkAnswerLeavesNoStaleBytes) {
    RecordingDevice& dev = Plug();
    dev.QueueAnswer(Bytes(10, 0x33));
    Bytes buffer(64, 0xAA);
    EXPECT_NE(brask_.USBFIFORead(1, buffer.data(), 64), 0u);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 10), Bytes(10, 0x33));
    EXPECT_EQ(Bytes(buffer.begin() + 10, buffer.end()), Bytes(54, 0));
}

TEST_F(BraskTest, VersionsAndShift) {
    uint8_t version[2] = {9, 9};
    EXPECT_EQ(brask_.GetDriverVersion(version), version);
    EXPECT_EQ(version[0], 1);
    EXPECT_EQ(version[1], 0);
    EXPECT_EQ(brask_.USBGetDriverVersion(), 100u);
    RecordingDevice& dev = Plug();
    EXPECT_EQ(brask_.USBSetShift(1, 3), 0u);
    brask_.USBFlushBuffer();
    EXPECT_TRUE(dev.Requests().empty());
}

}  // namespace
