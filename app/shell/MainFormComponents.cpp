#include "MainFormComponents.h"

#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>

#include "ChannelControlsLyraRM.h"
#include "DataSourceModuleLyraRM.h"
#include "DensityControlsLyraRM.h"
#include "InformationPanelALyraRM.h"
#include "InformationPanelBLyraRM.h"
#include "LostDataLabel.h"
#include "MeasurementRecordControlsLyraRM.h"
#include "ModeDisplayLyraRM.h"
#include "OpenSaveControlsLyraRM.h"
#include "SettingsLyraRM.h"
#include "SourceControlsLyraRM.h"
#include "VerticalShiftsLyraRM.h"
#include "FlowManagerLyraRM.h"
#include "MainMenu.h"
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
#include "VoltageValueEditLyra.h"

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
// A control the main window built for a group, by its object name.
template <typename T>
T* Control(const TMainForm& form, const char* objectName) {
    return form.findChild<T*>(QString::fromLatin1(objectName));
}

// --- Trigger, ARM, time base and sweep groups: their widgets ------------------------
void LinkTriggerTimeBaseGroups(const TMainForm& form, controls::TTriggerControlsLyraRM& trigger,
                               controls::TSweepControlsLyraRM& sweep, controls::TTimeBaseControlsLyraRM& timeBase,
                               controls::TArmControlsLyraRM& arm) {
    using controls::TOnOffButtonLyra;
    using controls::TVoltageValueEditLyra;
    using display::TUnitValueLabel;

    trigger.SetTriggerSourceA(Control<TOnOffButtonLyra>(form, "TriggerAButton"));
    trigger.SetTriggerSourceB(Control<TOnOffButtonLyra>(form, "TriggerBButton"));
    trigger.SetTrigUnderOverA(Control<QToolButton>(form, "TriggerUnderAButton"));
    trigger.SetTrigUnderOverB(Control<QToolButton>(form, "TriggerUnderBButton"));
    trigger.SetTriggerLevelEditA(Control<TVoltageValueEditLyra>(form, "TriggerLevelAEdit"));
    trigger.SetTriggerLevelEditB(Control<TVoltageValueEditLyra>(form, "TriggerLevelBEdit"));
    trigger.SetTrigRelation(Control<QToolButton>(form, "TriggerRelationButton"));

    sweep.SetMakeMaximumButton(Control<TOnOffButtonLyra>(form, "MaximumButton"));
    sweep.SetMakeAvgButton(Control<TOnOffButtonLyra>(form, "AverageButton"));
    sweep.SetMakeMinimumButton(Control<TOnOffButtonLyra>(form, "MinimumButton"));
    sweep.SetSingleButton(Control<TOnOffButtonLyra>(form, "SingleButton"));
    sweep.SetCalcButton(Control<TOnOffButtonLyra>(form, "CalcButton"));
    sweep.SetClearScreenButton(Control<TOnOffButtonLyra>(form, "ClearScreenButton"));

    timeBase.SetSMPScrollBar(Control<QScrollBar>(form, "SMPScrollBar"));
    timeBase.SetDSPScrollBar(Control<QScrollBar>(form, "DSPScrollBar"));
    timeBase.SetSMPRatio(Control<TUnitValueLabel>(form, "SamplesPerSecond"));
    timeBase.SetDSPRatio(Control<TUnitValueLabel>(form, "SecondPerDivider"));
    timeBase.SetDSP_SMPRatio(Control<TUnitValueLabel>(form, "DSP_SMP"));
    timeBase.SetDSPRatioHz(Control<TUnitValueLabel>(form, "FreqPerDiv"));

    arm.SetArmSourceA(Control<TOnOffButtonLyra>(form, "ArmAButton"));
    arm.SetArmSourceB(Control<TOnOffButtonLyra>(form, "ArmBButton"));
    arm.SetExternalSource(Control<TOnOffButtonLyra>(form, "ArmExternalButton"));
    arm.SetTrigUnderOverA(Control<QToolButton>(form, "ArmUnderAButton"));
    arm.SetTrigUnderOverB(Control<QToolButton>(form, "ArmUnderBButton"));
    arm.SetTrigUnderOverExternal(Control<QToolButton>(form, "ArmUnderExternalButton"));
    arm.SetArmLevelEditA(Control<TVoltageValueEditLyra>(form, "ArmLevelAEdit"));
    arm.SetArmLevelEditB(Control<TVoltageValueEditLyra>(form, "ArmLevelBEdit"));
}
}  // namespace

