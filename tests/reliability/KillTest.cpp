// rollmode-record (the core as the main window wires it, over the driver library and
// the simulated instrument in its own process) killed at random moments of a 5 MS/s
// recording: every file left is a prefix of the stream up to a whole item, and the
// reader takes it.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "ReliabilitySupport.h"
#include "platform/ProgramPath.h"

extern char** environ;

using namespace rollmode;
using namespace rollmode::reliability;

namespace {

pid_t Spawn(std::vector<std::string> args, int stdoutFd = -1) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0) posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

TEST(Crashes, AKilledRecordingLeavesAPrefixOfTheStream) {
    const int kKills = Runs(5, 100);
    const auto bin = platform::ProgramDirectory();
    e2e::TempDeviceFolder devices;
    TempFolder folder;
    const pid_t sim = Spawn({(bin / "rollmode-sim").string(), "--dir", devices.Path().string(), "--a", "count", "--b",
                             "count"});
    ASSERT_GT(sim, 0);
    const auto socket = devices.Path() / "710177AB-8588-4E5C-89EF-67E2A92E861E" / "unit00";
    for (int i = 0; i < 500 && !std::filesystem::exists(socket); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    std::mt19937 random(11);
    std::uniform_int_distribution<int> afterMs(50, 1500);
    uint64_t tornTails = 0, marks = 0, totalBytes = 0;
    for (int i = 0; i < kKills; ++i) {
        const std::string file = folder.File("kill" + std::to_string(i) + ".rmd");
        int pipeFds[2];
        ASSERT_EQ(pipe(pipeFds), 0);
        const pid_t rec = Spawn({(bin / "rollmode-record").string(), "--file", file, "--seconds", "0", "--smp", "15", "--defaults",
                                 "--ready"},
                                pipeFds[1]);
        close(pipeFds[1]);
        ASSERT_GT(rec, 0);
        // Saving runs once it says so.
        char line[64] = {};
        FILE* out = fdopen(pipeFds[0], "r");
        const bool ready = std::fgets(line, sizeof line, out) != nullptr && std::string(line) == "recording\n";
        std::this_thread::sleep_for(std::chrono::milliseconds(afterMs(random)));
        kill(rec, SIGKILL);
        int status = 0;
        waitpid(rec, &status, 0);
        std::fclose(out);
        ASSERT_TRUE(ready) << "run " << i << " did not start recording";
        ASSERT_TRUE(WIFSIGNALED(status)) << "run " << i << " ended by itself";

        const auto r = tools::CheckCountStream(file);
        const auto size = std::filesystem::file_size(file);
        EXPECT_TRUE(r.error.empty()) << "run " << i << ": " << r.error;
        EXPECT_EQ(r.breaks, 0u) << "run " << i << ": first break at byte " << r.firstBreakOffset;
        EXPECT_GT(r.samples, 0u) << "run " << i;
        EXPECT_LE(size - r.bytes, 11u) << "run " << i << ": only a torn last item is left unread";
        tornTails += r.tornTail;
        marks += r.overflowMarks;
        totalBytes += size;
        std::filesystem::remove(file);
    }
    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);
    std::printf("%d kills: %llu torn tails, %llu overflow marks, %.1f MB checked\n", kKills,
                (unsigned long long)tornTails, (unsigned long long)marks, double(totalBytes) / 1e6);
}

}  // namespace
