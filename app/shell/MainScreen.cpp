#include "MainScreen.h"

#include <array>
#include <clocale>
#include <utility>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QLocale>
#include <QScreen>
#include <QScrollBar>
#include <QToolButton>

#include "ChannelIcon.h"
#include "ChannelIndicationButtonLyra.h"
#include "LongerTimeEditLyraRM.h"
#include "LostDataLabel.h"
#include "OnOffButtonLyra.h"
#include "QtApplicationControl.h"
#include "QtIndicatorLamp.h"
#include "ResourceStringsLyraRM.h"
#include "TraceGlyphButtonLyra.h"
#include "UnitValueFormat.h"
#include "UnitValueLabel.h"
#include "VerticalSlideLyra.h"
#include "VoltageValueEditLyra.h"

namespace rollmode::shell {
namespace {

constexpr int kInitialWidth = 824;
constexpr int kInitialHeight = 600;
constexpr int kMinimumWidth = 800;
constexpr int kMinimumHeight = 600;

// Device model index 0..5 to the digit in the caption.
constexpr std::array<char, 6> kModelDigits = {'1', '2', '3', '4', '5', '6'};

struct HintEntry {
    const char* objectName;
    const char* hint;
};

// Hints by control, whichever control group builds the control.
constexpr HintEntry kHints[] = {
    {"ChannelAButton", strings::kHintChannelA},
    {"ChannelBButton", strings::kHintChannelB},
    {"BFButton", strings::kHintBeamFinder},
    {"LineButton", strings::kHintLineMode},
    {"RewButton", strings::kHintCardiogram},
    {"RollButton", strings::kHintRolling},
    {"DisplayButton", strings::kHintDisplay},
    {"AcDcAButton", strings::kHintAcDcA},
    {"AcDcBButton", strings::kHintAcDcB},
    {"ProbeAButton", strings::kHintProbeA},
    {"ProbeBButton", strings::kHintProbeB},
    {"GroundAButton", strings::kHintGroundA},
    {"GroundBButton", strings::kHintGroundB},
    {"MinimumButton", strings::kHintMinimums},
    {"MaximumButton", strings::kHintMaximums},
    {"AverageButton", strings::kHintAverages},
    {"CalcButton", strings::kHintCalc},
    {"SingleButton", strings::kHintSingle},
    {"ClearScreenButton", strings::kHintClearScreen},
    {"ShiftUpAButton", strings::kHintShiftUpA},
    {"ShiftUpBButton", strings::kHintShiftUpB},
    {"ShiftDownAButton", strings::kHintShiftDownA},
    {"ShiftDownBButton", strings::kHintShiftDownB},
    {"RangeDownAButton", strings::kHintRangeDownA},
    {"RangeDownBButton", strings::kHintRangeDownB},
    {"RangeUpAButton", strings::kHintRangeUpA},
    {"RangeUpBButton", strings::kHintRangeUpB},
    {"BrowseButton", strings::kHintBrowse},
    {"RecordSizeLabel", strings::kHintRecordSize},
    {"SaveButton", strings::kHintSaving},
    {"GridBrightnessBar", strings::kHintGridBrightness},
    {"GridButton", strings::kHintGrid},
    {"SMPScrollBar", strings::kHintSamplingRate},
    {"DSPScrollBar", strings::kHintDisplayRate},
    {"TriggerAButton", strings::kHintTriggerA},
    {"TriggerBButton", strings::kHintTriggerB},
    {"TriggerUnderAButton", strings::kHintUnderOver},
    {"TriggerUnderBButton", strings::kHintUnderOver},
    {"TriggerLevelAEdit", strings::kHintTriggerThreshold},
    {"TriggerLevelBEdit", strings::kHintTriggerThreshold},
    {"StartButton", strings::kHintStart},
    {"StopButton", strings::kHintStop},
    {"TriggeredButton", strings::kHintTriggered},
    {"FreeButton", strings::kHintFree},
    {"DefinedButton", strings::kHintDefined},
    {"ContinuousButton", strings::kHintContinuous},
    {"LengthEdit", strings::kLabelLength},
    {"LostDataLabel", strings::kHintDataLost},
};

// Texts set at creation, by control.
constexpr HintEntry kTexts[] = {
    {"DisplayButton", strings::kButtonDisplay},
    {"SizeCaptionLabel", strings::kLabelSize},
    {"LengthCaptionLabel", strings::kLabelLength},
    {"InactiveDispLabel", strings::kDisplayOff},
};

// Swallows tool tips while the hints are switched off.
class HintFilter : public QObject {
public:
    HintFilter(QObject* parent, const bool& enabled) : QObject(parent), enabled_(enabled) {}
    bool eventFilter(QObject*, QEvent* event) override {
        return event->type() == QEvent::ToolTip && !enabled_;
    }

private:
    const bool& enabled_;
};

void SetGeometry(QWidget* widget, const PanelRect& r) {
    if (widget != nullptr) {
        widget->setGeometry(r.left, r.top, r.width, r.height);
    }
}

// A control of the panels at its place in the form.
template <typename T>
T* Place(QWidget* parent, const char* objectName, int left, int top, int width, int height) {
    auto* widget = new T(parent);
    widget->setObjectName(QString::fromLatin1(objectName));
    widget->setGeometry(left, top, width, height);
    return widget;
}

controls::TOnOffButtonLyra* OnOff(QWidget* parent, const char* objectName, const char* text, int left, int top,
                                  int width, int height) {
    auto* button = Place<controls::TOnOffButtonLyra>(parent, objectName, left, top, width, height);
    button->setText(QString::fromLatin1(text));
    return button;
}

display::TChannelIndicationButtonLyra* Indication(QWidget* parent, const char* objectName, int left, int top) {
    return Place<display::TChannelIndicationButtonLyra>(parent, objectName, left, top, 38, 22);
}

// The coupling glyph: a sine over a straight line (pressed is DC).
QIcon CouplingGlyph() {
    QPixmap pixmap(16, 12);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1.2));
    QPainterPath sine;
    sine.moveTo(1, 4);
    sine.cubicTo(4, -1, 5, -1, 8, 4);
    sine.cubicTo(11, 9, 12, 9, 15, 4);
    painter.drawPath(sine);
    painter.drawLine(QPointF(1, 10), QPointF(15, 10));
    return QIcon(pixmap);
}