// Declaration order is creation order; destruction runs the other way, so the
// listeners go before the model they are registered with.
struct MainFormComponents::Parts final : core::TNotificationHandler {
    Parts(TMainForm& f, core::MessageBoxService& messages, core::ApplicationControl& control)
        : form(f), messageBoxes(messages), VirtualDriverLyraRM1(&messages, &control) {}

    // The main window's caption handler as the model sees it.
    void HandleNotification(int32_t code, int32_t& group) override { form.HandleNotification(code, group); }

    TMainForm& form;
    core::MessageBoxService& messageBoxes;
    core::TVirtualDriverLyraRM VirtualDriverLyraRM1;
    core::TVirtualScopeLyraRM VirtualScopeLyraRM1;
    // Calls into this thread (record-file failure reports, the workers' wakes) are
    // queued against this object: gone with the components, whatever is still queued
    // is dropped instead of reaching freed parts.
    QObject uiPostContext;
    // The workers' synchronous calls into this thread, woken through the event loop.
    core::TUiCallQueue uiCalls;
    std::unique_ptr<core::TDataSourceModuleLyraRM> DataSourceModuleLyraRM1 =
        std::make_unique<core::TDataSourceModuleLyraRM>();
    core::TFlowManagerLyraRM FlowManagerLyraRM1;
    ShowableWidget displayOff{form.InactiveDispLabel()};
    // Owned by the screen host (Qt parent); the flow manager is stopped before they go.
    QPointer<display::TRollScreenShiftLyraRM> RollScreenShiftLyraRM1;
    QPointer<display::TRollScreenEKGLyraRM> RollScreenEKGLyraRM1;
    bool captionRegistered = false;
    // The main menu reaches the model, the driver and the message boxes; it goes
    // before them.
    std::unique_ptr<TMainMenu> MainMenu1;

    // Settings, information panels and the control groups, linked to the model in
    // this order after the flow manager and the data source (the order of
    // registration is the order of delivery): settings 10, panels 1, then the
    // groups 2, 3, 4, 6, 7, 8, 9, 11, 12, 14, 18. Groups 8, 12, 14 and 18 find
    // their widgets in their own block.
    controls::TSettingsLyraRM SettingsLyraRM1;
    display::TInformationPanelALyraRM InformationPanelALyraRM1;
    display::TInformationPanelBLyraRM InformationPanelBLyraRM1;
    controls::TDensityControlsLyraRM DensityControlsLyraRM1;
    controls::TSourceControlsLyraRM SourceControlsLyraRM1;
    display::TVerticalShiftsLyraRM VerticalShiftsLyraRM1;
    controls::TChannelControlsLyraRM ChannelControlsLyraRM1;
    controls::TOpenSaveControlsLyraRM OpenSaveControlsLyraRM1;
    controls::TMeasurementRecordControlsLyraRM MeasurementRecordControlsLyraRM1;
    controls::TModeDisplayLyraRM ModeDisplayLyraRM1;
    // Trigger, ARM, time base and sweep groups (8, 18, 14, 12).
    controls::TTriggerControlsLyraRM TriggerControlsLyraRM1;
    controls::TSweepControlsLyraRM SweepControlsLyraRM1;
    controls::TTimeBaseControlsLyraRM TimeBaseControlsLyraRM1;
    controls::TArmControlsLyraRM ArmControlsLyraRM1;
    // Owned by the main window (Qt parent).
    QPointer<QTimer> Timer1;
    QPointer<QFileDialog> SaveDialog;
};

