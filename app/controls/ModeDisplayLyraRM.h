#pragma once
// The " Mode " group with the grid button and brightness bar beneath it (group 11):
// beam finder, line mode, display on/off, grid on/off and brightness, and the
// choice between the rolling and the cardiogram screen (codes 11 and 10, which the
// screens and the flow manager act on).
#include <QObject>
#include <QPointer>
#include <QScrollBar>

#include "OnOffButtonLyra.h"
#include "WrapperComponentLyraRM.h"

namespace rollmode::controls {

class TModeDisplayLyraRM : public QObject, public core::TWrapperComponentLyraRM {
    Q_OBJECT
public:
    explicit TModeDisplayLyraRM(QObject* parent = nullptr);

    TOnOffButtonLyra* BeamFinder() const { return beamFinder_; }
    void SetBeamFinder(TOnOffButtonLyra* b);
    TOnOffButtonLyra* LineModeDisplay() const { return line_; }
    void SetLineModeDisplay(TOnOffButtonLyra* b);
    TOnOffButtonLyra* EKGModeDisplay() const { return ekg_; }
    void SetEKGModeDisplay(TOnOffButtonLyra* b);
    TOnOffButtonLyra* RollModeDisplay() const { return roll_; }
    void SetRollModeDisplay(TOnOffButtonLyra* b);
    TOnOffButtonLyra* DisplayButton() const { return display_; }
    void SetDisplayButton(TOnOffButtonLyra* b);
    TOnOffButtonLyra* GridButton() const { return grid_; }
    void SetGridButton(TOnOffButtonLyra* b);
    // Every user move of the bar, tracking included, sets the brightness.
    QScrollBar* GridScroll() const { return gridScroll_; }
    void SetGridScroll(QScrollBar* bar);

    void HandleNotification(int32_t code, int32_t& group) override;
    void RefreshControls() override;
    void OnClick(QObject* sender);
    void OnScroll(int position);

private:
    QPointer<TOnOffButtonLyra> beamFinder_, line_, ekg_, roll_, display_, grid_;
    QPointer<QScrollBar> gridScroll_;
};

}  // namespace rollmode::controls