QLabel* Caption(QWidget* parent, const char* objectName, const char* text, int left, int top, int width, int height) {
    auto* label = Place<QLabel>(parent, objectName, left, top, width, height);
    // Some captions later show settings values (the probe texts): never as markup.
    label->setTextFormat(Qt::PlainText);
    label->setText(QString::fromLatin1(text));
    return label;
}

}  // namespace

std::string BuildMainCaption(bool demoMode, std::int32_t deviceModelIndex) {
    std::string caption = strings::kCaptionPrefix;
    if (demoMode) {
        caption += strings::kCaptionDemoModel;
        caption += strings::kCaptionDemoSuffix;
    } else if (deviceModelIndex >= 0 && deviceModelIndex < static_cast<std::int32_t>(kModelDigits.size())) {
        caption += kModelDigits[static_cast<std::size_t>(deviceModelIndex)];
    }
    return caption;
}

void ForceDecimalPoint() {
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_NUMERIC, "C");
}

TMainForm::TMainForm(QtApplicationControl* control, QWidget* parent) : QMainWindow(parent), control_(control) {
    setObjectName("MainForm");
    setWindowTitle(QString::fromLatin1(strings::kMainFormCaption));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);

    auto* client = new QWidget(this);
    client->setObjectName("ClientArea");
    setCentralWidget(client);

    BuildInfoPanels();
    BuildChannelsPanel();
    BuildModePanel();
    BuildGridControls();
    BuildSweepPanel();
    BuildSavePanel();
    BuildTimeBasePanel();
    BuildRecordPanel();
    BuildTriggerPanel();
    BuildArmPanel();
    BuildSourcePanel();
    BuildVerticalShifts();
    BuildDensityPanel();
    BuildScreenArea();
    PlaceWidgets();

    setMinimumSize(kMinimumWidth, kMinimumHeight);
    resize(kInitialWidth, kInitialHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.left() + (area.width() - kInitialWidth) / 2, area.top() + (area.height() - kInitialHeight) / 2);
    }
    // The client area's own resizes drive the layout: the menu bar, when present,
    // is not part of it.
    client->installEventFilter(this);
    FormCreate();
}

