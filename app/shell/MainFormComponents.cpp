#include "MainFormComponents.h"

#include "MainScreen.h"
#include "NotificationCodes.h"
#include "QtApplicationControl.h"
#include "QtMessageBoxService.h"
#include "VirtualDriverLyraRM.h"
#include "VirtualScopeLyraRM.h"

namespace rollmode::shell {

// Declaration order is creation order; destruction runs the other way, so the
// listeners go before the model they are registered with.
struct MainFormComponents::Parts final : core::TNotificationHandler {
    Parts(TMainForm& f, QtMessageBoxService& messages, QtApplicationControl& control)
        : form(f), VirtualDriverLyraRM1(&messages, &control) {}

    // The main window's caption handler as the model sees it.
    void HandleNotification(int32_t code, int32_t& group) override { form.HandleNotification(code, group); }

    TMainForm& form;
    core::TVirtualDriverLyraRM VirtualDriverLyraRM1;
    core::TVirtualScopeLyraRM VirtualScopeLyraRM1;
    bool captionRegistered = false;

    // Still to come here, each linked to VirtualScopeLyraRM1 in this order (the
    // order of registration is the order of delivery):
    //  - FlowManagerLyraRM1 (group 5) and DataSourceModuleLyraRM1 (group 16); the
    //    acquisition thread it starts on code 1 opens VirtualDriverLyraRM1 and
    //    reaches this thread through the core's synchronous call, woken by
    //    PostToGuiThread();
    //  - SettingsLyraRM1 (group 10);
    //  - the roll and cardiogram screens, as children of form.ScreenHost();
    //  - the information panels in form.InfoPanelA()/InfoPanelB() (group 1), whose
    //    live-voltage labels become ActualVoltageA/B;
    //  - the control groups 2, 3, 4, 6, 7, 8, 9, 11, 12, 14, 18 in their panels
    //    (form.Panel("SavePanel") ...), the record size label as FileSizeLabel, the
    //    indicator lamps form.TriggerLamp() / form.ArmLamp(); then
    //    form.ApplyHints() once their controls exist.
};

MainFormComponents::MainFormComponents(TMainForm& form, QtMessageBoxService& messages,
                                       QtApplicationControl& control)
    : parts_(std::make_unique<Parts>(form, messages, control)) {
    Parts& p = *parts_;
    core::TVirtualScopeLyraRM& scope = p.VirtualScopeLyraRM1;
    core::TVirtualDriverLyraRM& driver = p.VirtualDriverLyraRM1;
    scope.SetVirtualDriver(&driver);
    driver.SetRangeTablePointer(scope.RangeTable());
    // Until the flow manager's acquisition thread opens the device, nothing talks to
    // an instrument: the program runs on the demo generator and says so.
    driver.SetDemoMode(true);

    MainFormCore core;
    core.demoMode = [&driver] { return driver.DemoMode(); };
    core.deviceModelIndex = [&scope] { return scope.DeviceModelIndex(); };
    core.showComixHelp = [&scope] { return scope.ShowComixHelp(); };
    core.boostThread = [&scope] { return scope.BoostThread(); };
    core.notifyListeners = [&scope](int code, int group) { scope.NotifyListeners(code, group); };
    core.unregisterListener = [&p] {
        p.VirtualScopeLyraRM1.UnregisterListener(&p, &p.form);
        p.captionRegistered = false;
    };
    core.shutdownApplication = [&scope] { scope.ShutdownApplication(); };
    form.AttachCore(std::move(core));
    scope.RegisterListener(TMainForm::kControlGroup, &p, &form);
    p.captionRegistered = true;
}

MainFormComponents::~MainFormComponents() {
    parts_->form.DetachCore();
    if (parts_->captionRegistered) {
        parts_->VirtualScopeLyraRM1.UnregisterListener(parts_.get(), &parts_->form);
    }
}

void MainFormComponents::InitializeApplication() { parts_->VirtualScopeLyraRM1.InitializeApplication(); }

core::TVirtualScopeLyraRM& MainFormComponents::VirtualScopeLyraRM1() { return parts_->VirtualScopeLyraRM1; }

core::TVirtualDriverLyraRM& MainFormComponents::VirtualDriverLyraRM1() { return parts_->VirtualDriverLyraRM1; }

}  // namespace rollmode::shell
