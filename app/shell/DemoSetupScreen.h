#pragma once
// The demo setup dialog: amplitude, period and noise of the demo generator for both
// channels. OK takes the values only when all six read as numbers and both periods
// are at least 1 ms; the generator divides by the period.
#include <array>
#include <cstdint>
#include <optional>

#include <QDialog>

class QLabel;
class QPushButton;

namespace rollmode::core {
class MessageBoxService;
class TVirtualScopeLyraRM;
}  // namespace rollmode::core

namespace rollmode::controls {
class TNumEditLyra;
}

namespace rollmode::shell {

// To the nearest integer, halves to even, held inside the 32-bit range. Nothing for
// a value that is not a number.
std::optional<std::int32_t> RoundDemoValue(double value);

class TDemoSetupForm : public QDialog {
    Q_OBJECT

public:
    // `messages` tells the user why OK did not close the dialog.
    explicit TDemoSetupForm(core::MessageBoxService& messages, QWidget* parent = nullptr);

    core::TVirtualScopeLyraRM* VirtualScope() const { return virtualScope_; }
    // Stores the model, fills the six edits from it and follows its hint switch.
    void SetVirtualScope(core::TVirtualScopeLyraRM* scope);

    // OK: closes with the OK result once the six values are sound (see above).
    void Button1Click();
    // Cancel: closes with the cancel result.
    void Button2Click();

    // After an OK result: the six values into the model in the order PeriodA,
    // PeriodB, AmplitudeA, AmplitudeB, NoiseA, NoiseB, then code 2 (group 255).
    void StoreValues();

    controls::TNumEditLyra* Edit(const char* objectName) const;
    QPushButton* ButtonOK() const { return button1_; }
    QPushButton* ButtonCancel() const { return button2_; }

    static constexpr int kClientWidth = 211;
    static constexpr int kClientHeight = 129;

private:
    // Edit order: the order the values are stored in.
    enum Field { kPeriodA, kPeriodB, kAmpA, kAmpB, kNoiseA, kNoiseB, kFieldCount };

    void FormCreate();
    controls::TNumEditLyra* MakeEdit(const char* objectName, int left, int top);
    // Reads the six edits; on a fault tells the user, focuses the edit and gives nothing.
    std::optional<std::array<std::int32_t, kFieldCount>> ReadValues();

    core::MessageBoxService& messages_;
    core::TVirtualScopeLyraRM* virtualScope_ = nullptr;
    std::array<controls::TNumEditLyra*, kFieldCount> edits_{};
    std::array<std::int32_t, kFieldCount> accepted_{};
    QLabel* amplitudeLabel_ = nullptr;
    QLabel* periodLabel_ = nullptr;
    QLabel* noiseLabel_ = nullptr;
    QLabel* channelALabel_ = nullptr;
    QLabel* channelBLabel_ = nullptr;
    QPushButton* button1_ = nullptr;
    QPushButton* button2_ = nullptr;
};

}  // namespace rollmode::shell
