#pragma once
// Shared pieces of the end-to-end tests: a private device folder, the simulated instrument in
// process, scripted message boxes, and the settings pass the acquisition thread runs.
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "VirtualDriverLyraRM.h"
#include "ports/MessageBoxService.h"
#include "sim/Simulator.h"

namespace rollmode::e2e {

// A device folder of the test's own, published through the variable brask reads.
class TempDeviceFolder {
public:
    TempDeviceFolder() {
        char pattern[] = "/tmp/rmstack-XXXXXX";
        const char* made = mkdtemp(pattern);
        path_ = made ? made : "/tmp";
        setenv("ROLLMODE_DEVICE_DIR", path_.c_str(), 1);
    }
    ~TempDeviceFolder() {
        unsetenv("ROLLMODE_DEVICE_DIR");
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDeviceFolder(const TempDeviceFolder&) = delete;
    TempDeviceFolder& operator=(const TempDeviceFolder&) = delete;
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

// The simulated instrument that can be unplugged and plugged in again.
class SimulatedUnit {
public:
    SimulatedUnit(std::filesystem::path folder, sim::InstrumentConfig config)
        : folder_(std::move(folder)), config_(config) {}

    bool Plug() {
        sim::SimulatorConfig c;
        c.deviceFolder = folder_;
        c.instrument = config_;
        sim_ = std::make_unique<sim::Simulator>(c);
        return sim_->Start();
    }
    void Unplug() {
        if (sim_) sim_->Vanish();
    }
    sim::Instrument& Device() { return sim_->SingleDevice(); }
    sim::InstrumentConfig& Config() { return config_; }

private:
    std::filesystem::path folder_;
    sim::InstrumentConfig config_;
    std::unique_ptr<sim::Simulator> sim_;
};

// Answers each box from a script; a step may act (plug the unit in) before it answers.
class ScriptedMessages final : public core::MessageBoxService {
public:
    struct Step {
        core::MsgResult answer;
        std::function<void()> before;
    };
    void Push(core::MsgResult answer, std::function<void()> before = {}) { script.push_back({answer, std::move(before)}); }

    core::MsgResult Show(const std::string& text, core::MsgButtons, core::MsgIcon) override {
        shown.push_back(text);
        if (script.empty()) return core::MsgResult::No;  // unscripted: never retry forever
        Step step = std::move(script.front());
        script.erase(script.begin());
        if (step.before) step.before();
        return step.answer;
    }

    std::vector<Step> script;
    std::vector<std::string> shown;
};

struct ChannelSetup {
    int density = 4;            // sensitivity step 1..9 (4: 100 mV/div with a 1:1 probe)
    uint16_t scopeLevel = 2110;  // device level 4095 - scopeLevel
    bool dc = true;
};

struct PassSettings {
    ChannelSetup a, b;
    int smp = 7;  // 10,000 samples per second
    bool recordFree = true;
    bool triggerA = false;
    double triggerLevelA = 0;
    bool armA = false;
    double armLevelA = 0;
    bool armExternal = false;
    bool armUnderExternal = false;
};

// Every setting with ForceSettings on, in the order of the acquisition thread's transfer.
inline void SettingsPass(core::TVirtualDriverLyraRM& d, const PassSettings& s) {
    d.SetForceSettings(true);
    d.SetRecordFree(s.recordFree);
    d.SetTriggerSourceA(s.triggerA);
    d.SetTriggerSourceB(false);
    d.SetTriggerLevelA(s.triggerLevelA);
    d.SetTriggerLevelB(0);
    d.SetTriggerUnderA(false);
    d.SetTriggerUnderB(false);
    d.SetTriggerRelation(false);
    d.SetARMSourceA(s.armA);
    d.SetARMSourceB(false);
    d.SetARMSourceExternal(s.armExternal);
    d.SetARMLevelA(s.armLevelA);
    d.SetARMLevelB(0);
    d.SetARMUnderA(false);
    d.SetARMUnderB(false);
    d.SetARMUnderExternal(s.armUnderExternal);
    d.SetSMPSetting(s.smp);
    d.SetSourceProbeA(1);
    d.SetSourceProbeB(1);
    d.SetVerticalLevelChannelA(s.a.scopeLevel);
    d.SetVerticalLevelChannelB(s.b.scopeLevel);
    d.SetDensityChannelA(static_cast<uint16_t>(s.a.density));
    d.SetDensityChannelB(static_cast<uint16_t>(s.b.density));
    d.SetSourceACDC_A(s.a.dc);
    d.SetSourceACDC_B(s.b.dc);
    d.SetGroundA(false);
    d.SetGroundB(false);
    d.SetForceSettings(false);
    d.ClearCommandBatch();
}

struct ReadResult {
    std::vector<uint16_t> words;
    std::vector<uint8_t> statuses;  // one per read that delivered words
    std::vector<uint16_t> lastWords;
    int reads = 0;
};

// Calls ReadData as the acquisition thread does until `enough` holds or the time is up.
inline ReadResult ReadUntil(core::TVirtualDriverLyraRM& d, const std::function<bool(const ReadResult&)>& enough,
                            std::chrono::milliseconds limit) {
    ReadResult r;
    std::vector<uint16_t> buffer(core::TVirtualDriverLyraRM::kReadBufferWords);
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end && !enough(r) && !d.USBFailed()) {
        uint32_t n = 0;
        const uint8_t status = d.ReadData(buffer.data(), n);
        ++r.reads;
        if (n == 0) continue;
        r.words.insert(r.words.end(), buffer.begin(), buffer.begin() + n);
        r.statuses.push_back(status);
        r.lastWords.push_back(buffer[n - 1]);
    }
    return r;
}

inline std::vector<uint16_t> Samples(const std::vector<uint16_t>& words) {
    std::vector<uint16_t> s;
    for (uint16_t w : words)
        if (w > 2) s.push_back(w);
    return s;
}

}  // namespace rollmode::e2e
