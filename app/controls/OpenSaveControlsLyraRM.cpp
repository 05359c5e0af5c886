#include "OpenSaveControlsLyraRM.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPalette>
#include <QToolButton>

#include "GroupConnect.h"
#include "NotificationCodes.h"
#include "ResourceStringsLyraRM.h"
#include "ports/MessageBoxService.h"

namespace rollmode::controls {

namespace {
constexpr QRgb kUnappliedColor = 0xFF0000FF;  // typed, not yet applied with Enter

void SetTextColor(QLineEdit& edit, const QColor& color) {
    QPalette palette = edit.palette();
    palette.setColor(QPalette::Text, color);
    edit.setPalette(palette);
}
}  // namespace

QString QtNameFilter(const QString& filter) {
    const qsizetype bar = filter.indexOf(QLatin1Char('|'));
    return bar < 0 ? filter : filter.left(bar);
}

TOpenSaveControlsLyraRM::TOpenSaveControlsLyraRM(QObject* parent)
    : QObject(parent), runDialog_([](QFileDialog& dialog) { return dialog.exec() == QDialog::Accepted; }) {
    SetControlGroup(core::kGroupOpenSaveControls);
}

void TOpenSaveControlsLyraRM::SetSaveButton(TOnOffButtonLyra* b) { ConnectClick(this, save_, b); }
void TOpenSaveControlsLyraRM::SetCLFButton(TOnOffButtonLyra* b) { ConnectClick(this, clear_, b); }
void TOpenSaveControlsLyraRM::SetSaveFileBrowse(QToolButton* b) { ConnectClick(this, browse_, b); }

void TOpenSaveControlsLyraRM::SetSaveFileEdit(QLineEdit* edit) {
    if (edit_) edit_->removeEventFilter(this);
    edit_ = edit;
    if (edit) edit->installEventFilter(this);
}

bool TOpenSaveControlsLyraRM::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit_ && event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!key->isAutoRepeat()) OnEditKeyReleased(key->key());
    }
    return QObject::eventFilter(watched, event);
}

void TOpenSaveControlsLyraRM::HandleNotification(int32_t code, int32_t& group) {
    TWrapperComponentLyraRM::HandleNotification(code, group);
    if (code == core::kNotifyStartup || code == core::kNotifySettingsChanged) RefreshControls();
}

void TOpenSaveControlsLyraRM::Notify() {
    if (core::TVirtualScopeLyraRM* scope = VirtualScope()) {
        scope->NotifyListeners(core::kNotifySettingsChanged, ControlGroup());
    }
}

void TOpenSaveControlsLyraRM::OnClick(QObject* sender) {
    core::TVirtualScopeLyraRM* scope = VirtualScope();
    if (scope == nullptr || sender == nullptr) return;
    // The dialog may move the current directory; the settings files resolve
    // against it, beside the program.
    const QString directory = QDir::currentPath();
    if (dialog_) {
        dialog_->setDefaultSuffix(QString::fromLatin1(strings::kRecordFileExtension));
        dialog_->setNameFilter(QtNameFilter(QString::fromLatin1(strings::kRecordFileFilter)));
    }
    if (sender == browse_) {
        Browse();
    } else if (sender == save_) {
        scope->SetSavingActivated(!scope->SavingActivated());
    } else if (sender == clear_) {
        if (messages_ != nullptr &&
            messages_->Show(strings::kClearTheFile, core::MsgButtons::YesNoCancel, core::MsgIcon::Confirmation) ==
                core::MsgResult::Yes) {
            scope->ClearRecordFile();
        }
        clear_->SetDown(false);
    }
    QDir::setCurrent(directory);
    Notify();
}

void TOpenSaveControlsLyraRM::Browse() {
    core::TVirtualScopeLyraRM* scope = VirtualScope();
    if (!dialog_ || !runDialog_) return;
    dialog_->setAcceptMode(QFileDialog::AcceptSave);
    dialog_->selectFile(QString::fromStdString(scope->RecordFileName()));
    if (!runDialog_(*dialog_)) return;
    const QStringList chosen = dialog_->selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty()) return;
    QString path = chosen.front();
    // The usual extension when the user gave none, whatever the dialog did.
    if (QFileInfo(path).suffix().isEmpty()) {
        path += QLatin1Char('.') + QString::fromLatin1(strings::kRecordFileExtension);
    }
    scope->OpenRecordFile(path.toStdString());
    if (edit_) edit_->setToolTip(path);
}

void TOpenSaveControlsLyraRM::OnEditKeyReleased(int key) {
    if (!edit_) return;
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        core::TVirtualScopeLyraRM* scope = VirtualScope();
        SetTextColor(*edit_, edit_->palette().color(QPalette::WindowText));
        edit_->setToolTip(edit_->text());
        if (scope == nullptr) return;
        scope->OpenRecordFile(edit_->text().toStdString());
        Notify();
    } else {
        SetTextColor(*edit_, QColor::fromRgb(kUnappliedColor));
    }
}

void TOpenSaveControlsLyraRM::RefreshControls() {
    const core::TVirtualScopeLyraRM* scope = VirtualScope();
    if (scope == nullptr) return;
    const bool idle = !scope->MeasurementStarted();
    if (save_) {
        save_->SetDown(scope->SavingActivated());
        save_->setEnabled(idle);
    }
    if (edit_) {
        const QString name = QString::fromStdString(scope->RecordFileName());
        if (edit_->text() != name) edit_->setText(name);
    }
    if (browse_) browse_->setEnabled(idle);
    if (clear_) clear_->setEnabled(idle);
}

}  // namespace rollmode::controls
