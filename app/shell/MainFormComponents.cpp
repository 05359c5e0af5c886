#include "MainFormComponents.h"

#include <QGroupBox>
#include <QLabel>
#include <QScrollBar>
#include <QToolButton>

#include "DataSourceModuleLyraRM.h"
#include "FlowManagerLyraRM.h"
#include "MainScreen.h"
#include "NotificationCodes.h"
#include "QtApplicationControl.h"
#include "QtIndicatorLamp.h"
#include "RollScreenEKGLyraRM.h"
#include "RollScreenShiftLyraRM.h"
#include "UiCallQueue.h"
#include "VirtualDriverLyraRM.h"
#include "VirtualScopeLyraRM.h"
#include "ports/RollScreenView.h"
// Trigger, ARM, time base and sweep control groups.
#include "ArmControlsLyraRM.h"
#include "SweepControlsLyraRM.h"
#include "TimeBaseControlsLyraRM.h"
#include "TriggerControlsLyraRM.h"
#include "UnitValueLabel.h"

namespace rollmode::shell {

namespace {
// A plain widget the flow manager shows and hides ("Display off").
class ShowableWidget final : public core::ShowableControl {
public:
    explicit ShowableWidget(QWidget* widget) : widget_(widget) {}
    void SetShown(bool shown) override {
        if (widget_) widget_->setVisible(shown);
    }

private:
    QWidget* widget_;
};
}  // namespace

// Declaration order is creation order; destruction runs the other way, so the
// listeners go before the model they are registered with.
struct MainFormComponents::Parts final : core::TNotificationHandler {
    Parts(TMainForm& f, core::MessageBoxService& messages, core::ApplicationControl& control)
        : form(f), VirtualDriverLyraRM1(&messages, &control) {}

    // The main window's caption handler as the model sees it.
    void HandleNotification(int32_t code, int32_t& group) override { form.HandleNotification(code, group); }

    TMainForm& form;
    core::TVirtualDriverLyraRM VirtualDriverLyraRM1;
    core::TVirtualScopeLyraRM VirtualScopeLyraRM1;
    // The workers' synchronous calls into this thread, woken through the event loop.
    core::TUiCallQueue uiCalls;
    std::unique_ptr<core::TDataSourceModuleLyraRM> DataSourceModuleLyraRM1 =
        std::make_unique<core::TDataSourceModuleLyraRM>();
    core::TFlowManagerLyraRM FlowManagerLyraRM1;
    ShowableWidget displayOff{form.InactiveDispLabel()};
    // Owned by the screen host (Qt parent); the flow manager is stopped before they go.
    display::TRollScreenShiftLyraRM* RollScreenShiftLyraRM1 = nullptr;
    display::TRollScreenEKGLyraRM* RollScreenEKGLyraRM1 = nullptr;
    bool captionRegistered = false;

    // Trigger, ARM, time base and sweep control groups (groups 8, 18, 14, 12); they
    // link to the widgets of their panels by object name.
    controls::TTriggerControlsLyraRM TriggerControlsLyraRM1;
    controls::TSweepControlsLyraRM SweepControlsLyraRM1;
    controls::TTimeBaseControlsLyraRM TimeBaseControlsLyraRM1;
    controls::TArmControlsLyraRM ArmControlsLyraRM1;

