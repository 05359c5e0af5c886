#include "ArmControlsLyraRM.h"

#include "NotificationCodes.h"
#include "ResourceStringsLyraRM.h"
#include "VirtualScopeLyraRM.h"

namespace rollmode::controls {

namespace {
QString UnderOverCaption(bool under) {
    return QString::fromLatin1(under ? strings::kCaptionUnder : strings::kCaptionOver);
}
}  // namespace

TArmControlsLyraRM::TArmControlsLyraRM(QObject* parent) : QObject(parent) {
    SetControlGroup(core::kGroupArmControls);
}

template <typename W>
void TArmControlsLyraRM::LinkButton(ControlGroupLink<W>& link, W* button, Control control) {
    link.Set(button, [this, control](W* b) {
        return connect(b, &QAbstractButton::clicked, this, [this, control] { Clicked(control); });
    });
}

void TArmControlsLyraRM::SetArmSourceA(TOnOffButtonLyra* b) { LinkButton(armSourceA_, b, Control::SourceA); }
void TArmControlsLyraRM::SetArmSourceB(TOnOffButtonLyra* b) { LinkButton(armSourceB_, b, Control::SourceB); }
void TArmControlsLyraRM::SetExternalSource(TOnOffButtonLyra* b) {
    LinkButton(externalSource_, b, Control::SourceExternal);
}
void TArmControlsLyraRM::SetTrigUnderOverA(QAbstractButton* b) { LinkButton(trigUnderOverA_, b, Control::UnderOverA); }
void TArmControlsLyraRM::SetTrigUnderOverB(QAbstractButton* b) { LinkButton(trigUnderOverB_, b, Control::UnderOverB); }
void TArmControlsLyraRM::SetTrigUnderOverExternal(QAbstractButton* b) {
    LinkButton(trigUnderOverExternal_, b, Control::UnderOverExternal);
}

void TArmControlsLyraRM::SetArmLevelEditA(TVoltageValueEditLyra* edit) {
    armLevelEditA_.Set(edit, [this](TVoltageValueEditLyra* e) {
        return connect(e, &TValueEditLyra::keyReleased, this, [this](int key) { LevelKeyReleased(true, key); });
    });
}

void TArmControlsLyraRM::SetArmLevelEditB(TVoltageValueEditLyra* edit) {
    armLevelEditB_.Set(edit, [this](TVoltageValueEditLyra* e) {
        return connect(e, &TValueEditLyra::keyReleased, this, [this](int key) { LevelKeyReleased(false, key); });
    });
}

void TArmControlsLyraRM::Clicked(Control control) {
    core::TVirtualScopeLyraRM* m = VirtualScope();
    if (m == nullptr) return;
    switch (control) {
        case Control::SourceA: m->SetARMSourceA(!m->ARMSourceA()); break;
        case Control::SourceB: m->SetARMSourceB(!m->ARMSourceB()); break;
        case Control::SourceExternal: m->SetARMSourceExternal(!m->ARMSourceExternal()); break;
        case Control::UnderOverA: m->SetARMUnderA(!m->ARMUnderA()); break;
        case Control::UnderOverB: m->SetARMUnderB(!m->ARMUnderB()); break;
        case Control::UnderOverExternal: m->SetARMUnderExternal(!m->ARMUnderExternal()); break;
    }
    m->NotifyListeners(core::kNotifySettingsChanged, ControlGroup());
}

void TArmControlsLyraRM::LevelKeyReleased(bool channelA, int key) {
    core::TVirtualScopeLyraRM* m = VirtualScope();
    if (m == nullptr || !TValueEditLyra::IsEnterKey(key)) return;
    // A text the edit did not understand left its Voltage at the model's level.
    if (channelA) {
        if (armLevelEditA_) m->SetARMLevelA(armLevelEditA_->Voltage());
    } else {
        if (armLevelEditB_) m->SetARMLevelB(armLevelEditB_->Voltage());
    }
    m->NotifyListeners(core::kNotifySettingsChanged, ControlGroup());
}

void TArmControlsLyraRM::HandleNotification(int32_t code, int32_t& group) {
    TWrapperComponentLyraRM::HandleNotification(code, group);
    if (code == core::kNotifyStartup || code == core::kNotifySettingsChanged) RefreshControls();
}

void TArmControlsLyraRM::RefreshControls() {
    const core::TVirtualScopeLyraRM* m = VirtualScope();
    if (m == nullptr) return;
    if (armLevelEditA_) armLevelEditA_->SetVoltage(m->ARMLevelA());
    if (armLevelEditB_) armLevelEditB_->SetVoltage(m->ARMLevelB());
    if (armSourceA_) armSourceA_->SetDown(m->ARMSourceA());
    if (armSourceB_) armSourceB_->SetDown(m->ARMSourceB());
    if (externalSource_) externalSource_->SetDown(m->ARMSourceExternal());
    if (trigUnderOverA_) trigUnderOverA_->setText(UnderOverCaption(m->ARMUnderA()));
    if (trigUnderOverB_) trigUnderOverB_->setText(UnderOverCaption(m->ARMUnderB()));
    if (trigUnderOverExternal_) {
        trigUnderOverExternal_->setText(QString::fromLatin1(m->ARMUnderExternal() ? strings::kCaptionExternalLow
                                                                                  : strings::kCaptionExternalHigh));
    }
}

}  // namespace rollmode::controls