TMainForm::~TMainForm() {
    // The filter reads this window's hint switch: it goes first.
    delete hintFilter_;
}

void TMainForm::FormCreate() {
    ForceDecimalPoint();
    ApplyHints();
    hintFilter_ = new HintFilter(this, hintsEnabled_);
    qApp->installEventFilter(hintFilter_);
}

void TMainForm::AttachCore(MainFormCore core) {
    core_ = std::move(core);
    coreAttached_ = true;
}

void TMainForm::DetachCore() {
    core_ = MainFormCore{};
    coreAttached_ = false;
}

void TMainForm::ApplyHints() {
    for (const HintEntry& entry : kHints) {
        if (auto* widget = findChild<QWidget*>(QString::fromLatin1(entry.objectName))) {
            widget->setToolTip(QString::fromLatin1(entry.hint));
        }
    }
    for (const HintEntry& entry : kTexts) {
        const QString name = QString::fromLatin1(entry.objectName);
        if (auto* label = findChild<QLabel*>(name)) {
            label->setText(QString::fromLatin1(entry.hint));
        } else if (auto* button = findChild<QToolButton*>(name)) {
            button->setText(QString::fromLatin1(entry.hint));
        }
    }
    if (verticalShifts_ != nullptr) {
        verticalShifts_->setTitle(QString::fromLatin1(strings::kPanelVertical));
    }
}

void TMainForm::SetHintsEnabled(bool enabled) { hintsEnabled_ = enabled; }

void TMainForm::SetMenuCheckItems(QAction* toolTipHelp, QAction* highPriority) {
    toolTipHelpItem_ = toolTipHelp;
    highPriorityItem_ = highPriority;
}

void TMainForm::HandleNotification(int code, int& group) {
    (void)group;
    const bool demo = core_.demoMode ? core_.demoMode() : false;
    const std::int32_t index = core_.deviceModelIndex ? core_.deviceModelIndex() : -1;
    const QString caption = QString::fromStdString(BuildMainCaption(demo, index));
    if (windowTitle() != caption) {
        setWindowTitle(caption);
    }
    if (code == 1 || code == 2) {
        const bool help = core_.showComixHelp ? core_.showComixHelp() : false;
        SetHintsEnabled(help);
        if (toolTipHelpItem_ != nullptr) toolTipHelpItem_->setChecked(help);
        if (highPriorityItem_ != nullptr) {
            highPriorityItem_->setChecked(core_.boostThread ? core_.boostThread() : false);
        }
    }
    if (code == 3) {
        // Taken out first: the call may end this very registration.
        auto unregister = std::move(core_.unregisterListener);
        if (unregister) unregister();
        // The shutdown hook stays: the window may still be closing.
        auto shutdown = std::move(core_.shutdownApplication);
        core_ = MainFormCore{};
        core_.shutdownApplication = std::move(shutdown);
        coreAttached_ = false;
    }
}

void TMainForm::FormResize() {
    if (control_ != nullptr && control_->TerminationRequested()) {
        return;
    }
    const QWidget* client = centralWidget();
    ApplyFormResize(layout_, client->width(), client->height());
    PlaceWidgets();
    if (layoutListener_) layoutListener_(layout_);
    if (core_.notifyListeners) core_.notifyListeners(5, kControlGroup);
}