    // Still to come here, each linked to VirtualScopeLyraRM1 in this order (the
    // order of registration is the order of delivery):
    //  - SettingsLyraRM1 (group 10);
    //  - the information panels in form.InfoPanelA()/InfoPanelB() (group 1), whose
    //    live-voltage labels become ActualVoltageA/B;
    //  - the control groups 2, 3, 4, 6, 7, 8, 9, 11, 12, 14, 18 in their panels
    //    (form.Panel("SavePanel") ...), the record size label as FileSizeLabel, the
    //    indicator lamps form.TriggerLamp() / form.ArmLamp(); then
    //    form.ApplyHints() once their controls exist.
};

MainFormComponents::MainFormComponents(TMainForm& form, core::MessageBoxService& messages,
                                       core::ApplicationControl& control)
    : parts_(std::make_unique<Parts>(form, messages, control)) {
    Parts& p = *parts_;
    core::TVirtualScopeLyraRM& scope = p.VirtualScopeLyraRM1;
    core::TVirtualDriverLyraRM& driver = p.VirtualDriverLyraRM1;
    scope.SetVirtualDriver(&driver);
    driver.SetRangeTablePointer(scope.RangeTable());

    p.uiCalls.SetWake([&p] { PostToGuiThread([&p] { p.uiCalls.ProcessPending(); }); });

    // Both screens lie at the same place; the flow manager shows one of them.
    p.RollScreenShiftLyraRM1 = new display::TRollScreenShiftLyraRM(form.ScreenHost());
    p.RollScreenShiftLyraRM1->setObjectName("RollScreenShiftLyraRM1");
    p.RollScreenShiftLyraRM1->SetControlGroup(core::kGroupRollScreen);
    p.RollScreenEKGLyraRM1 = new display::TRollScreenEKGLyraRM(form.ScreenHost());
    p.RollScreenEKGLyraRM1->setObjectName("RollScreenEKGLyraRM1");
    p.RollScreenEKGLyraRM1->SetControlGroup(core::kGroupCardiogramScreen);

    core::TFlowManagerLyraRM& flow = p.FlowManagerLyraRM1;
    flow.SetDataSourceInstance(p.DataSourceModuleLyraRM1.get());
    flow.SetRollScreen(p.RollScreenShiftLyraRM1);
    flow.SetEKGScreen(p.RollScreenEKGLyraRM1);
    flow.SetArmLED(form.ArmLamp());
    flow.SetTriggerLED(form.TriggerLamp());
    flow.SetLinkToDispInactiveCaption(&p.displayOff);
    flow.SetUiThread(&p.uiCalls);

    // Registration order is delivery order: as the components sit on the form.
    flow.SetVirtualScope(&scope);
    p.DataSourceModuleLyraRM1->SetVirtualScope(&scope);
    p.RollScreenShiftLyraRM1->SetVirtualScope(&scope);
    p.RollScreenEKGLyraRM1->SetVirtualScope(&scope);

    // --- Trigger, ARM, time base and sweep control groups -------------------------
    {
        auto in = [&form](const char* panel) { return form.Panel(QString::fromLatin1(panel)); };
        auto onOff = [](QWidget* panel, const char* name) {
            return panel->findChild<controls::TOnOffButtonLyra*>(QString::fromLatin1(name));
        };
        auto button = [](QWidget* panel, const char* name) {
            return panel->findChild<QToolButton*>(QString::fromLatin1(name));
        };
        auto level = [](QWidget* panel, const char* name) {
            return panel->findChild<controls::TVoltageValueEditLyra*>(QString::fromLatin1(name));
        };
        auto readOut = [](QWidget* panel, const char* name) {
            return panel->findChild<display::TUnitValueLabel*>(QString::fromLatin1(name));
        };

        QWidget* trigger = in("TriggerPanel");
        controls::TTriggerControlsLyraRM& t = p.TriggerControlsLyraRM1;
        t.SetTriggerSourceA(onOff(trigger, "TriggerAButton"));
        t.SetTriggerSourceB(onOff(trigger, "TriggerBButton"));
        t.SetTrigUnderOverA(button(trigger, "TriggerUnderAButton"));
        t.SetTrigUnderOverB(button(trigger, "TriggerUnderBButton"));
        t.SetTriggerLevelEditA(level(trigger, "TriggerLevelAEdit"));
        t.SetTriggerLevelEditB(level(trigger, "TriggerLevelBEdit"));
        t.SetTrigRelation(button(trigger, "TriggerRelationButton"));

        QWidget* sweep = in("SweepPanel");
        controls::TSweepControlsLyraRM& s = p.SweepControlsLyraRM1;
        s.SetMakeMaximumButton(onOff(sweep, "MaximumButton"));
        s.SetMakeAvgButton(onOff(sweep, "AverageButton"));
        s.SetMakeMinimumButton(onOff(sweep, "MinimumButton"));
        s.SetSingleButton(onOff(sweep, "SingleButton"));
        s.SetCalcButton(onOff(sweep, "CalcButton"));
        s.SetClearScreenButton(onOff(sweep, "ClearScreenButton"));

        QWidget* timeBase = in("TimeBasePanel");
        controls::TTimeBaseControlsLyraRM& tb = p.TimeBaseControlsLyraRM1;
        tb.SetSMPScrollBar(timeBase->findChild<QScrollBar*>(QStringLiteral("SMPScrollBar")));
        tb.SetDSPScrollBar(timeBase->findChild<QScrollBar*>(QStringLiteral("DSPScrollBar")));
        tb.SetSMPRatio(readOut(timeBase, "SamplesPerSecond"));
        tb.SetDSPRatio(readOut(timeBase, "SecondPerDivider"));
        tb.SetDSP_SMPRatio(readOut(timeBase, "DSP_SMP"));
        tb.SetDSPRatioHz(readOut(timeBase, "FreqPerDiv"));

        QWidget* arm = in("ARMPanel");
        controls::TArmControlsLyraRM& a = p.ArmControlsLyraRM1;
        a.SetArmSourceA(onOff(arm, "ArmAButton"));
        a.SetArmSourceB(onOff(arm, "ArmBButton"));
        a.SetExternalSource(onOff(arm, "ArmExternalButton"));
        a.SetTrigUnderOverA(button(arm, "ArmUnderAButton"));
        a.SetTrigUnderOverB(button(arm, "ArmUnderBButton"));
        a.SetTrigUnderOverExternal(button(arm, "ArmUnderExternalButton"));
        a.SetArmLevelEditA(level(arm, "ArmLevelAEdit"));
        a.SetArmLevelEditB(level(arm, "ArmLevelBEdit"));

        // In the order of the groups on the form.
        t.SetVirtualScope(&scope);
        s.SetVirtualScope(&scope);
        tb.SetVirtualScope(&scope);
        a.SetVirtualScope(&scope);
    }

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