MainFormComponents::MainFormComponents(TMainForm& form, core::MessageBoxService& messages,
                                       core::ApplicationControl& control)
    : parts_(std::make_unique<Parts>(form, messages, control)) {
    Parts& p = *parts_;
    core::TVirtualScopeLyraRM& scope = p.VirtualScopeLyraRM1;
    core::TVirtualDriverLyraRM& driver = p.VirtualDriverLyraRM1;
    scope.SetVirtualDriver(&driver);
    driver.SetRangeTablePointer(scope.RangeTable());

    // Queued against a context of the components: a wake still queued when they are
    // gone is dropped instead of reaching freed parts.
    p.uiCalls.SetWake([&p] {
        QMetaObject::invokeMethod(&p.uiPostContext, [&p] { p.uiCalls.ProcessPending(); }, Qt::QueuedConnection);
    });

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

    // Record-file failures found by the processing thread are shown from the event loop.
    scope.SetMessageBoxService(&messages);
    scope.SetUiPost([context = &p.uiPostContext](std::function<void()> report) {
        QMetaObject::invokeMethod(context, std::move(report), Qt::QueuedConnection);
    });

    // Registration order is delivery order: as the components sit on the form.
    flow.SetVirtualScope(&scope);
    p.DataSourceModuleLyraRM1->SetVirtualScope(&scope);
    p.SettingsLyraRM1.SetMessageBoxService(&messages);
    p.SettingsLyraRM1.SetControlGroup(core::kGroupSettings);
    p.SettingsLyraRM1.SetVirtualScope(&scope);
    p.RollScreenShiftLyraRM1->SetVirtualScope(&scope);
    p.RollScreenEKGLyraRM1->SetVirtualScope(&scope);
    LinkPanelsAndGroups(form, messages);

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

    // Main menu: its check items follow the model through the caption handler.
    p.MainMenu1 = std::make_unique<TMainMenu>(form, scope, driver, p.messageBoxes);

    scope.RegisterListener(TMainForm::kControlGroup, &p, &form);
    p.captionRegistered = true;
}

MainFormComponents::~MainFormComponents() {
    // The screens belong to the window, which may outlive the components: they leave the
    // model now, not in their own destructor after the model is gone.
    if (parts_->RollScreenShiftLyraRM1) parts_->RollScreenShiftLyraRM1->SetVirtualScope(nullptr);
    if (parts_->RollScreenEKGLyraRM1) parts_->RollScreenEKGLyraRM1->SetVirtualScope(nullptr);
    parts_->form.DetachCore();
    if (parts_->captionRegistered) {
        parts_->VirtualScopeLyraRM1.UnregisterListener(parts_.get(), &parts_->form);
    }
}