void TMainForm::PlaceWidgets() {
    SetGeometry(channels_, layout_.channels);
    SetGeometry(mode_, layout_.mode);
    SetGeometry(gridButton_, layout_.gridButton);
    SetGeometry(brightnessBar_, layout_.brightnessBar);
    SetGeometry(sweepPanel_, layout_.sweepPanel);
    SetGeometry(savePanel_, layout_.savePanel);
    SetGeometry(timeBasePanel_, layout_.timeBasePanel);
    SetGeometry(recordPanel_, layout_.recordPanel);
    SetGeometry(triggerPanel_, layout_.triggerPanel);
    SetGeometry(armPanel_, layout_.armPanel);
    SetGeometry(infoPanelA_, layout_.infoPanelA);
    SetGeometry(infoPanelB_, layout_.infoPanelB);
    SetGeometry(source_, layout_.source);
    SetGeometry(verticalShifts_, layout_.verticalShifts);
    SetGeometry(density_, layout_.density);
    SetGeometry(upButtonA_, layout_.upButtonA);
    SetGeometry(upButtonB_, layout_.upButtonB);
    SetGeometry(slideA_, layout_.slideA);
    SetGeometry(slideB_, layout_.slideB);
    SetGeometry(downButtonA_, layout_.downButtonA);
    SetGeometry(downButtonB_, layout_.downButtonB);
    SetGeometry(screenHost_, layout_.screens);
    SetGeometry(inactiveDispLabel_, layout_.inactiveDispLabel);
    if (screenHost_ != nullptr) {
        for (QWidget* screen : screenHost_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            screen->setGeometry(0, 0, layout_.screens.width, layout_.screens.height);
        }
    }
    // The information panel's contents keep their distance from its right edge.
    if (infoPanelA_ != nullptr && layout_.infoPanelAChildShift != 0) {
        for (QWidget* child : infoPanelA_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            child->move(child->x() + layout_.infoPanelAChildShift, child->y());
        }
        layout_.infoPanelAChildShift = 0;
    }
}

void TMainForm::FormClose() {
    if (shutdownDone_) {
        return;
    }
    shutdownDone_ = true;
    if (core_.shutdownApplication) {
        core_.shutdownApplication();
    }
}

void TMainForm::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == centralWidget() && event->type() == QEvent::Resize) {
        FormResize();
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::ActivateFromOtherInstance() {
    if (isMinimized()) {
        showNormal();
    }
    raise();
    activateWindow();
}

QGroupBox* TMainForm::Panel(const QString& objectName) const { return findChild<QGroupBox*>(objectName); }

// --- Panel builders ---------------------------------------------------------------

QGroupBox* TMainForm::MakePanel(const char* objectName, const char* caption, const PanelRect& size) {
    auto* panel = new QGroupBox(QString::fromLatin1(caption), centralWidget());
    panel->setObjectName(QString::fromLatin1(objectName));
    panel->resize(size.width, size.height);
    return panel;
}

QToolButton* TMainForm::MakeButton(QWidget* parent, const char* objectName, const char* text, int left, int top,
                                   int width, int height) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setText(QString::fromLatin1(text));
    button->setCheckable(true);
    button->setGeometry(left, top, width, height);
    return button;
}

