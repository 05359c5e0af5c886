#pragma once
// The colour setup dialog: four colour buttons (channel A, channel B, grid,
// background) and OK / Cancel. It only collects the choices; the caller copies them
// into the model after an OK result.
#include <cstdint>
#include <functional>

#include <QDialog>

class QColorDialog;
class QLabel;
class QPushButton;

namespace rollmode::core {
class TVirtualScopeLyraRM;
}

namespace rollmode::display {

class TChannelIndicationButtonLyra;

class TSetColorForm : public QDialog {
    Q_OBJECT

public:
    explicit TSetColorForm(QWidget* parent = nullptr);

    core::TVirtualScopeLyraRM* VirtualScope() const { return virtualScope_; }
    // Stores the model and shows its four colours on the buttons. Never null.
    void SetVirtualScope(core::TVirtualScopeLyraRM* scope);

    // The four choices, 0x00BBGGRR.
    uint32_t ColorChannelA() const;
    uint32_t ColorChannelB() const;
    uint32_t ColorGrid() const;
    uint32_t BackgroundColor() const;

    // Runs the shared colour picker and returns its result code; by default modal.
    // Tests replace it to answer the picker.
    using PickerRunner = std::function<int(QColorDialog&)>;
    void SetPickerRunner(PickerRunner runner) { pickerRunner_ = std::move(runner); }
    QColorDialog& ColorPicker() const { return *fDefaultColorDialog_; }

    TChannelIndicationButtonLyra* ButtonSetColorA() const { return fButtonSetColorA_; }
    TChannelIndicationButtonLyra* ButtonSetColorB() const { return fButtonSetColorB_; }
    TChannelIndicationButtonLyra* ButtonSetColorGrid() const { return fButtonSetColorGrid_; }
    TChannelIndicationButtonLyra* ButtonSetColorBackground() const { return fButtonSetColorBackground_; }
    QPushButton* ButtonOK() const { return fButtonOK_; }
    QPushButton* ButtonCancel() const { return fButtonCancel_; }

    static constexpr int kClientWidth = 207;
    static constexpr int kClientHeight = 126;

private:
    void FormCreate();
    TChannelIndicationButtonLyra* MakeColorButton(const char* objectName, int top);
    // Opens the picker with the last pick of this dialog; a confirmed pick goes to `button`.
    void PickColor(TChannelIndicationButtonLyra* button);

    core::TVirtualScopeLyraRM* virtualScope_ = nullptr;
    QLabel* labelChannelA_ = nullptr;
    QLabel* labelChannelB_ = nullptr;
    QLabel* labelGrid_ = nullptr;
    QLabel* labelBackground_ = nullptr;
    TChannelIndicationButtonLyra* fButtonSetColorA_ = nullptr;
    TChannelIndicationButtonLyra* fButtonSetColorB_ = nullptr;
    TChannelIndicationButtonLyra* fButtonSetColorGrid_ = nullptr;
    TChannelIndicationButtonLyra* fButtonSetColorBackground_ = nullptr;
    QPushButton* fButtonOK_ = nullptr;
    QPushButton* fButtonCancel_ = nullptr;
    QColorDialog* fDefaultColorDialog_ = nullptr;
    uint32_t lastPick_ = 0;  // black until the first confirmed pick
    PickerRunner pickerRunner_;
};

}  // namespace rollmode::display
