#include "InformationPanelLyraRM.h"

#include "ChannelIcon.h"
#include "ColorConversion.h"
#include "ResourceStringsLyraRM.h"

namespace rollmode::display {

void TInformationPanelLyraRM::HandleNotification(int32_t code, int32_t& group) {
    TWrapperComponentLyraRM::HandleNotification(code, group);
    if (code == core::kNotifyStartup || code == core::kNotifySettingsChanged) RefreshControls();
}

void TInformationPanelLyraRM::RefreshControls() {
    const core::TVirtualScopeLyraRM* scope = VirtualScope();
    if (scope == nullptr) return;
    const bool isB = channel_ == core::TVirtualScopeLyraRM::kChannelB;

    if (isB ? scope->StatusChannelB() : scope->StatusChannelA()) {
        if (probe_) probe_->setText(QString::fromStdString(scope->ProbeText(channel_)));
        if (density_) density_->SetMainValue(scope->DeflectionFactor(channel_));
        const bool dc = isB ? scope->SourceACDC_B() : scope->SourceACDC_A();
        if (acdc_) acdc_->setText(QString::fromUtf8(dc ? strings::kCouplingDC : strings::kCouplingAC));
        if (triggerLevelVoltage_)
            triggerLevelVoltage_->SetMainValue(isB ? scope->TriggerLevelB() : scope->TriggerLevelA());
    } else {
        // A channel that is off shows no probe, coupling or deflection; the trigger
        // level keeps its last reading.
        if (probe_) probe_->clear();
        if (density_) density_->SetMyString(QString());
        if (acdc_) acdc_->clear();
    }

    // The icon is drawn in the channel's colour, so it follows the colour setup.
    const QColor color = ToQColor(isB ? scope->ColorChannelB() : scope->ColorChannelA());
    if (icon_) icon_->setPixmap(ChannelIcon(color));

    if (channelColor_) {
        QPalette palette = channelColor_->palette();
        palette.setColor(QPalette::Window, ToQColor(isB ? scope->ColorChannelB() : scope->ColorChannelA()));
        channelColor_->setPalette(palette);
        channelColor_->setAutoFillBackground(true);
    }
}

}  // namespace rollmode::display
