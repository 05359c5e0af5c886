// The transport libraries, loaded by name, against the simulated instrument: in-process
// and as the rollmode-sim program.
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/DeviceIo.h"
#include "platform/DynamicLibrary.h"
#include "platform/ProgramPath.h"
#include "rollmode/Abi.h"
#include "sim/Simulator.h"

extern char** environ;

using namespace rollmode;
using Steady = std::chrono::steady_clock;

namespace {

int g_failures = 0;
void ROLLMODE_STDCALL OnFailure(uint8_t status) { g_failures += status == 0; }

class TempDeviceFolder {
public:
    TempDeviceFolder() {
        char pattern[] = "/tmp/rme2e-XXXXXX";
        path_ = mkdtemp(pattern);
        setenv("ROLLMODE_DEVICE_DIR", path_.c_str(), 1);
    }
    ~TempDeviceFolder() {
        unsetenv("ROLLMODE_DEVICE_DIR");
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

struct Brask {
    platform::DynamicLibrary lib = platform::DynamicLibrary::Load("brask.dll");
    rollmode::abi::USBInitDeviceFn init = lib.Bind<rollmode::abi::USBInitDeviceFn>("USBInitDevice");
    rollmode::abi::USBSetCallBackFunctionFn setCallback = lib.Bind<rollmode::abi::USBSetCallBackFunctionFn>("USBSetCallBackFunction");
    rollmode::abi::USBConfigureFPGAFn configure = lib.Bind<rollmode::abi::USBConfigureFPGAFn>("USBConfigureFPGA");
    rollmode::abi::USBReadFromEEPROMFn readEeprom = lib.Bind<rollmode::abi::USBReadFromEEPROMFn>("USBReadFromEEPROM");
    rollmode::abi::USBSingleWriteFn write = lib.Bind<rollmode::abi::USBSingleWriteFn>("USBSingleWrite");
    rollmode::abi::USBSingleReadFn read = lib.Bind<rollmode::abi::USBSingleReadFn>("USBSingleRead");
    rollmode::abi::USBRollFIFOReadFn roll = lib.Bind<rollmode::abi::USBRollFIFOReadFn>("USBRollFIFORead");
    rollmode::abi::DeviceReadyFn ready = lib.Bind<rollmode::abi::DeviceReadyFn>("DeviceReady");
};

TEST(EndToEnd, BraskBringsUpTheSimulatedInstrumentAndStreamsWithoutLoss) {
    TempDeviceFolder folder;
    sim::SimulatorConfig config;
    config.instrument.channels[0].shape = sim::SignalShape::Count;
    config.instrument.channels[1].shape = sim::SignalShape::Count;
    config.instrument.serial = 777001;
    sim::Simulator sim(config);
    ASSERT_TRUE(sim.Start()) << sim.Error();

    Brask brask;
    ASSERT_TRUE(brask.lib.IsLoaded()) << brask.lib.Error();
    ASSERT_NE(brask.roll, nullptr);
    g_failures = 0;
    brask.setCallback(OnFailure);
    ASSERT_EQ(brask.init(), 0u);

    std::vector<uint8_t> image(54979, 0xC3);
    sim::StampFpgaHeader(image);
    EXPECT_EQ(brask.configure(image.data(), uint32_t(image.size())), 1u);
    EXPECT_TRUE(sim.SingleDevice().FpgaConfigured());

    uint8_t block[256];
    for (uint32_t i = 0; i < 256; ++i) block[i] = uint8_t(brask.readEeprom(256 + i));
    EXPECT_EQ(uint32_t(block[156]) << 24 | block[157] << 16 | block[158] << 8 | block[159],
              sim::CalibrationChecksum(block));
    EXPECT_EQ(uint32_t(block[167]) << 24 | block[168] << 16 | block[169] << 8 | block[170], 777001u);

    // The clock starts before the run bit, so the device cannot be ahead of it.
    const auto start = Steady::now();
    brask.write(1, 0x8005);  // 100,000 samples per second
    EXPECT_EQ(brask.read(1), 0x8005);
    std::vector<uint16_t> buffer(32768);
    uint64_t samples = 0;
    uint64_t expectedIndex = 0;
    bool inOrder = true;
    int reads = 0;
    while (Steady::now() - start < std::chrono::milliseconds(300)) {
        ASSERT_NE(brask.roll(1, buffer.data(), 65536), 0u);
        ++reads;
        for (uint16_t w : buffer) {
            if (w == 0) continue;
            ASSERT_NE(w, sim::kOverflowMark);
            const uint64_t index = ((w >> 8) - 1u) * 255u + ((w & 0xFF) - 1u);
            inOrder &= index == expectedIndex % (255 * 255);
            ++expectedIndex;
            ++samples;
        }
    }
    const double elapsed = std::chrono::duration<double>(Steady::now() - start).count();
    brask.write(1, 0x0005);
    EXPECT_TRUE(inOrder);
    // Paced by real time: about rate x elapsed, never far ahead of it.
    EXPECT_LE(samples, uint64_t(100000 * elapsed) + 1);
    // The lower bound is loose: on a loaded machine the reader itself may be held up.
    EXPECT_GE(samples, uint64_t(100000 * elapsed * 0.5));
    EXPECT_GT(reads, 2);
    EXPECT_EQ(g_failures, 0);

    sim.Vanish();
    EXPECT_EQ(brask.ready(), 0u);
    brask.write(1, 0x8005);
    EXPECT_GT(g_failures, 0);
}

pid_t Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    return pid;
}

int WaitExit(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(EndToEnd, SimulatorProgramPublishesUnitsAndVanishes) {
    const std::string program = (platform::ProgramDirectory() / "rollmode-sim").string();
    EXPECT_EQ(WaitExit(Spawn({program, "--help"})), 0);
    EXPECT_EQ(WaitExit(Spawn({program, "--a", "triangle"})), 2);

    TempDeviceFolder folder;
    const pid_t pid = Spawn({program, "--dir", folder.Path().string(), "--tolv-ids", "5,9", "--a", "sine",
                             "--a-freq", "50", "--vanish-after", "2"});
    ASSERT_GT(pid, 0);
    const auto single = platform::ClassFolder(sim::kSingleDeviceClass, folder.Path()) / "unit00";
    const auto deadline = Steady::now() + std::chrono::seconds(5);
    while (!std::filesystem::exists(single) && Steady::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(std::filesystem::exists(single));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    {
        auto tolv = platform::DynamicLibrary::Load("tolv.dll");
        ASSERT_TRUE(tolv.IsLoaded()) << tolv.Error();
        auto initDevices = tolv.Bind<rollmode::abi::USBInitDevicesFn>("USBInitDevices");
        auto useDevice = tolv.Bind<rollmode::abi::USBUseDeviceFn>("USBUseDevice");
        auto getId = tolv.Bind<rollmode::abi::USBGetDeviceIDFn>("USBGetDeviceID");
        uint32_t ids[16] = {};
        EXPECT_EQ(initDevices(ids), 0u);
        EXPECT_EQ(ids[0], 5u);
        EXPECT_EQ(ids[1], 9u);
        EXPECT_EQ(ids[2], 0u);
        useDevice(1);
        EXPECT_EQ(getId(), 9u);
    }
    Brask brask;
    ASSERT_EQ(brask.init(), 0u);
    EXPECT_EQ(brask.ready(), 1u);
    EXPECT_EQ(WaitExit(pid), 0);
    EXPECT_FALSE(std::filesystem::exists(single));
    EXPECT_EQ(brask.ready(), 0u);
}

}  // namespace