void TMainForm::BuildInfoPanels() {
    // A group box without caption: the panel's frame, which the panel component holds.
    auto makeInfo = [this](const char* name, const PanelRect& size) {
        auto* panel = new QGroupBox(centralWidget());
        panel->setObjectName(QString::fromLatin1(name));
        panel->resize(size.width, size.height);
        return panel;
    };
    infoPanelA_ = makeInfo("InfoPanelA", layout_.infoPanelA);
    infoPanelB_ = makeInfo("InfoPanelB", layout_.infoPanelB);
    // One strip per channel. Panel A's contents keep their distance from its right
    // edge, so they start where panel B's narrower width would end.
    struct Names {
        const char *channel, *icon, *color, *probe, *acdc, *density, *voltageCaption, *voltage, *trigger;
    };
    auto fill = [](QWidget* panel, const char* letter, const Names& n, int o) {
        QLabel* channel = Caption(panel, n.channel, letter, o + 6, 4, 16, 20);
        QFont bold = channel->font();
        bold.setBold(true);
        bold.setPixelSize(16);
        channel->setFont(bold);
        auto* swatch = Place<QFrame>(panel, n.color, o + 24, 8, 12, 12);
        swatch->setFrameShape(QFrame::Box);
        swatch->setAutoFillBackground(true);
        Caption(panel, n.probe, "", o + 42, 6, 48, 16);
        Caption(panel, n.acdc, "", o + 92, 6, 24, 16);
        auto* density = Place<display::TUnitValueLabel>(panel, n.density, o + 120, 6, 84, 16);
        density->SetControlType(4);
        Caption(panel, n.voltageCaption, strings::kLiveVoltageCaption, o + 6, 32, 30, 16);
        auto* voltage = Place<display::TUnitValueLabel>(panel, n.voltage, o + 42, 32, 84, 16);
        voltage->SetControlType(2);
        voltage->SetMouseSensitive(true);
        auto* trigger = Place<display::TUnitValueLabel>(panel, n.trigger, o + 140, 32, 84, 16);
        trigger->SetControlType(2);
        // The channel icon closes the second row, after the trigger level; the panel draws it.
        Place<QLabel>(panel, n.icon, o + 230, 32, display::kChannelIconSize, display::kChannelIconSize);
    };
    const int offsetA = layout_.infoPanelA.width - layout_.infoPanelB.width;
    fill(infoPanelA_, strings::kButtonA,
         {"InfoChannelA", "InfoIconA", "InfoColoA", "InfoProbeA", "InfoAcdcA", "DensityValueA", "TimeVoltageCaptionA",
          "TimeVoltageA", "TriggerVoltageA"},
         offsetA);
    fill(infoPanelB_, strings::kButtonB,
         {"InfoChannelB", "InfoIconB", "InfoColorB", "InfoProbeB", "InfoAcdcB", "DensityValueB", "TimeVoltageCaptionB",
          "TimeVoltageB", "TriggerVoltageB"},
         0);
    // Lost data, right of channel B's range: blank until the stream carries a loss mark.
    // Fixed in size and inside the panel at the smallest window, so it never moves anything.
    Place<display::TLostDataLabel>(infoPanelB_, "LostDataLabel", 206, 6, 103, 16);
}

void TMainForm::BuildChannelsPanel() {
    channels_ = MakePanel("Channels", strings::kPanelChannels, layout_.channels);
    OnOff(channels_, "ChannelAButton", strings::kButtonA, 8, 18, 34, 30);
    OnOff(channels_, "ChannelBButton", strings::kButtonB, 44, 18, 34, 30);
}

void TMainForm::BuildModePanel() {
    mode_ = MakePanel("Mode", strings::kPanelMode, layout_.mode);
    OnOff(mode_, "BFButton", strings::kButtonBeamFinder, 6, 16, 36, 22);
    OnOff(mode_, "LineButton", strings::kButtonLine, 44, 16, 36, 22);
    OnOff(mode_, "RewButton", strings::kButtonRew, 6, 40, 36, 22);
    OnOff(mode_, "RollButton", strings::kButtonRoll, 44, 40, 36, 22);
    OnOff(mode_, "DisplayButton", strings::kButtonDisplay, 6, 64, 74, 22);
}

void TMainForm::BuildGridControls() {
    gridButton_ = OnOff(centralWidget(), "GridButton", strings::kButtonGrid, 0, 0, layout_.gridButton.width,
                        layout_.gridButton.height);
    brightnessBar_ = new QScrollBar(Qt::Horizontal, centralWidget());
    brightnessBar_->setObjectName("GridBrightnessBar");
    brightnessBar_->setRange(25, 100);
    brightnessBar_->setPageStep(5);
    brightnessBar_->resize(layout_.brightnessBar.width, layout_.brightnessBar.height);
}

