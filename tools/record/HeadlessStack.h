#pragma once
// The instrument core wired as the main window wires it (model, driver library, flow
// manager, ring buffer), without screens: the user-interface thread is whoever calls
// Serve(). Used by rollmode-record and by the reliability tests.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "DataSourceModuleLyraRM.h"
#include "FlowManagerLyraRM.h"
#include "NotificationCodes.h"
#include "UiCallQueue.h"
#include "VirtualDriverLyraRM.h"
#include "VirtualScopeLyraRM.h"
#include "ports/MessageBoxService.h"
#include "ports/RollScreenView.h"

namespace rollmode::tools {

class HeadlessStack {
public:
    // `messages` answers the driver's and the record file's boxes; `screen` (may be
    // null) stands for both screens.
    HeadlessStack(core::MessageBoxService& messages, core::RollScreenView* screen = nullptr) {
        driver.SetMessageBoxService(&messages);
        scope.SetVirtualDriver(&driver);
        scope.SetMessageBoxService(&messages);
        driver.SetRangeTablePointer(scope.RangeTable());
        flow.SetDataSourceInstance(ring.get());
        flow.SetRollScreen(screen);
        flow.SetEKGScreen(screen);
        flow.SetUiThread(&ui);
        flow.SetVirtualScope(&scope);
        ring->SetVirtualScope(&scope);
    }
    ~HeadlessStack() { Shutdown(); }
    HeadlessStack(const HeadlessStack&) = delete;
    HeadlessStack& operator=(const HeadlessStack&) = delete;

    // Starts the worker threads (and opens the device) at a sampling step.
    void Initialize(int smp) {
        scope.SetSMPSetting(smp);
        scope.SetRecordFree(true);
        scope.InitializeApplication();
        initialized_ = true;
    }

    // Saving on into `file` (appended to when it exists).
    void StartSaving(const std::string& file) {
        scope.OpenRecordFile(file);
        scope.SetSavingActivated(true);
    }

    void SetMeasurement(bool on) {
        scope.SetMeasurementStarted(on);
        scope.NotifyListeners(core::kNotifySettingsChanged, core::kGroupMeasurementRecordControls);
    }

    // Serves the workers' calls until `done` holds or the time is up; reports a
    // failed record write as the main window would.
    bool Serve(const std::function<bool()>& done, int64_t timeoutMs) {
        return ui.ServeUntil(
            [&] {
                if (scope.RecordFileFailurePending()) scope.ReportRecordFileFailure();
                return done();
            },
            timeoutMs);
    }

    void Shutdown() {
        if (!initialized_) return;
        initialized_ = false;
        scope.ShutdownApplication();
    }

    core::TVirtualDriverLyraRM driver;
    core::TVirtualScopeLyraRM scope;
    std::unique_ptr<core::TDataSourceModuleLyraRM> ring = std::make_unique<core::TDataSourceModuleLyraRM>();
    core::TUiCallQueue ui;
    core::TFlowManagerLyraRM flow;

private:
    bool initialized_ = false;
};

}  // namespace rollmode::tools
