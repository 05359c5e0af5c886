#pragma once
// Starts and stops the two worker threads, chooses which screen is fed, applies
// the thread-priority option and follows the model's notifications.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "VirtualScopeLyraRM.h"

namespace rollmode::core {

class IndicatorLamp;
class RollScreenView;
class ShowableControl;
class TAcquisitionThreadRM;
class TDataSourceModuleLyraRM;
class TProcessingThreadRM;
class TUiCallQueue;
class TVirtualDriverLyraRM;

class TFlowManagerLyraRM final : public TNotificationHandler {
public:
    static constexpr int64_t kAcquisitionStopWaitMs = 1000;
    static constexpr int64_t kProcessingStopWaitMs = 1500;

    TFlowManagerLyraRM();
    ~TFlowManagerLyraRM() override;
    TFlowManagerLyraRM(const TFlowManagerLyraRM&) = delete;
    TFlowManagerLyraRM& operator=(const TFlowManagerLyraRM&) = delete;

    // --- links ------------------------------------------------------------------
    TDataSourceModuleLyraRM* DataSourceInstance() const { return dataSource_; }
    void SetDataSourceInstance(TDataSourceModuleLyraRM* v) { dataSource_ = v; }
    RollScreenView* RollScreen() const { return rollScreen_; }
    void SetRollScreen(RollScreenView* v) { rollScreen_ = v; }
    RollScreenView* EKGScreen() const { return ekgScreen_; }
    void SetEKGScreen(RollScreenView* v) { ekgScreen_ = v; }
    TVirtualScopeLyraRM* VirtualScope() const { return scope_; }
    // Stores the model and, when not null, registers with it under ControlGroup.
    void SetVirtualScope(TVirtualScopeLyraRM* scope);
    int32_t ControlGroup() const { return controlGroup_; }
    void SetControlGroup(int32_t v) { controlGroup_ = v; }
    IndicatorLamp* ArmLED() const { return armLed_; }
    void SetArmLED(IndicatorLamp* v) { armLed_ = v; }
    IndicatorLamp* TriggerLED() const { return triggerLed_; }
    void SetTriggerLED(IndicatorLamp* v) { triggerLed_ = v; }
    ShowableControl* LinkToDispInactiveCaption() const { return displayOff_; }
    void SetLinkToDispInactiveCaption(ShowableControl* v) { displayOff_ = v; }
    // The workers' synchronous calls into the user-interface thread.
    TUiCallQueue* UiThread() const { return ui_; }
    void SetUiThread(TUiCallQueue* ui) { ui_ = ui; }

    bool ScopeSettingsDirty() const { return settingsDirty_.load(std::memory_order_relaxed); }
    void SetScopeSettingsDirty(bool v) { settingsDirty_.store(v, std::memory_order_relaxed); }

    TVirtualDriverLyraRM* Driver() const;
    RollScreenView* ActiveScreen() const { return activeScreen_.load(std::memory_order_acquire); }
    bool ThreadsRunning() const { return acquisition_ != nullptr; }
    TAcquisitionThreadRM* AcquisitionThread() const { return acquisition_.get(); }
    TProcessingThreadRM* ProcessingThread() const { return processing_.get(); }

    // --- operations (user-interface thread) ------------------------------------
    void StartThreads();
    void StopThreads();
    void HandleNotification(int32_t code, int32_t& group) override;

    // Runs fn on the user-interface thread and waits (directly when there is no queue).
    void InvokeInUi(const std::function<void()>& fn) const;

private:
    void ApplyBoost(bool boost);
    void SwitchScreen(RollScreenView* screen);
    void OnSettingsChanged();

    TDataSourceModuleLyraRM* dataSource_ = nullptr;
    RollScreenView* rollScreen_ = nullptr;
    RollScreenView* ekgScreen_ = nullptr;
    TVirtualScopeLyraRM* scope_ = nullptr;
    int32_t controlGroup_ = kGroupFlowManager;
    IndicatorLamp* armLed_ = nullptr;
    IndicatorLamp* triggerLed_ = nullptr;
    ShowableControl* displayOff_ = nullptr;
    TUiCallQueue* ui_ = nullptr;

    std::atomic<bool> settingsDirty_{false};
    std::atomic<RollScreenView*> activeScreen_{nullptr};
    bool lastBoost_ = false;
    std::unique_ptr<TAcquisitionThreadRM> acquisition_;
    std::unique_ptr<TProcessingThreadRM> processing_;
};

}  // namespace rollmode::core