void TMainForm::BuildSweepPanel() {
    sweepPanel_ = MakePanel("SweepPanel", strings::kPanelSweep, layout_.sweepPanel);
    auto onOff = [this](QWidget* button, const char* name, const char* text, int left, int top, int width) {
        button->setObjectName(QString::fromLatin1(name));
        if (auto* b = qobject_cast<QToolButton*>(button)) b->setText(QString::fromLatin1(text));
        button->setGeometry(left, top, width, 22);
    };
    onOff(new controls::TOnOffButtonLyra(sweepPanel_), "SingleButton", strings::kButtonSingle, 4, 16, 38);
    onOff(new controls::TOnOffButtonLyra(sweepPanel_), "CalcButton", strings::kButtonCalc, 44, 16, 38);
    // The trace buttons stand maximum, average, minimum from left to right.
    using Trace = controls::TTraceGlyphButtonLyra::Trace;
    onOff(new controls::TTraceGlyphButtonLyra(Trace::Maximum, sweepPanel_), "MaximumButton", "", 4, 42, 26);
    onOff(new controls::TTraceGlyphButtonLyra(Trace::Average, sweepPanel_), "AverageButton", "", 30, 42, 26);
    onOff(new controls::TTraceGlyphButtonLyra(Trace::Minimum, sweepPanel_), "MinimumButton", "", 56, 42, 26);
    onOff(new controls::TOnOffButtonLyra(sweepPanel_), "ClearScreenButton", strings::kButtonClearScreen, 4, 68, 78);
}

void TMainForm::BuildSavePanel() {
    savePanel_ = MakePanel("SavePanel", strings::kPanelSave, layout_.savePanel);
    auto* edit = Place<QLineEdit>(savePanel_, "SaveFileEdit", 6, 16, 88, 20);
    edit->setText(QString::fromLatin1(strings::kDefaultRecordName));
    auto* browse = Place<QToolButton>(savePanel_, "BrowseButton", 96, 16, 20, 20);
    browse->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    browse->setAutoRaise(true);
    OnOff(savePanel_, "CLFButton", strings::kButtonClearFile, 6, 40, 52, 22);
    OnOff(savePanel_, "SaveButton", strings::kButtonSave, 62, 40, 54, 22);
    Caption(savePanel_, "SizeCaptionLabel", strings::kLabelSize, 6, 72, 28, 14);
    auto* size = Place<display::TUnitValueLabel>(savePanel_, "RecordSizeLabel", 36, 72, 80, 14);
    size->SetControlType(3);
}

void TMainForm::BuildTimeBasePanel() {
    timeBasePanel_ = MakePanel("TimeBasePanel", strings::kPanelTimeBase, layout_.timeBasePanel);
    // The caption's "SMP" and "DSP" stand over the two bars.
    auto makeBar = [this](const char* name, int maximum, int pageStep, int left) {
        auto* bar = new QScrollBar(Qt::Horizontal, timeBasePanel_);
        bar->setObjectName(QString::fromLatin1(name));
        bar->setRange(0, maximum);
        bar->setPageStep(pageStep);
        bar->setFocusPolicy(Qt::TabFocus);
        // A scroll bar's keys and wheel run the other way by default; these bars are
        // rate settings, where the right arrow and the wheel turned up mean faster.
        bar->setInvertedControls(false);
        bar->setGeometry(left, 18, 86, 16);
        return bar;
    };
    makeBar("SMPScrollBar", 15, 1, 6);  // limited to 14 at start-up
    makeBar("DSPScrollBar", 16, 5, 101);
    auto makeReadOut = [this](const char* name, int controlType, int left, int top) {
        auto* label = new display::TUnitValueLabel(timeBasePanel_);
        label->setObjectName(QString::fromLatin1(name));
        label->SetControlType(controlType);
        label->setGeometry(left, top, 86, 16);
    };
    makeReadOut("SamplesPerSecond", display::kUnitSamplesPerSecond, 6, 40);
    makeReadOut("SecondPerDivider", display::kUnitSecondsPerDivision, 101, 40);
    makeReadOut("DSP_SMP", display::kUnitSampleCount, 6, 62);
    makeReadOut("FreqPerDiv", display::kUnitHertzPerDivision, 101, 62);
}

