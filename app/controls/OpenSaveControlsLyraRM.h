#pragma once
// The " Save " group (group 7): names the record file, switches saving on and
// off, browses for the file and empties it on request. The model opens, sizes
// and empties the file; this group only tells it what the user chose.
#include <functional>

#include <QFileDialog>
#include <QLineEdit>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QToolButton>

#include "OnOffButtonLyra.h"
#include "WrapperComponentLyraRM.h"

namespace rollmode::core {
class MessageBoxService;
}

namespace rollmode::controls {

// "Description (*.x)|*.x" as a Qt name filter: "Description (*.x)".
QString QtNameFilter(const QString& filter);

class TOpenSaveControlsLyraRM : public QObject, public core::TWrapperComponentLyraRM {
    Q_OBJECT
public:
    explicit TOpenSaveControlsLyraRM(QObject* parent = nullptr);

    // Assigning the edit makes the group its key-release handler, assigning a
    // button its click handler. The dialog is only stored.
    QLineEdit* SaveFileEdit() const { return edit_; }
    void SetSaveFileEdit(QLineEdit* edit);
    TOnOffButtonLyra* SaveButton() const { return save_; }
    void SetSaveButton(TOnOffButtonLyra* b);
    TOnOffButtonLyra* CLFButton() const { return clear_; }
    void SetCLFButton(TOnOffButtonLyra* b);
    QToolButton* SaveFileBrowse() const { return browse_; }
    void SetSaveFileBrowse(QToolButton* b);
    QFileDialog* SaveDialog() const { return dialog_; }
    void SetSaveDialog(QFileDialog* dialog) { dialog_ = dialog; }

    // Runs the prepared dialog; true when the user confirmed. Replaceable so that
    // tests can choose a file without a modal dialog.
    using DialogRunner = std::function<bool(QFileDialog&)>;
    void SetDialogRunner(DialogRunner runner) { runDialog_ = std::move(runner); }

    // "Clear the file?"; without it the file is never cleared.
    void SetMessageBoxService(core::MessageBoxService* messages) noexcept { messages_ = messages; }

    void HandleNotification(int32_t code, int32_t& group) override;
    void RefreshControls() override;

    // Event handlers, public so that tests can drive them.
    void OnClick(QObject* sender);
    void OnEditKeyReleased(int key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Browse();
    void Notify();

    QPointer<QLineEdit> edit_;
    QPointer<TOnOffButtonLyra> save_, clear_;
    QPointer<QToolButton> browse_;
    QPointer<QFileDialog> dialog_;
    DialogRunner runDialog_;
    core::MessageBoxService* messages_ = nullptr;
};

}  // namespace rollmode::controls
