#pragma once
// The " Channels " group (group 6): channel A and B on or off.
#include <QObject>
#include <QPointer>

#include "OnOffButtonLyra.h"
#include "WrapperComponentLyraRM.h"

namespace rollmode::controls {

class TChannelControlsLyraRM : public QObject, public core::TWrapperComponentLyraRM {
    Q_OBJECT
public:
    explicit TChannelControlsLyraRM(QObject* parent = nullptr);

    TOnOffButtonLyra* ChannelButtonA() const { return a_; }
    void SetChannelButtonA(TOnOffButtonLyra* b);
    TOnOffButtonLyra* ChannelButtonB() const { return b_; }
    void SetChannelButtonB(TOnOffButtonLyra* b);

    void HandleNotification(int32_t code, int32_t& group) override;
    void RefreshControls() override;
    void OnClick(QObject* sender);

private:
    QPointer<TOnOffButtonLyra> a_, b_;
};

}  // namespace rollmode::controls