void TMainForm::BuildRecordPanel() {
    recordPanel_ = MakePanel("RecordPanel", strings::kPanelRecord, layout_.recordPanel);
    OnOff(recordPanel_, "DefinedButton", strings::kButtonDefined, 6, 16, 42, 22);
    OnOff(recordPanel_, "ContinuousButton", strings::kButtonContinuous, 50, 16, 42, 22);
    OnOff(recordPanel_, "TriggeredButton", strings::kButtonTriggered, 96, 16, 40, 22);
    OnOff(recordPanel_, "FreeButton", strings::kButtonFree, 138, 16, 42, 22);
    OnOff(recordPanel_, "StartButton", strings::kButtonStart, 6, 42, 86, 24);
    OnOff(recordPanel_, "StopButton", strings::kButtonStop, 96, 42, 84, 24);
    Caption(recordPanel_, "LengthCaptionLabel", strings::kLabelLength, 6, 72, 42, 16);
    Place<controls::TLongerTimeEditLyraRM>(recordPanel_, "LengthEdit", 50, 70, 130, 20);
}

namespace {
// One channel's row of the trigger and ARM panels: source switch, under/over
// button (bold caption) and level edit.
void MakeLevelRow(QWidget* panel, const char* sourceName, const char* sourceText, const char* underName,
                  const char* editName, int top) {
    auto* source = new controls::TOnOffButtonLyra(panel);
    source->setObjectName(QString::fromLatin1(sourceName));
    source->setText(QString::fromLatin1(sourceText));
    source->setGeometry(6, top, 30, 22);
    auto* under = new QToolButton(panel);
    under->setObjectName(QString::fromLatin1(underName));
    under->setText(QString::fromLatin1(strings::kCaptionOver));
    QFont bold = under->font();
    bold.setBold(true);
    under->setFont(bold);
    under->setGeometry(38, top, 22, 22);
    if (editName != nullptr) {
        auto* edit = new controls::TVoltageValueEditLyra(panel);
        edit->setObjectName(QString::fromLatin1(editName));
        edit->setGeometry(62, top + 1, 77, 20);
    }
}
}  // namespace

void TMainForm::BuildTriggerPanel() {
    triggerPanel_ = MakePanel("TriggerPanel", strings::kPanelTrigger, layout_.triggerPanel);
    MakeLevelRow(triggerPanel_, "TriggerAButton", strings::kButtonA, "TriggerUnderAButton", "TriggerLevelAEdit", 16);
    MakeLevelRow(triggerPanel_, "TriggerBButton", strings::kButtonB, "TriggerUnderBButton", "TriggerLevelBEdit", 42);
    auto* relation = new QToolButton(triggerPanel_);
    relation->setObjectName("TriggerRelationButton");
    relation->setText(QString::fromLatin1(strings::kCaptionRelationOr));
    relation->setGeometry(6, 70, 54, 20);
    auto* caption = new QLabel(QString::fromLatin1(strings::kLabelTriggered), triggerPanel_);
    caption->setObjectName("TriggeredCaptionLabel");
    caption->setGeometry(98, 74, 24, 14);
    triggerLamp_ = new QtIndicatorLamp(triggerPanel_);
    triggerLamp_->setObjectName("TriggerLamp");
    triggerLamp_->setGeometry(124, 75, 15, 12);
}

void TMainForm::BuildArmPanel() {
    armPanel_ = MakePanel("ARMPanel", strings::kPanelArm, layout_.armPanel);
    MakeLevelRow(armPanel_, "ArmAButton", strings::kButtonA, "ArmUnderAButton", "ArmLevelAEdit", 16);
    MakeLevelRow(armPanel_, "ArmBButton", strings::kButtonB, "ArmUnderBButton", "ArmLevelBEdit", 42);
    MakeLevelRow(armPanel_, "ArmExternalButton", strings::kButtonE, "ArmUnderExternalButton", nullptr, 68);
    armPanel_->findChild<QToolButton*>("ArmUnderExternalButton")
        ->setText(QString::fromLatin1(strings::kCaptionExternalHigh));
    auto* caption = new QLabel(QString::fromLatin1(strings::kLabelArm), armPanel_);
    caption->setObjectName("ArmCaptionLabel");
    caption->setGeometry(98, 74, 24, 14);
    armLamp_ = new QtIndicatorLamp(armPanel_);
    armLamp_->setObjectName("ArmLamp");
    armLamp_->setGeometry(124, 75, 15, 12);
}