// --- Information panels, vertical shifts, record, save, channel, source, range and
// display-mode groups ------------------------------------------------------------------
void MainFormComponents::LinkPanelsAndGroups(TMainForm& form, core::MessageBoxService& messages) {
    Parts& p = *parts_;
    core::TVirtualScopeLyraRM& scope = p.VirtualScopeLyraRM1;
    using display::TChannelIndicationButtonLyra;
    using display::TUnitValueLabel;
    using controls::TOnOffButtonLyra;
    LinkTriggerTimeBaseGroups(form, p.TriggerControlsLyraRM1, p.SweepControlsLyraRM1, p.TimeBaseControlsLyraRM1,
                              p.ArmControlsLyraRM1);

    display::TInformationPanelALyraRM& infoA = p.InformationPanelALyraRM1;
    infoA.SetChannelA(Control<QLabel>(form, "InfoChannelA"));
    infoA.SetIconA(Control<QLabel>(form, "InfoIconA"));
    infoA.SetFrameCanvasA(Control<QGroupBox>(form, "InfoPanelA"));
    infoA.SetAcdcA(Control<QLabel>(form, "InfoAcdcA"));
    infoA.SetDensityA(Control<TUnitValueLabel>(form, "DensityValueA"));
    infoA.SetProbeA(Control<QLabel>(form, "InfoProbeA"));
    infoA.SetChannelColorA(Control<QFrame>(form, "InfoColoA"));
    infoA.SetTriggerLevelVoltageA(Control<TUnitValueLabel>(form, "TriggerVoltageA"));
    infoA.SetControlGroup(core::kGroupInformationPanels);
    infoA.SetVirtualScope(&scope);
    display::TInformationPanelBLyraRM& infoB = p.InformationPanelBLyraRM1;
    infoB.SetChannelB(Control<QLabel>(form, "InfoChannelB"));
    infoB.SetIconB(Control<QLabel>(form, "InfoIconB"));
    infoB.SetFrameCanvasB(Control<QGroupBox>(form, "InfoPanelB"));
    infoB.SetAcdcB(Control<QLabel>(form, "InfoAcdcB"));
    infoB.SetDensityB(Control<TUnitValueLabel>(form, "DensityValueB"));
    infoB.SetProbeB(Control<QLabel>(form, "InfoProbeB"));
    infoB.SetChannelColorB(Control<QFrame>(form, "InfoColorB"));
    infoB.SetTriggerLevelVoltageB(Control<TUnitValueLabel>(form, "TriggerVoltageB"));
    infoB.SetControlGroup(core::kGroupInformationPanels);
    infoB.SetVirtualScope(&scope);
    scope.SetActualVoltageA(Control<TUnitValueLabel>(form, "TimeVoltageA"));
    scope.SetActualVoltageB(Control<TUnitValueLabel>(form, "TimeVoltageB"));

    controls::TDensityControlsLyraRM& density = p.DensityControlsLyraRM1;
    density.SetDensityUpButtonA(Control<TChannelIndicationButtonLyra>(form, "RangeUpAButton"));
    density.SetDensityUpButtonB(Control<TChannelIndicationButtonLyra>(form, "RangeUpBButton"));
    density.SetDensityDownButtonA(Control<TChannelIndicationButtonLyra>(form, "RangeDownAButton"));
    density.SetDensityDownButtonB(Control<TChannelIndicationButtonLyra>(form, "RangeDownBButton"));
    density.SetVirtualScope(&scope);

    controls::TSourceControlsLyraRM& source = p.SourceControlsLyraRM1;
    source.SetProbeButtonA(Control<TChannelIndicationButtonLyra>(form, "ProbeAButton"));
    source.SetProbeButtonB(Control<TChannelIndicationButtonLyra>(form, "ProbeBButton"));
    source.SetACDCButtonA(Control<TChannelIndicationButtonLyra>(form, "AcDcAButton"));
    source.SetACDCButtonB(Control<TChannelIndicationButtonLyra>(form, "AcDcBButton"));
    source.SetGroundA(Control<TChannelIndicationButtonLyra>(form, "GroundAButton"));
    source.SetGroundB(Control<TChannelIndicationButtonLyra>(form, "GroundBButton"));
    source.SetVirtualScope(&scope);

    // The vertical shifts' repeat timer: disabled, the default interval of a second.
    p.Timer1 = new QTimer(&form);
    p.Timer1->setObjectName("Timer1");
    p.Timer1->setInterval(1000);
    display::TVerticalShiftsLyraRM& shifts = p.VerticalShiftsLyraRM1;
    shifts.SetSlideUpButtonA(Control<TChannelIndicationButtonLyra>(form, "ShiftUpAButton"));
    shifts.SetSlideUpButtonB(Control<TChannelIndicationButtonLyra>(form, "ShiftUpBButton"));
    shifts.SetSlideDownButtonA(Control<TChannelIndicationButtonLyra>(form, "ShiftDownAButton"));
    shifts.SetSlideDownButtonB(Control<TChannelIndicationButtonLyra>(form, "ShiftDownBButton"));
    auto* slideA = Control<display::TVerticalSlideLyra>(form, "VerticalSlideA");
    auto* slideB = Control<display::TVerticalSlideLyra>(form, "VerticalSlideB");
    shifts.SetVerticalSlideA(slideA);
    shifts.SetVerticalSlideB(slideB);
    shifts.SetTimer(p.Timer1);
    shifts.SetControlGroup(core::kGroupVerticalShifts);
    shifts.SetVirtualScope(&scope);
    // The knobs' travel follows the slides' height; code 5 then moves the knobs.
    auto applyBarHeights = [slideA, slideB](const MainFormLayout& layout) {
        if (slideA) slideA->SetBarHeight(layout.slideBarHeightA);
        if (slideB) slideB->SetBarHeight(layout.slideBarHeightB);
    };
    applyBarHeights(form.Layout());
    form.SetLayoutListener(applyBarHeights);

    controls::TChannelControlsLyraRM& channels = p.ChannelControlsLyraRM1;
    channels.SetChannelButtonA(Control<TOnOffButtonLyra>(form, "ChannelAButton"));
    channels.SetChannelButtonB(Control<TOnOffButtonLyra>(form, "ChannelBButton"));
    channels.SetVirtualScope(&scope);

    p.SaveDialog = new QFileDialog(&form);
    p.SaveDialog->setObjectName("SaveDialog");
    controls::TOpenSaveControlsLyraRM& save = p.OpenSaveControlsLyraRM1;
    save.SetSaveFileEdit(Control<QLineEdit>(form, "SaveFileEdit"));
    save.SetSaveButton(Control<TOnOffButtonLyra>(form, "SaveButton"));
    save.SetCLFButton(Control<TOnOffButtonLyra>(form, "CLFButton"));
    save.SetSaveFileBrowse(Control<QToolButton>(form, "BrowseButton"));
    save.SetSaveDialog(p.SaveDialog);
    save.SetMessageBoxService(&messages);
    save.SetVirtualScope(&scope);
    scope.SetFileSizeLabel(Control<TUnitValueLabel>(form, "RecordSizeLabel"));
    scope.SetLostDataLabel(Control<display::TLostDataLabel>(form, "LostDataLabel"));
    scope.ShowLostDataMarks();

    p.TriggerControlsLyraRM1.SetVirtualScope(&scope);

    controls::TMeasurementRecordControlsLyraRM& record = p.MeasurementRecordControlsLyraRM1;
    record.SetMeasurementStart(Control<TOnOffButtonLyra>(form, "StartButton"));
    record.SetMeasurementStop(Control<TOnOffButtonLyra>(form, "StopButton"));
    record.SetRecordTriggered(Control<TOnOffButtonLyra>(form, "TriggeredButton"));
    record.SetRecordFree(Control<TOnOffButtonLyra>(form, "FreeButton"));
    record.SetRecordDefined(Control<TOnOffButtonLyra>(form, "DefinedButton"));
    record.SetRecordContinuos(Control<TOnOffButtonLyra>(form, "ContinuousButton"));
    record.SetRecordTimeLength(Control<controls::TLongerTimeEditLyraRM>(form, "LengthEdit"));
    record.SetMessageBoxService(&messages);
    record.SetVirtualScope(&scope);

    controls::TModeDisplayLyraRM& mode = p.ModeDisplayLyraRM1;
    mode.SetBeamFinder(Control<TOnOffButtonLyra>(form, "BFButton"));
    mode.SetLineModeDisplay(Control<TOnOffButtonLyra>(form, "LineButton"));
    mode.SetEKGModeDisplay(Control<TOnOffButtonLyra>(form, "RewButton"));
    mode.SetRollModeDisplay(Control<TOnOffButtonLyra>(form, "RollButton"));
    mode.SetDisplayButton(Control<TOnOffButtonLyra>(form, "DisplayButton"));
    mode.SetGridButton(Control<TOnOffButtonLyra>(form, "GridButton"));
    mode.SetGridScroll(Control<QScrollBar>(form, "GridBrightnessBar"));
    mode.SetVirtualScope(&scope);

    p.SweepControlsLyraRM1.SetVirtualScope(&scope);
    p.TimeBaseControlsLyraRM1.SetVirtualScope(&scope);
    p.ArmControlsLyraRM1.SetVirtualScope(&scope);

    form.ApplyHints();
}

void MainFormComponents::InitializeApplication() { parts_->VirtualScopeLyraRM1.InitializeApplication(); }

core::TVirtualScopeLyraRM& MainFormComponents::VirtualScopeLyraRM1() { return parts_->VirtualScopeLyraRM1; }

core::TVirtualDriverLyraRM& MainFormComponents::VirtualDriverLyraRM1() { return parts_->VirtualDriverLyraRM1; }

TMainMenu& MainFormComponents::MainMenu1() { return *parts_->MainMenu1; }

}  // namespace rollmode::shell
