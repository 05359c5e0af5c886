// The whole instrument core, wired as the main window wires it, over the real driver library,
// brask and the simulated instrument: start, samples flow, the unit is unplugged and plugged in
// again, acquisition resumes after the retry, stop.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "AcquisitionThreadRM.h"
#include "DataSourceModuleLyraRM.h"
#include "E2eSupport.h"
#include "FlowManagerLyraRM.h"
#include "NotificationCodes.h"
#include "ProcessingThreadRM.h"
#include "UiCallQueue.h"
#include "VirtualScopeLyraRM.h"
#include "ports/RollScreenView.h"

using namespace rollmode;
using namespace rollmode::core;
using namespace rollmode::e2e;

namespace {

class CountingScreen final : public RollScreenView {
public:
    // Sample words in order, with settings records cut out.
    void ProcessBlock(const uint16_t* words, uint32_t count) override {
        std::lock_guard g(mutex_);
        for (uint32_t i = 0; i < count; ++i) {
            const uint16_t w = words[i];
            if (recordLeft_ != 0) {
                if (recordLeft_ == kLengthPending) {
                    recordLeft_ = w >= 4 && w <= 6 ? w - 2 : 0;  // length counted the word 0 and itself
                    ++records_;
                } else {
                    --recordLeft_;
                }
                continue;
            }
            if (w == 0) {
                recordLeft_ = kLengthPending;
                continue;
            }
            if (w > 2) samples_.push_back(w);
        }
    }
    void PrepareDisplay() override {}
    void ClearDisplay() override {}
    void SetShown(bool) override {}

    size_t SampleCount() {
        std::lock_guard g(mutex_);
        return samples_.size();
    }
    std::vector<uint16_t> SamplesFrom(size_t first) {
        std::lock_guard g(mutex_);
        return {samples_.begin() + static_cast<std::ptrdiff_t>(std::min(first, samples_.size())), samples_.end()};
    }
    int Records() {
        std::lock_guard g(mutex_);
        return records_;
    }

private:
    static constexpr int kLengthPending = -1;
    std::mutex mutex_;
    std::vector<uint16_t> samples_;
    int recordLeft_ = 0;
    int records_ = 0;
};

// Counting-pattern samples: A steps by one code per sample through 1..255.
size_t OrderBreaks(const std::vector<uint16_t>& s) {
    size_t breaks = 0;
    for (size_t i = 1; i < s.size(); ++i) breaks += (s[i] & 0xFF) != 1 + (s[i - 1] & 0xFF) % 255;
    return breaks;
}

TEST(CoreStack, MeasurementRunsSurvivesAnUnplugAndStops) {
    TempDeviceFolder folder;
    sim::InstrumentConfig config;
    config.channels[0] = {sim::SignalShape::Count, 0, 0, 0, 0};
    config.channels[1] = {sim::SignalShape::Count, 0, 0, 0, 0};
    config.serial = 20261207;
    SimulatedUnit unit(folder.Path(), config);
    ASSERT_TRUE(unit.Plug());

    ScriptedMessages messages;
    TVirtualDriverLyraRM driver;
    TVirtualScopeLyraRM scope;
    auto ring = std::make_unique<TDataSourceModuleLyraRM>();
    CountingScreen roll, ekg;
    TUiCallQueue ui;
    TFlowManagerLyraRM flow;
    driver.SetMessageBoxService(&messages);
    scope.SetVirtualDriver(&driver);
    flow.SetDataSourceInstance(ring.get());
    flow.SetRollScreen(&roll);
    flow.SetEKGScreen(&ekg);
    flow.SetUiThread(&ui);
    flow.SetVirtualScope(&scope);
    auto serve = [&ui](const std::function<bool()>& cond, int ms = 5000) { return ui.ServeUntil(cond, ms); };

    scope.SetSMPSetting(7);  // 10,000 samples per second
    scope.SetModeEKG(true);
    scope.InitializeApplication();
    ASSERT_TRUE(flow.ThreadsRunning());
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(driver.DeviceInitialized());
    EXPECT_FALSE(driver.DemoMode());
    EXPECT_EQ(driver.DeviceSerialNumber(), "20261207");
    EXPECT_EQ(scope.DeviceModelIndex(), 3) << "caption digit 4";

    scope.SetMeasurementStarted(true);
    scope.NotifyListeners(kNotifySettingsChanged, kGroupMeasurementRecordControls);
    ASSERT_TRUE(serve([&] { return ekg.SampleCount() > 3000; }));
    EXPECT_EQ(unit.Device().Register(1), 0x8000 | 8) << "run bit and the rate code of 10,000/s";
    EXPECT_GT(ekg.Records(), 12) << "measurement start and the settings snapshot";
    EXPECT_EQ(OrderBreaks(ekg.SamplesFrom(0)), 0u);

    // Unplugged during the measurement: the retry box comes; the unit is plugged in and Yes given.
    // While the box is up the acquisition waits for it: what it read before the unplug is
    // drained onto the screen (the processing thread takes a run at most every turn), and
    // counted, before the unit comes back.
    size_t before = 0;
    messages.Push(MsgResult::Yes, [&] {
        const auto drained = [&] { return ring->PendingCount() == 0 && ring->WrappedCount() == 0; };
        for (int i = 0; i < 1000 && !drained(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_TRUE(drained());
        before = ekg.SampleCount();
        ASSERT_TRUE(unit.Plug());
    });
    unit.Unplug();
    ASSERT_TRUE(serve([&] { return !messages.shown.empty(); }));
    EXPECT_EQ(messages.shown[0], "Device not present. Retry?");
    ASSERT_TRUE(serve([&] { return ekg.SampleCount() > before + 3000; }))
        << "acquisition resumes after the re-open";
    EXPECT_TRUE(driver.DeviceInitialized());
    EXPECT_FALSE(driver.DemoMode());
    EXPECT_EQ(unit.Device().Register(1), 0x8000 | 8) << "rate restored before the run bit";
    ASSERT_EQ(driver.SourceProbeA(), 1);
    EXPECT_EQ(unit.Device().Register(8), sim::CalibratedGain(unit.Device().TrueCalibration(), 0,
                                                             driver.GetDeflection(TVirtualDriverLyraRM::kChannelA)))
        << "full settings pass: the gain of the selected range is back";
    EXPECT_EQ(OrderBreaks(ekg.SamplesFrom(before + 10)), 0u);

    scope.SetMeasurementStarted(false);
    scope.NotifyListeners(kNotifySettingsChanged, kGroupMeasurementRecordControls);
    ASSERT_TRUE(serve([&] { return (unit.Device().Register(1) & 0x8000) == 0; }));
    scope.ShutdownApplication();
    EXPECT_FALSE(flow.ThreadsRunning());
    EXPECT_EQ(messages.shown.size(), 1u);
}

}  // namespace
