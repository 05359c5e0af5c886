#include "SpawnedSimulator.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace rollmode::tools {

namespace {

// The socket accepts connections (it exists a moment before it listens).
bool Accepts(const std::filesystem::path& socketPath) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string text = socketPath.string();
    if (text.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, text.c_str(), text.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return ok;
}

// The watchdog: a fork of a recorder that has no other thread yet.
[[noreturn]] void RunWatchdog(int lifeline, int report, char* const* simArgv, const char* folder) {
    // The recorder's stop signals and the terminal's Ctrl+C are the recorder's business.
    signal(SIGINT, SIG_IGN);
    signal(SIGTERM, SIG_IGN);
    signal(SIGHUP, SIG_IGN);
    const pid_t watchdog = getpid();
    const pid_t sim = fork();
    if (sim == 0) {
        // Should the watchdog itself be killed, the simulator goes with it.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != watchdog) _exit(127);
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        signal(SIGHUP, SIG_DFL);
        close(lifeline);
        close(report);
        execv(simArgv[0], simArgv);
        _exit(127);
    }
    // The simulator's pid (or -1) goes back to the recorder.
    const pid_t told = sim;
    ssize_t w = write(report, &told, sizeof told);
    (void)w;
    close(report);
    // The recorder never writes: the read ends when its last copy of the write end
    // closes, that is when it stops us or ends in any way.
    char byte;
    while (read(lifeline, &byte, 1) < 0 && errno == EINTR) {
    }
    if (sim > 0) {
        kill(sim, SIGTERM);
        // A simulator that does not stop within two seconds is killed.
        bool reaped = false;
        for (int i = 0; i < 200 && !reaped; ++i) {
            reaped = waitpid(sim, nullptr, WNOHANG) == sim;
            if (!reaped) usleep(10000);
        }
        if (!reaped) {
            kill(sim, SIGKILL);
            waitpid(sim, nullptr, 0);
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    _exit(0);
}

}  // namespace

bool SpawnedSimulator::Start(const std::string& program, const std::vector<std::string>& args,
                             const std::string& socketRelPath) {
    char pattern[] = "/tmp/rmrecord-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        error_ = std::string("cannot create a device folder: ") + std::strerror(errno);
        return false;
    }
    folder_ = pattern;
    std::vector<std::string> all = {program};
    all.insert(all.end(), args.begin(), args.end());
    all.insert(all.end(), {"--dir", folder_.string()});
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string folderText = folder_.string();

    int lifeline[2], report[2];
    if (pipe2(lifeline, O_CLOEXEC) != 0) {
        error_ = std::string("pipe: ") + std::strerror(errno);
        std::filesystem::remove(folder_);
        return false;
    }
    if (pipe2(report, O_CLOEXEC) != 0) {
        error_ = std::string("pipe: ") + std::strerror(errno);
        close(lifeline[0]);
        close(lifeline[1]);
        std::filesystem::remove(folder_);
        return false;
    }
    watchdogPid_ = fork();
    if (watchdogPid_ == 0) {
        setpgid(0, 0);
        close(lifeline[1]);
        close(report[0]);
        RunWatchdog(lifeline[0], report[1], argv.data(), folderText.c_str());
    }
    close(lifeline[0]);
    close(report[1]);
    if (watchdogPid_ < 0) {
        error_ = std::string("fork: ") + std::strerror(errno);
        close(lifeline[1]);
        close(report[0]);
        std::filesystem::remove(folder_);
        return false;
    }
    lifeline_ = lifeline[1];
    pid_t sim = -1;
    ssize_t got;
    do got = read(report[0], &sim, sizeof sim);
    while (got < 0 && errno == EINTR);
    close(report[0]);
    if (got != sizeof sim || sim <= 0) {
        error_ = "cannot start " + program;
        Stop();
        return false;
    }
    simPid_ = sim;
    const auto socket = folder_ / socketRelPath;
    bool up = false;
    for (int i = 0; i < 500 && !(up = Accepts(socket)); ++i) {
        if (waitpid(watchdogPid_, nullptr, WNOHANG) == watchdogPid_) {
            watchdogPid_ = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!up) {
        error_ = program + " did not come up";
        Stop();
        return false;
    }
    return true;
}

void SpawnedSimulator::Stop() {
    if (lifeline_ >= 0) {
        close(lifeline_);
        lifeline_ = -1;
    }
    if (watchdogPid_ > 0) {
        int status = 0;
        while (waitpid(watchdogPid_, &status, 0) < 0 && errno == EINTR) {
        }
        watchdogPid_ = -1;
    }
    simPid_ = -1;
}

}  // namespace rollmode::tools
