#pragma once
// The " Range " group (group 2): per channel the deflection factor one step up or
// down. The model keeps the step within 1..9.
#include <QObject>
#include <QPointer>

#include "ChannelIndicationButtonLyra.h"
#include "WrapperComponentLyraRM.h"

namespace rollmode::controls {

class TDensityControlsLyraRM : public QObject, public core::TWrapperComponentLyraRM {
    Q_OBJECT
public:
    using Button = display::TChannelIndicationButtonLyra;
    explicit TDensityControlsLyraRM(QObject* parent = nullptr);

    Button* DensityUpButtonA() const { return upA_; }
    void SetDensityUpButtonA(Button* b);
    Button* DensityUpButtonB() const { return upB_; }
    void SetDensityUpButtonB(Button* b);
    Button* DensityDownButtonA() const { return downA_; }
    void SetDensityDownButtonA(Button* b);
    Button* DensityDownButtonB() const { return downB_; }
    void SetDensityDownButtonB(Button* b);

    void HandleNotification(int32_t code, int32_t& group) override;
    void RefreshControls() override;
    void OnClick(QObject* sender);

private:
    QPointer<Button> upA_, upB_, downA_, downB_;
};

}  // namespace rollmode::controls
