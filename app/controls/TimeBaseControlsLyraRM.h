#pragma once
// The time base control group: the sampling-rate and display-rate scroll bars and
// four read-outs (samples per second, time per division, samples per screen column,
// divisions per second). A bar changes the model only when a scroll ends: the thumb
// released, or a click or key move finished; dragging and auto-repeat only move the
// bar. The display bar is inverted so that both bars grow towards faster rates.
#include <memory>

#include <QObject>
#include <QPointer>
#include <QScrollBar>

#include "UnitValueLabel.h"
#include "WrapperComponentLyraRM.h"

namespace rollmode::controls {

class ScrollEndWatcher;

class TTimeBaseControlsLyraRM : public QObject, public core::TWrapperComponentLyraRM {
    Q_OBJECT

public:
    // The sampling bar offers steps 0..14; the last step is for settings files only.
    static constexpr int kSmpBarMaximum = 14;

    explicit TTimeBaseControlsLyraRM(QObject* parent = nullptr);
    ~TTimeBaseControlsLyraRM() override;

    QScrollBar* SMPScrollBar() const { return smpScrollBar_.data(); }
    void SetSMPScrollBar(QScrollBar* bar);
    QScrollBar* DSPScrollBar() const { return dspScrollBar_.data(); }
    void SetDSPScrollBar(QScrollBar* bar);
    display::TUnitValueLabel* SMPRatio() const { return smpRatio_.data(); }
    void SetSMPRatio(display::TUnitValueLabel* label) { smpRatio_ = label; }
    display::TUnitValueLabel* DSPRatio() const { return dspRatio_.data(); }
    void SetDSPRatio(display::TUnitValueLabel* label) { dspRatio_ = label; }
    display::TUnitValueLabel* DSP_SMPRatio() const { return dspSmpRatio_.data(); }
    void SetDSP_SMPRatio(display::TUnitValueLabel* label) { dspSmpRatio_ = label; }
    display::TUnitValueLabel* DSPRatioHz() const { return dspRatioHz_.data(); }
    void SetDSPRatioHz(display::TUnitValueLabel* label) { dspRatioHz_ = label; }

    // Code 3 leaves the model; code 1 runs the start-up setup; code 2 refreshes.
    void HandleNotification(int32_t code, int32_t& group) override;
    void RefreshControls() override;

private:
    // Bars to the model's steps, the sampling bar limited to its 15 steps, read-outs.
    void StartupSetup();
    void SmpScrollEnded();
    void DspScrollEnded();

    QPointer<QScrollBar> smpScrollBar_;
    QPointer<QScrollBar> dspScrollBar_;
    std::unique_ptr<ScrollEndWatcher> smpWatcher_;
    std::unique_ptr<ScrollEndWatcher> dspWatcher_;
    QPointer<display::TUnitValueLabel> smpRatio_;
    QPointer<display::TUnitValueLabel> dspRatio_;
    QPointer<display::TUnitValueLabel> dspSmpRatio_;
    QPointer<display::TUnitValueLabel> dspRatioHz_;
};

}  // namespace rollmode::controls
