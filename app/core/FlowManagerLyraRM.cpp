#include "FlowManagerLyraRM.h"

#include "AcquisitionThreadRM.h"
#include "DataSourceModuleLyraRM.h"
#include "ProcessingThreadRM.h"
#include "UiCallQueue.h"
#include "VirtualDriverLyraRM.h"
#include "ports/RollScreenView.h"

namespace rollmode::core {

using platform::ThreadPriority;

TFlowManagerLyraRM::TFlowManagerLyraRM() = default;

TFlowManagerLyraRM::~TFlowManagerLyraRM() {
    StopThreads();
    if (scope_) scope_->UnregisterListener(this, this);
}

void TFlowManagerLyraRM::SetVirtualScope(TVirtualScopeLyraRM* scope) {
    if (scope_) scope_->UnregisterListener(this, this);
    scope_ = scope;
    if (scope_) scope_->RegisterListener(controlGroup_, this, this);
}

TVirtualDriverLyraRM* TFlowManagerLyraRM::Driver() const { return scope_ ? scope_->VirtualDriver() : nullptr; }

void TFlowManagerLyraRM::InvokeInUi(const std::function<void()>& fn) const {
    if (ui_)
        ui_->InvokeSync(fn);
    else
        fn();
}

void TFlowManagerLyraRM::StartThreads() {
    if (acquisition_ || !scope_ || !Driver() || !dataSource_) return;
    dataSource_->ResetBuffer();

    acquisition_ = std::make_unique<TAcquisitionThreadRM>(*this);
    scope_->SetCachedDataStatus(0);
    acquisition_->ForcedTransfer();  // primes the driver's fields while no device is open
    Driver()->SetRangeTablePointer(scope_->RangeTable());
    Driver()->OpenDevice();
    acquisition_->ForcedTransfer();  // now sent to the device
    // A measurement that was running when the threads stopped runs on: the re-opened
    // device starts stopped, and the settings pass only sends changes.
    Driver()->ResumeMeasurement();
    acquisition_->SetLamps(armLed_, triggerLed_);
    acquisition_->Start();

    processing_ = std::make_unique<TProcessingThreadRM>(*this, ActiveScreen());
    processing_->Start();

    if (scope_->BoostThread()) {
        acquisition_->SetPriority(ThreadPriority::TimeCritical);
        processing_->SetPriority(ThreadPriority::TimeCritical);
    }
    // Remember what was applied, so that turning the option off before any other
    // settings notification still brings the threads back to normal.
    lastBoost_ = scope_->BoostThread();

    if (rollScreen_) rollScreen_->PrepareDisplay();
    if (ekgScreen_) ekgScreen_->PrepareDisplay();
}

void TFlowManagerLyraRM::StopThreads() {
    if (acquisition_) {
        acquisition_->Terminate();
        if (!acquisition_->WaitFor(ui_, kAcquisitionStopWaitMs) && dataSource_) {
            // Still blocked on a full ring with nobody draining it: let it go.
            dataSource_->AbortWaits();
        }
        acquisition_->Join(ui_);
        acquisition_.reset();
    }
    if (processing_) {
        processing_->Terminate();
        if (dataSource_) dataSource_->WakeReader();
        processing_->WaitFor(ui_, kProcessingStopWaitMs);
        processing_->Join(ui_);
        processing_.reset();
    }
    if (auto* driver = Driver()) driver->ReleaseDriverLibrary();
}

void TFlowManagerLyraRM::ApplyBoost(bool boost) {
    if (boost == lastBoost_) return;
    const ThreadPriority priority = boost ? ThreadPriority::TimeCritical : ThreadPriority::Normal;
    if (acquisition_) acquisition_->SetPriority(priority);
    if (processing_) processing_->SetPriority(priority);
    lastBoost_ = boost;
}

void TFlowManagerLyraRM::SwitchScreen(RollScreenView* screen) {
    if (RollScreenView* old = ActiveScreen()) old->SetShown(false);
    activeScreen_.store(screen, std::memory_order_release);
    if (screen) screen->SetShown(true);
    if (processing_) processing_->SetScreen(screen);
}

void TFlowManagerLyraRM::OnSettingsChanged() {
    ApplyBoost(scope_->BoostThread());
    SetScopeSettingsDirty(true);
    RollScreenView* active = ActiveScreen();
    if (scope_->ClearScreenRequested()) {
        if (active) active->ClearDisplay();
        scope_->SetClearScreenRequested(false);
    }
    const bool displayActive = scope_->DisplayActive();
    if (displayOff_) displayOff_->SetShown(!displayActive);
    if (active) active->SetShown(displayActive);
}

void TFlowManagerLyraRM::HandleNotification(int32_t code, int32_t& /*group*/) {
    if (!scope_) return;
    switch (code) {
        case kNotifyStartup:
            SwitchScreen(scope_->ModeEKG() ? ekgScreen_ : rollScreen_);
            lastBoost_ = false;
            SetScopeSettingsDirty(false);
            StartThreads();
            break;
        case kNotifySettingsChanged:
        case kNotifyDeviceReopened:
            OnSettingsChanged();
            break;
        case kNotifyShutdown: {
            StopThreads();
            TVirtualScopeLyraRM* scope = scope_;
            scope_ = nullptr;
            scope->UnregisterListener(this, this);
            break;
        }
        case kNotifyLoadStartupSettings:
            if (rollScreen_) rollScreen_->SetShown(false);
            if (ekgScreen_) ekgScreen_->SetShown(false);
            break;
        case kNotifyCardiogramDisplay:
            SwitchScreen(ekgScreen_);
            break;
        case kNotifyRollDisplay:
            SwitchScreen(rollScreen_);
            break;
        default:
            break;
    }
}

}  // namespace rollmode::core
