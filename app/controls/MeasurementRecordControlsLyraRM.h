#pragma once
// The " Record " group (group 9): starts and stops the measurement, switches
// between triggered and free recording and between a defined length and
// continuous recording, and takes the defined length from its edit. The
// buttons show the model's state after every refresh; the group keeps none.
#include <QObject>
#include <QPointer>

#include "LongerTimeEditLyraRM.h"
#include "OnOffButtonLyra.h"
#include "WrapperComponentLyraRM.h"

namespace rollmode::core {
class MessageBoxService;
}

namespace rollmode::controls {

// For channel A, then B, where the channel is both a trigger and an arm source: a
// trigger under its level with the arm over a higher level, or a trigger over its
// level with the arm under a lower level, can never arm and then trigger.
bool ArmTriggerSettingsConsistent(const core::TVirtualScopeLyraRM& scope);

class TMeasurementRecordControlsLyraRM : public QObject, public core::TWrapperComponentLyraRM {
    Q_OBJECT
public:
    explicit TMeasurementRecordControlsLyraRM(QObject* parent = nullptr);

    // Assigning a button makes the group its click handler; assigning the length
    // edit makes it the edit's key-release handler.
    TOnOffButtonLyra* MeasurementStart() const { return start_; }
    void SetMeasurementStart(TOnOffButtonLyra* b);
    TOnOffButtonLyra* MeasurementStop() const { return stop_; }
    void SetMeasurementStop(TOnOffButtonLyra* b);
    TOnOffButtonLyra* RecordTriggered() const { return triggered_; }
    void SetRecordTriggered(TOnOffButtonLyra* b);
    TOnOffButtonLyra* RecordFree() const { return free_; }
    void SetRecordFree(TOnOffButtonLyra* b);
    TOnOffButtonLyra* RecordDefined() const { return defined_; }
    void SetRecordDefined(TOnOffButtonLyra* b);
    TOnOffButtonLyra* RecordContinuos() const { return continuous_; }
    void SetRecordContinuos(TOnOffButtonLyra* b);
    TLongerTimeEditLyraRM* RecordTimeLength() const { return length_; }
    void SetRecordTimeLength(TLongerTimeEditLyraRM* edit);

    // The "Arm and Trigger settings conflict." warning; null shows nothing.
    void SetMessageBoxService(core::MessageBoxService* messages) noexcept { messages_ = messages; }

    void HandleNotification(int32_t code, int32_t& group) override;
    void RefreshControls() override;

    // Event handlers, public so that tests can drive them.
    void OnClick(QObject* sender);
    void OnLengthKeyReleased(int key);

private:
    void Notify();

    QPointer<TOnOffButtonLyra> start_, stop_, triggered_, free_, defined_, continuous_;
    QPointer<TLongerTimeEditLyraRM> length_;
    core::MessageBoxService* messages_ = nullptr;
};

}  // namespace rollmode::controls
