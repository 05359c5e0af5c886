#pragma once
// The simulated instrument set: one unit of the single-device family and any number
// of units of the multi-device family, published in a device folder and served from
// one background thread.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sim/DeviceServer.h"
#include "sim/Instrument.h"

namespace rollmode::sim {

inline constexpr char kSingleDeviceClass[] = "{710177AB-8588-4E5C-89EF-67E2A92E861E}";
inline constexpr char kMultiDeviceClass[] = "{FEA7AA24-D4E4-4956-ADE9-A2DECC05F7C2}";

struct SimulatorConfig {
    std::filesystem::path deviceFolder;  // empty: platform::DeviceFolder()
    InstrumentConfig instrument;         // the single-device unit
    bool publishSingleDevice = true;
    std::vector<uint32_t> multiDeviceIds;  // one multi-device unit per identifier
    std::string logFile;                   // empty: no request log
};

class Simulator {
public:
    explicit Simulator(SimulatorConfig config);
    ~Simulator();

    // Publishes the sockets and starts serving; false (with Error()) when a socket cannot be made.
    bool Start();
    // Closes and removes every socket, as if the units were unplugged.
    void Vanish();
    bool Running() const { return server_.Running(); }

    Instrument& SingleDevice() { return *single_; }
    Instrument& MultiDevice(size_t index) { return *multi_.at(index); }
    const std::filesystem::path& DeviceFolder() const { return folder_; }
    std::filesystem::path SingleDevicePath() const;
    const std::string& Error() const { return error_; }
    uint64_t RequestCount() const { return server_.RequestCount(); }

private:
    SimulatorConfig config_;
    std::filesystem::path folder_;
    std::unique_ptr<Instrument> single_;
    std::vector<std::unique_ptr<Instrument>> multi_;
    RequestLog log_;
    DeviceServer server_;
    std::string error_;
};

}  // namespace rollmode::sim
