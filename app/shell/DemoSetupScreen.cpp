#include "DemoSetupScreen.h"

#include <cmath>
#include <limits>

#include <QLabel>
#include <QPushButton>

#include "EditFormats.h"
#include "LabelFit.h"
#include "NotificationCodes.h"
#include "NumEditLyra.h"
#include "ResourceStringsLyraRM.h"
#include "VirtualScopeLyraRM.h"
#include "ports/MessageBoxService.h"

namespace rollmode::shell {

std::optional<std::int32_t> RoundDemoValue(double value) {
    if (std::isnan(value)) return std::nullopt;
    constexpr double kLowest = std::numeric_limits<std::int32_t>::min();
    constexpr double kHighest = std::numeric_limits<std::int32_t>::max();
    if (value <= kLowest) return std::numeric_limits<std::int32_t>::min();
    if (value >= kHighest) return std::numeric_limits<std::int32_t>::max();
    // nearbyint rounds by the current mode, which the program never leaves: to nearest, halves to even.
    return static_cast<std::int32_t>(std::nearbyint(value));
}

namespace {
constexpr int kEditWidth = 41;
constexpr int kEditHeight = 21;
constexpr int kColumnA = 58;
constexpr int kColumnB = 122;
constexpr int kUnitLeft = 168;
}  // namespace

TDemoSetupForm::TDemoSetupForm(core::MessageBoxService& messages, QWidget* parent)
    : QDialog(parent), messages_(messages) {
    setObjectName("DemoSetupForm");
    setFixedSize(kClientWidth, kClientHeight);
    // The main window's face: the positions are laid out for it.
    QFont face(QStringLiteral("MS Sans Serif"));
    face.setPixelSize(11);
    setFont(face);

    auto makeLabel = [this](const char* name, int left, int top, const char* text = "") {
        auto* label = new QLabel(QString::fromLatin1(text), this);
        label->setObjectName(QString::fromLatin1(name));
        label->move(left, top);
        label->adjustSize();
        return label;
    };
    channelALabel_ = makeLabel("ChannelALabel", 56, 8);
    channelBLabel_ = makeLabel("ChannelBLabel", 120, 8);
    amplitudeLabel_ = makeLabel("AmplitudeLabel", 7, 32);
    periodLabel_ = makeLabel("PeriodLabel", 7, 56);
    noiseLabel_ = makeLabel("NoiseLabel", 7, 79);

    edits_[kAmpA] = MakeEdit("AmpChannelA", kColumnA, 24);
    edits_[kAmpB] = MakeEdit("AmpChannelB", kColumnB, 24);
    makeLabel("AmpUnitLabel", kUnitLeft, 28, strings::kDemoUnitMilliVolt);
    edits_[kPeriodA] = MakeEdit("PeriodChannelA", kColumnA, 48);
    edits_[kPeriodB] = MakeEdit("PeriodChannelB", kColumnB, 48);
    makeLabel("PeriodUnitLabel", kUnitLeft, 52, strings::kDemoUnitMilliSecond);
    edits_[kNoiseA] = MakeEdit("NoiseChannelA", kColumnA, 72);
    edits_[kNoiseB] = MakeEdit("NoiseChannelB", kColumnB, 72);
    makeLabel("NoiseUnitLabel", kUnitLeft, 76, strings::kDemoUnitMilliVolt);
    // Tab runs along the rows as the edits sit.
    setTabOrder(edits_[kAmpA], edits_[kAmpB]);
    setTabOrder(edits_[kAmpB], edits_[kPeriodA]);
    setTabOrder(edits_[kPeriodA], edits_[kPeriodB]);
    setTabOrder(edits_[kPeriodB], edits_[kNoiseA]);
    setTabOrder(edits_[kNoiseA], edits_[kNoiseB]);

    button1_ = new QPushButton(QString::fromLatin1(strings::kDialogOK), this);
    button1_->setObjectName("Button1");
    button1_->setGeometry(8, 96, 75, 25);
    button1_->setDefault(true);
    button2_ = new QPushButton(QString::fromLatin1(strings::kDialogCancel), this);
    button2_->setObjectName("Button2");
    button2_->setGeometry(104, 96, 75, 25);
    button2_->setAutoDefault(false);
    connect(button1_, &QPushButton::clicked, this, &TDemoSetupForm::Button1Click);
    connect(button2_, &QPushButton::clicked, this, &TDemoSetupForm::Button2Click);

    FormCreate();
}

controls::TNumEditLyra* TDemoSetupForm::MakeEdit(const char* objectName, int left, int top) {
    auto* edit = new controls::TNumEditLyra(this);
    edit->setObjectName(QString::fromLatin1(objectName));
    edit->setGeometry(left, top, kEditWidth, kEditHeight);
    // Fractions may be typed; they are rounded when stored.
    edit->SetFloating(true);
    return edit;
}

void TDemoSetupForm::FormCreate() {
    setWindowTitle(QString::fromLatin1(strings::kDemoSetupCaption));
    amplitudeLabel_->setText(QString::fromLatin1(strings::kDemoAmplitude));
    periodLabel_->setText(QString::fromLatin1(strings::kDemoPeriod));
    noiseLabel_->setText(QString::fromLatin1(strings::kDemoNoise));
    channelALabel_->setText(QString::fromLatin1(strings::kDemoChannelA));
    channelBLabel_->setText(QString::fromLatin1(strings::kDemoChannelB));
    // Row labels up to the edits at 58, headings up to the next column.
    for (QLabel* label : {amplitudeLabel_, periodLabel_, noiseLabel_}) {
        display::FitLabelText(label, kColumnA - 7 - 2);
    }
    for (QLabel* label : {channelALabel_, channelBLabel_}) {
        display::FitLabelText(label, kColumnB - kColumnA - 2);
    }
}

void TDemoSetupForm::SetVirtualScope(core::TVirtualScopeLyraRM* scope) {
    virtualScope_ = scope;
    if (scope == nullptr) return;
    edits_[kPeriodA]->SetNumValue(scope->PeriodA());
    edits_[kPeriodB]->SetNumValue(scope->PeriodB());
    edits_[kAmpA]->SetNumValue(scope->AmplitudeA());
    edits_[kAmpB]->SetNumValue(scope->AmplitudeB());
    edits_[kNoiseA]->SetNumValue(scope->NoiseA());
    edits_[kNoiseB]->SetNumValue(scope->NoiseB());
    // The row labels carry hints only while the model's hint switch is on.
    const bool hints = scope->ShowComixHelp();
    auto hint = [hints](const char* text) { return hints ? QString::fromLatin1(text) : QString(); };
    amplitudeLabel_->setToolTip(hint(strings::kHintDemoAmplitude));
    periodLabel_->setToolTip(hint(strings::kHintDemoPeriod));
    noiseLabel_->setToolTip(hint(strings::kHintDemoNoise));
}

std::optional<std::array<std::int32_t, TDemoSetupForm::kFieldCount>> TDemoSetupForm::ReadValues() {
    std::array<std::int32_t, kFieldCount> values{};
    for (int i = 0; i < kFieldCount; ++i) {
        controls::TNumEditLyra* edit = edits_[static_cast<std::size_t>(i)];
        auto refuse = [this, edit](const std::string& message) {
            messages_.Show(message, core::MsgButtons::Ok, core::MsgIcon::Error);
            edit->setFocus();
            edit->selectAll();
            return std::nullopt;
        };
        std::optional<std::int32_t> value;
        try {
            value = RoundDemoValue(edit->NumValue());
        } catch (const controls::ConvertError& error) {
            return refuse(error.what());
        }
        if (!value) {
            // Read as a number that is none ("nan"): the same message as any text that is no number.
            const std::string pattern = strings::kNotValidFloat;
            const std::size_t at = pattern.find("%s");
            return refuse(pattern.substr(0, at) + edit->text().toStdString() + pattern.substr(at + 2));
        }
        if ((i == kPeriodA || i == kPeriodB) && *value < 1) {
            return refuse(strings::kDemoPeriodTooShort);
        }
        values[static_cast<std::size_t>(i)] = *value;
    }
    return values;
}

void TDemoSetupForm::Button1Click() {
    const auto values = ReadValues();
    if (!values) return;
    accepted_ = *values;
    accept();
}

void TDemoSetupForm::Button2Click() { reject(); }

void TDemoSetupForm::StoreValues() {
    if (virtualScope_ == nullptr || result() != QDialog::Accepted) return;
    core::TVirtualScopeLyraRM& scope = *virtualScope_;
    scope.SetPeriodA(accepted_[kPeriodA]);
    scope.SetPeriodB(accepted_[kPeriodB]);
    scope.SetAmplitudeA(accepted_[kAmpA]);
    scope.SetAmplitudeB(accepted_[kAmpB]);
    scope.SetNoiseA(accepted_[kNoiseA]);
    scope.SetNoiseB(accepted_[kNoiseB]);
    scope.NotifyListeners(core::kNotifySettingsChanged, core::kGroupScope);
}

controls::TNumEditLyra* TDemoSetupForm::Edit(const char* objectName) const {
    return findChild<controls::TNumEditLyra*>(QString::fromLatin1(objectName));
}

}  // namespace rollmode::shell
