#include "sim/Simulator.h"

#include <cstdio>

#include "platform/DeviceIo.h"
#include "platform/PrivateFolder.h"

namespace rollmode::sim {

Simulator::Simulator(SimulatorConfig config)
    : config_(std::move(config)),
      folder_(config_.deviceFolder.empty() ? platform::DeviceFolder() : config_.deviceFolder),
      single_(std::make_unique<Instrument>(config_.instrument)) {
    for (uint32_t id : config_.multiDeviceIds) {
        InstrumentConfig unit = config_.instrument;
        unit.deviceId = id;
        unit.serial = id;
        multi_.push_back(std::make_unique<Instrument>(unit));
    }
}

Simulator::~Simulator() { Vanish(); }

std::filesystem::path Simulator::SingleDevicePath() const {
    return platform::ClassFolder(kSingleDeviceClass, folder_) / "unit00";
}

bool Simulator::Start() {
    // Whoever controls the device folder could swap our sockets for theirs.
    if (std::string why = platform::PreparePrivateFolder(folder_); !why.empty()) {
        error_ = why;
        return false;
    }
    if (!config_.logFile.empty()) {
        if (!log_.Open(config_.logFile)) {
            error_ = "cannot write the request log " + config_.logFile;
            return false;
        }
        server_.SetLog(&log_);
    }
    if (config_.publishSingleDevice && !server_.AddInterface(SingleDevicePath(), *single_)) {
        error_ = "cannot publish " + SingleDevicePath().string();
        return false;
    }
    for (size_t i = 0; i < multi_.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof(name), "unit%02zu", i);
        const auto path = platform::ClassFolder(kMultiDeviceClass, folder_) / name;
        if (!server_.AddInterface(path, *multi_[i])) {
            error_ = "cannot publish " + path.string();
            return false;
        }
    }
    if (!server_.Start()) {
        error_ = "cannot start the device server";
        return false;
    }
    return true;
}

void Simulator::Vanish() { server_.Stop(); }

}  // namespace rollmode::sim
