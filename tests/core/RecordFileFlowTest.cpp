// A measurement recorded from the demo source through the whole core, read back
// with the record file reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DataSourceModuleLyraRM.h"
#include "FlowManagerLyraRM.h"
#include "NotificationCodes.h"
#include "RecordFileReader.h"
#include "UiCallQueue.h"
#include "VirtualDriverLyraRM.h"
#include "VirtualScopeLyraRM.h"
#include "ports/RollScreenView.h"
#include "../support/fakedriver/ScriptedPorts.h"

using namespace rollmode::core;
using namespace rollmode::records;

namespace {

class NullScreen final : public RollScreenView {
public:
    void ProcessBlock(const uint16_t*, uint32_t) override {}
    void PrepareDisplay() override {}
    void ClearDisplay() override {}
    void SetShown(bool) override {}
};

// The core as the main window wires it, in demo mode (no driver library).
struct SavingRig {
    SavingRig() {
        messages.answers.push_back(MsgResult::Yes);  // go on in demo mode
        driver.SetMessageBoxService(&messages);
        driver.SetLibraryName("NoSuchDriverLibrary.dll");
        scope.SetVirtualDriver(&driver);
        scope.SetMessageBoxService(&messages);
        flow.SetDataSourceInstance(ring.get());
        flow.SetRollScreen(&roll);
        flow.SetEKGScreen(&ekg);
        flow.SetUiThread(&ui);
        flow.SetVirtualScope(&scope);
    }
    ~SavingRig() {
        if (flow.VirtualScope()) {
            int32_t g = kGroupScope;
            flow.HandleNotification(kNotifyShutdown, g);
        }
    }
    bool WaitFor(const std::function<bool()>& cond, int ms = 5000) { return ui.ServeUntil(cond, ms); }

    fakedriver::ScriptedMessages messages;
    TVirtualDriverLyraRM driver;
    TVirtualScopeLyraRM scope;
    std::unique_ptr<TDataSourceModuleLyraRM> ring = std::make_unique<TDataSourceModuleLyraRM>();
    NullScreen roll, ekg;
    TUiCallQueue ui;
    TFlowManagerLyraRM flow;
};

}  // namespace

TEST(RecordFileFlow, ADemoMeasurementIsRecordedWithItsStartSnapshotAndConvertsToMillivolts) {
    const std::string path = ::testing::TempDir() + "flow_demo.rmd";
    std::remove(path.c_str());
    SavingRig rig;
    // 1000 samples/s; traces centred so the 8-bit codes never clip; 1 V/div on A
    // (density 7) and 0.5 V/div on B (density 6); a 200 ms sine of 3 V and 1.5 V.
    rig.scope.SetSMPSetting(4);
    rig.scope.SetVerticalLevelChannelA(2048);
    rig.scope.SetVerticalLevelChannelB(2048);
    rig.scope.SetDensityChannelB(6);
    rig.scope.SetPeriodA(200);
    rig.scope.SetPeriodB(200);
    rig.scope.SetAmplitudeB(1500);
    // The demo has no device to tell the zero line; give it the code the traces
    // centre on, so the recorded levels place 0 V there.
    rig.driver.SetZeroChannelA(128);
    rig.driver.SetZeroChannelB(128);
    rig.scope.InitializeApplication();
    rig.scope.OpenRecordFile(path);
    rig.scope.SetSavingActivated(true);
    ASSERT_NE(rig.scope.ActualOutputStream(), nullptr);

    rig.scope.SetMeasurementStarted(true);
    rig.scope.NotifyListeners(kNotifySettingsChanged, kGroupMeasurementRecordControls);
    ASSERT_TRUE(rig.WaitFor([&] { return rig.scope.FileSize() > 2 * 600; }));
    rig.scope.SetMeasurementStarted(false);
    rig.scope.NotifyListeners(kNotifySettingsChanged, kGroupMeasurementRecordControls);
    rig.WaitFor([] { return false; }, 50);
    const double counted = rig.scope.FileSize();
    rig.scope.ShutdownApplication();
    EXPECT_EQ(rig.scope.ActualOutputStream(), nullptr);
    EXPECT_DOUBLE_EQ(counted, static_cast<double>(std::filesystem::file_size(path)));

    TRecordFileReader reader;
    ASSERT_TRUE(reader.Open(path));
    std::vector<uint16_t> codesAfterStart;
    bool started = false, stopped = false;
    std::size_t samplesBeforeSnapshotEnd = 0, samples = 0;
    double minA = 1e9, maxA = -1e9, minB = 1e9, maxB = -1e9;
    double lastSeconds = -1;
    RecordItem item;
    while (reader.Next(item)) {
        if (item.kind == RecordItem::Kind::Settings) {
            if (item.code == recordcode::kMeasurement && item.args[0] == 1) started = true;
            if (item.code == recordcode::kMeasurement && item.args[0] == 0 && started) stopped = true;
            if (started && !stopped) codesAfterStart.push_back(item.code);
            continue;
        }
        if (item.kind != RecordItem::Kind::Sample || !started) continue;
        if (codesAfterStart.size() < 12) ++samplesBeforeSnapshotEnd;
        ++samples;
        const RecordSettings& s = reader.Settings();
        minA = std::min(minA, s.Millivolts(0, item.CodeA()));
        maxA = std::max(maxA, s.Millivolts(0, item.CodeA()));
        minB = std::min(minB, s.Millivolts(1, item.CodeB()));
        maxB = std::max(maxB, s.Millivolts(1, item.CodeB()));
        if (lastSeconds >= 0) {
            EXPECT_NEAR(item.seconds - lastSeconds, 0.001, 1e-9);
        }
        lastSeconds = item.seconds;
    }
    EXPECT_FALSE(reader.Failed()) << reader.Error() << " at " << reader.ErrorOffset();
    ASSERT_GE(codesAfterStart.size(), 12u);
    EXPECT_EQ(std::vector<uint16_t>(codesAfterStart.begin(), codesAfterStart.begin() + 12),
              (std::vector<uint16_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_EQ(samplesBeforeSnapshotEnd, 0u) << "the snapshot comes before the first sample";
    EXPECT_TRUE(stopped) << "the stop reaches the file too";
    EXPECT_GT(samples, 500u);

    const RecordSettings& s = reader.Settings();
    EXPECT_EQ(s.samplesPerSecond, 1000u);
    EXPECT_EQ(s.deflection[0], 1000u);
    EXPECT_EQ(s.deflection[1], 500u);
    EXPECT_EQ(s.zeroCode[0], 128);
    // The demo's sine, 255/256 of a division per division of amplitude, rounded to
    // whole codes: a full period swings close to the amplitude both ways.
    EXPECT_NEAR(maxA, 3000.0, 60.0);
    EXPECT_NEAR(minA, -3000.0, 60.0);
    EXPECT_NEAR(maxB, 1500.0, 30.0);
    EXPECT_NEAR(minB, -1500.0, 30.0);
    ASSERT_EQ(rig.messages.shown.size(), 1u) << "only the missing driver library was reported";
}
