#include "TriggerControlsLyraRM.h"

#include "NotificationCodes.h"
#include "ResourceStringsLyraRM.h"
#include "VirtualScopeLyraRM.h"

namespace rollmode::controls {

namespace {
QString UnderOverCaption(bool under) {
    return QString::fromLatin1(under ? strings::kCaptionUnder : strings::kCaptionOver);
}
}  // namespace

TTriggerControlsLyraRM::TTriggerControlsLyraRM(QObject* parent) : QObject(parent) {
    SetControlGroup(core::kGroupTriggerControls);
}

template <typename W>
void TTriggerControlsLyraRM::LinkButton(ControlGroupLink<W>& link, W* button, Control control) {
    link.Set(button, [this, control](W* b) {
        return connect(b, &QAbstractButton::clicked, this, [this, control] { Clicked(control); });
    });
}

void TTriggerControlsLyraRM::SetTriggerSourceA(TOnOffButtonLyra* b) { LinkButton(triggerSourceA_, b, Control::SourceA); }
void TTriggerControlsLyraRM::SetTriggerSourceB(TOnOffButtonLyra* b) { LinkButton(triggerSourceB_, b, Control::SourceB); }
void TTriggerControlsLyraRM::SetTrigUnderOverA(QAbstractButton* b) { LinkButton(trigUnderOverA_, b, Control::UnderOverA); }
void TTriggerControlsLyraRM::SetTrigUnderOverB(QAbstractButton* b) { LinkButton(trigUnderOverB_, b, Control::UnderOverB); }
void TTriggerControlsLyraRM::SetTrigRelation(QAbstractButton* b) { LinkButton(trigRelation_, b, Control::Relation); }

void TTriggerControlsLyraRM::SetTriggerLevelEditA(TVoltageValueEditLyra* edit) {
    triggerLevelEditA_.Set(edit, [this](TVoltageValueEditLyra* e) {
        return connect(e, &TValueEditLyra::keyReleased, this, [this](int key) { LevelKeyReleased(true, key); });
    });
}

void TTriggerControlsLyraRM::SetTriggerLevelEditB(TVoltageValueEditLyra* edit) {
    triggerLevelEditB_.Set(edit, [this](TVoltageValueEditLyra* e) {
        return connect(e, &TValueEditLyra::keyReleased, this, [this](int key) { LevelKeyReleased(false, key); });
    });
}

void TTriggerControlsLyraRM::Clicked(Control control) {
    core::TVirtualScopeLyraRM* m = VirtualScope();
    if (m == nullptr) return;
    switch (control) {
        case Control::SourceA: m->SetTriggerSourceA(!m->TriggerSourceA()); break;
        case Control::SourceB: m->SetTriggerSourceB(!m->TriggerSourceB()); break;
        case Control::UnderOverA: m->SetTriggerUnderA(!m->TriggerUnderA()); break;
        case Control::UnderOverB: m->SetTriggerUnderB(!m->TriggerUnderB()); break;
        case Control::Relation: m->SetTriggerRelation(!m->TriggerRelation()); break;
    }
    m->NotifyListeners(core::kNotifySettingsChanged, ControlGroup());
}

void TTriggerControlsLyraRM::LevelKeyReleased(bool channelA, int key) {
    core::TVirtualScopeLyraRM* m = VirtualScope();
    if (m == nullptr || !TValueEditLyra::IsEnterKey(key)) return;
    // The edit has parsed its text already; a text it did not understand left its
    // Voltage at the model's level, and the refresh writes that back.
    if (channelA) {
        if (triggerLevelEditA_) m->SetTriggerLevelA(triggerLevelEditA_->Voltage());
    } else {
        if (triggerLevelEditB_) m->SetTriggerLevelB(triggerLevelEditB_->Voltage());
    }
    m->NotifyListeners(core::kNotifySettingsChanged, ControlGroup());
}

void TTriggerControlsLyraRM::HandleNotification(int32_t code, int32_t& group) {
    TWrapperComponentLyraRM::HandleNotification(code, group);
    if (code == core::kNotifyStartup || code == core::kNotifySettingsChanged) RefreshControls();
}

void TTriggerControlsLyraRM::RefreshControls() {
    const core::TVirtualScopeLyraRM* m = VirtualScope();
    if (m == nullptr) return;
    const bool idle = !m->MeasurementStarted();

    if (triggerLevelEditA_) triggerLevelEditA_->SetVoltage(m->TriggerLevelA());
    if (triggerLevelEditB_) triggerLevelEditB_->SetVoltage(m->TriggerLevelB());
    if (triggerSourceA_) triggerSourceA_->SetDown(m->TriggerSourceA());
    if (triggerSourceB_) triggerSourceB_->SetDown(m->TriggerSourceB());
    if (trigUnderOverA_) trigUnderOverA_->setText(UnderOverCaption(m->TriggerUnderA()));
    if (trigUnderOverB_) trigUnderOverB_->setText(UnderOverCaption(m->TriggerUnderB()));

    for (QWidget* w : {static_cast<QWidget*>(triggerLevelEditA_.get()), static_cast<QWidget*>(triggerLevelEditB_.get()),
                       static_cast<QWidget*>(triggerSourceA_.get()), static_cast<QWidget*>(triggerSourceB_.get()),
                       static_cast<QWidget*>(trigUnderOverA_.get()), static_cast<QWidget*>(trigUnderOverB_.get())}) {
        if (w != nullptr) w->setEnabled(idle);
    }
    if (trigRelation_) {
        trigRelation_->setEnabled(m->TriggerSourceA() && m->TriggerSourceB() && idle);
        trigRelation_->setText(
            QString::fromLatin1(m->TriggerRelation() ? strings::kCaptionRelationAnd : strings::kCaptionRelationOr));
    }
}

}  // namespace rollmode::controls
