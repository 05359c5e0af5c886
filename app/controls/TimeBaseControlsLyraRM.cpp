#include "TimeBaseControlsLyraRM.h"

#include "NotificationCodes.h"
#include "RateTables.h"
#include "ScrollEndWatcher.h"
#include "VirtualScopeLyraRM.h"

namespace rollmode::controls {

TTimeBaseControlsLyraRM::TTimeBaseControlsLyraRM(QObject* parent) : QObject(parent) {
    SetControlGroup(core::kGroupTimeBaseControls);
}

TTimeBaseControlsLyraRM::~TTimeBaseControlsLyraRM() = default;

void TTimeBaseControlsLyraRM::SetSMPScrollBar(QScrollBar* bar) {
    smpWatcher_.reset();
    smpScrollBar_ = bar;
    if (bar != nullptr) smpWatcher_ = std::make_unique<ScrollEndWatcher>(bar, [this] { SmpScrollEnded(); });
}

void TTimeBaseControlsLyraRM::SetDSPScrollBar(QScrollBar* bar) {
    dspWatcher_.reset();
    dspScrollBar_ = bar;
    if (bar != nullptr) dspWatcher_ = std::make_unique<ScrollEndWatcher>(bar, [this] { DspScrollEnded(); });
}

void TTimeBaseControlsLyraRM::SmpScrollEnded() {
    core::TVirtualScopeLyraRM* m = VirtualScope();
    if (m == nullptr || smpScrollBar_ == nullptr) return;
    m->SetSMPSetting(smpScrollBar_->sliderPosition());
    m->NotifyListeners(core::kNotifySettingsChanged, ControlGroup());
}

void TTimeBaseControlsLyraRM::DspScrollEnded() {
    core::TVirtualScopeLyraRM* m = VirtualScope();
    if (m == nullptr || dspScrollBar_ == nullptr) return;
    m->SetDSPSetting(dspScrollBar_->maximum() - dspScrollBar_->sliderPosition());
    m->NotifyListeners(core::kNotifySettingsChanged, ControlGroup());
}

void TTimeBaseControlsLyraRM::HandleNotification(int32_t code, int32_t& group) {
    TWrapperComponentLyraRM::HandleNotification(code, group);
    if (code == core::kNotifyStartup) {
        StartupSetup();
    } else if (code == core::kNotifySettingsChanged) {
        RefreshControls();
    }
}

void TTimeBaseControlsLyraRM::StartupSetup() {
    const core::TVirtualScopeLyraRM* m = VirtualScope();
    if (m == nullptr) return;
    if (smpScrollBar_) smpScrollBar_->setValue(m->SMPSetting());
    // Not yet inverted; the refresh below puts the display bar right.
    if (dspScrollBar_) dspScrollBar_->setValue(m->DSPSetting());
    if (smpScrollBar_) smpScrollBar_->setMaximum(kSmpBarMaximum);
    RefreshControls();
}

void TTimeBaseControlsLyraRM::RefreshControls() {
    const core::TVirtualScopeLyraRM* m = VirtualScope();
    if (m == nullptr) return;
    const int32_t smp = m->SMPSetting();
    const int32_t dsp = m->DSPSetting();
    if (smpScrollBar_) smpScrollBar_->setValue(smp);
    if (dspScrollBar_) dspScrollBar_->setValue(dspScrollBar_->maximum() - dsp);

    // A step beyond the tables (a damaged settings file) reads as the nearest end.
    const double samplesPerSecond = core::SamplesPerSecond(smp);
    const double secondsPerDivision = core::SecondsPerDivision(dsp);
    if (smpRatio_) smpRatio_->SetMainValue(samplesPerSecond);
    if (dspRatio_) dspRatio_->SetMainValue(secondsPerDivision);
    if (dspSmpRatio_) dspSmpRatio_->SetMainValue(samplesPerSecond * secondsPerDivision / core::kColumnsPerDivision);
    if (dspRatioHz_) dspRatioHz_->SetMainValue(secondsPerDivision != 0.0 ? 1.0 / secondsPerDivision : 0.0);
}

}  // namespace rollmode::controls
