#include "QtMessageBoxService.h"

#include <QMessageBox>
#include <QString>

#include "ResourceStringsLyraRM.h"

namespace rollmode::shell {

core::MsgResult QtMessageBoxService::Show(const std::string& text, core::MsgButtons buttons,
                                          core::MsgIcon icon) {
    QMessageBox::Icon qicon = QMessageBox::Critical;
    const char* caption = strings::kMsgCaptionError;
    switch (icon) {
        case core::MsgIcon::Error: qicon = QMessageBox::Critical; caption = strings::kMsgCaptionError; break;
        case core::MsgIcon::Warning: qicon = QMessageBox::Warning; caption = strings::kMsgCaptionWarning; break;
        case core::MsgIcon::Information:
            qicon = QMessageBox::Information;
            caption = strings::kMsgCaptionInformation;
            break;
        case core::MsgIcon::Confirmation:
            qicon = QMessageBox::Question;
            caption = strings::kMsgCaptionConfirm;
            break;
    }
    QMessageBox::StandardButtons qbuttons = QMessageBox::Ok;
    QMessageBox::StandardButton escape = QMessageBox::Ok;
    switch (buttons) {
        case core::MsgButtons::Ok: qbuttons = QMessageBox::Ok; escape = QMessageBox::Ok; break;
        case core::MsgButtons::OkCancel:
            qbuttons = QMessageBox::Ok | QMessageBox::Cancel;
            escape = QMessageBox::Cancel;
            break;
        case core::MsgButtons::YesNo:
            qbuttons = QMessageBox::Yes | QMessageBox::No;
            escape = QMessageBox::No;
            break;
        case core::MsgButtons::YesNoCancel:
            qbuttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
            escape = QMessageBox::Cancel;
            break;
    }
    QMessageBox box(qicon, QString::fromLatin1(caption), QString::fromStdString(text), qbuttons, parent_);
    box.setEscapeButton(escape);
    // File names and settings values are shown as written, never as markup.
    box.setTextFormat(Qt::PlainText);
    // A box closed without a button (window closed, program told to end) answers
    // like its escape button.
    const int pressed = box.exec();
    switch (pressed) {
        case QMessageBox::Ok: return core::MsgResult::Ok;
        case QMessageBox::Cancel: return core::MsgResult::Cancel;
        case QMessageBox::Yes: return core::MsgResult::Yes;
        case QMessageBox::No: return core::MsgResult::No;
        default: break;
    }
    switch (escape) {
        case QMessageBox::Cancel: return core::MsgResult::Cancel;
        case QMessageBox::No: return core::MsgResult::No;
        default: return core::MsgResult::Ok;
    }
}

}  // namespace rollmode::shell
