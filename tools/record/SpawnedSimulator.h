#pragma once
// The simulated instrument in a private device folder, for test recordings. A watchdog
// process stands between the recorder and the simulator: it waits on a pipe whose only
// writer is the recorder, so however the recorder ends (return, crash, SIGKILL) the
// watchdog sees the end of the pipe, stops the simulator and removes the folder. Both
// run in a process group of their own: a Ctrl+C at the terminal reaches the recorder,
// which stops its measurement cleanly, not the instrument under it.
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace rollmode::tools {

class SpawnedSimulator {
public:
    SpawnedSimulator() = default;
    ~SpawnedSimulator() { Stop(); }
    SpawnedSimulator(const SpawnedSimulator&) = delete;
    SpawnedSimulator& operator=(const SpawnedSimulator&) = delete;

    // Creates the device folder, starts `program` with `args` followed by
    // "--dir FOLDER" and waits until the device socket `socketRelPath` appears.
    // Call before any thread is started (the watchdog is a fork of this process).
    // False with Error() when the folder, the processes or the socket fail.
    bool Start(const std::string& program, const std::vector<std::string>& args, const std::string& socketRelPath);

    // Stops the simulator, removes the folder and reaps the watchdog.
    void Stop();

    const std::filesystem::path& Folder() const { return folder_; }
    pid_t SimulatorPid() const { return simPid_; }
    const std::string& Error() const { return error_; }

private:
    std::filesystem::path folder_;
    pid_t watchdogPid_ = -1;
    pid_t simPid_ = -1;
    int lifeline_ = -1;  // write end of the watchdog's pipe
    std::string error_;
};

}  // namespace rollmode::tools
