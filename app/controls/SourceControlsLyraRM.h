#pragma once
// The " Source " group (group 3): per channel the input coupling, the probe ratio
// and the ground switch. The ground buttons toggle themselves and their pressed
// state is the truth for the switch; the refresh never sets it.
#include <QObject>
#include <QPointer>

#include "ChannelIndicationButtonLyra.h"
#include "WrapperComponentLyraRM.h"

namespace rollmode::controls {

class TSourceControlsLyraRM : public QObject, public core::TWrapperComponentLyraRM {
    Q_OBJECT
public:
    using Button = display::TChannelIndicationButtonLyra;
    explicit TSourceControlsLyraRM(QObject* parent = nullptr);

    Button* ProbeButtonA() const { return probeA_; }
    void SetProbeButtonA(Button* b);
    Button* ProbeButtonB() const { return probeB_; }
    void SetProbeButtonB(Button* b);
    Button* ACDCButtonA() const { return acdcA_; }
    void SetACDCButtonA(Button* b);
    Button* ACDCButtonB() const { return acdcB_; }
    void SetACDCButtonB(Button* b);
    Button* GroundA() const { return groundA_; }
    void SetGroundA(Button* b);
    Button* GroundB() const { return groundB_; }
    void SetGroundB(Button* b);

    void HandleNotification(int32_t code, int32_t& group) override;
    void RefreshControls() override;
    void OnClick(QObject* sender);

private:
    QPointer<Button> probeA_, probeB_, acdcA_, acdcB_, groundA_, groundB_;
};

}  // namespace rollmode::controls