void TMainForm::BuildSourcePanel() {
    source_ = MakePanel("Source", strings::kPanelSource, layout_.source);
    for (const char* name : {"ProbeAButton", "ProbeBButton"}) {
        auto* probe = Indication(source_, name, name[5] == 'A' ? 4 : 44, 16);
        QFont small = probe->font();
        small.setBold(true);
        small.setPixelSize(9);
        probe->setFont(small);
    }
    const QIcon coupling = CouplingGlyph();
    for (const char* name : {"AcDcAButton", "AcDcBButton"}) {
        auto* acdc = Indication(source_, name, name[4] == 'A' ? 4 : 44, 40);
        acdc->setIcon(coupling);
        acdc->setCheckable(true);
    }
    for (const char* name : {"GroundAButton", "GroundBButton"}) {
        auto* ground = Indication(source_, name, name[6] == 'A' ? 4 : 44, 64);
        ground->setText(QString::fromLatin1(strings::kButtonGround));
        ground->setCheckable(true);
    }
}

void TMainForm::BuildVerticalShifts() {
    verticalShifts_ = MakePanel("VerticalShifts", strings::kPanelVertical, layout_.verticalShifts);
    auto makeButton = [this](const char* name, Qt::ArrowType arrow) {
        auto* button = Place<display::TChannelIndicationButtonLyra>(verticalShifts_, name, 0, 0, 36, 22);
        button->setArrowType(arrow);
        button->SetFlat(true);
        return button;
    };
    upButtonA_ = makeButton("ShiftUpAButton", Qt::UpArrow);
    upButtonB_ = makeButton("ShiftUpBButton", Qt::UpArrow);
    downButtonA_ = makeButton("ShiftDownAButton", Qt::DownArrow);
    downButtonB_ = makeButton("ShiftDownBButton", Qt::DownArrow);
    slideA_ = Place<display::TVerticalSlideLyra>(verticalShifts_, "VerticalSlideA", 0, 0, 25, 100);
    slideB_ = Place<display::TVerticalSlideLyra>(verticalShifts_, "VerticalSlideB", 0, 0, 25, 100);
}

void TMainForm::BuildDensityPanel() {
    density_ = MakePanel("Density", strings::kPanelRange, layout_.density);
    Indication(density_, "RangeUpAButton", 4, 16)->setArrowType(Qt::UpArrow);
    Indication(density_, "RangeUpBButton", 44, 16)->setArrowType(Qt::UpArrow);
    Indication(density_, "RangeDownAButton", 4, 42)->setArrowType(Qt::DownArrow);
    Indication(density_, "RangeDownBButton", 44, 42)->setArrowType(Qt::DownArrow);
}

void TMainForm::BuildScreenArea() {
    screenHost_ = new QWidget(centralWidget());
    // No background of its own: with both screens hidden the window shows through,
    // and the "Display off" label reads on it.
    screenHost_->setObjectName("ScreenHost");

    inactiveDispLabel_ = new QLabel(QString::fromLatin1(strings::kDisplayOff), centralWidget());
    inactiveDispLabel_->setObjectName("InactiveDispLabel");
    inactiveDispLabel_->setAlignment(Qt::AlignCenter);
    QFont font = inactiveDispLabel_->font();
    font.setPixelSize(21);
    inactiveDispLabel_->setFont(font);
    inactiveDispLabel_->resize(layout_.inactiveDispLabel.width, layout_.inactiveDispLabel.height);
    inactiveDispLabel_->setVisible(false);
    inactiveDispLabel_->raise();
}

}  // namespace rollmode::shell
