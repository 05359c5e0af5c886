#include "AboutScreen.h"

#include <QDir>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include "LabelFit.h"
#include "ResourceStringsLyraRM.h"

#ifndef ROLLMODE_VERSION_MAJOR
#error "the build passes the program version"
#endif

namespace rollmode::shell {

FileVersion CompiledVersion() {
    return FileVersion{ROLLMODE_VERSION_MAJOR, ROLLMODE_VERSION_MINOR, ROLLMODE_VERSION_RELEASE,
                       ROLLMODE_VERSION_BUILD};
}

std::string VersionToString(const FileVersion& version) {
    std::string text = std::to_string(version.major);
    text += '.';
    if (version.minor < 10) text += '0';  // a one-digit minor number
    text += std::to_string(version.minor);
    return text;
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
}

namespace {

constexpr const char* kCaptionStyle = "color: black; font-weight: bold;";
constexpr const char* kValueStyle = "color: navy;";

QLabel* AddLabel(QDialog* dialog, QLabel* label, const char* name, int left, int top, const std::string& text,
                 const char* style) {
    label->setParent(dialog);
    label->setObjectName(QString::fromLatin1(name));
    // Versions and the serial number come from the device: shown as written, never as markup.
    label->setTextFormat(Qt::PlainText);
    label->setText(QString::fromStdString(text));
    label->setStyleSheet(QString::fromLatin1(style));
    label->move(left, top);
    label->adjustSize();
    return label;
}

ClickableLabel* AddLink(QDialog* dialog, const char* name, int left, int top, const char* text) {
    auto* link = new ClickableLabel;
    AddLabel(dialog, link, name, left, top, text, kValueStyle);
    QFont font = link->font();
    font.setUnderline(true);
    link->setFont(font);
    link->setCursor(Qt::PointingHandCursor);
    link->adjustSize();
    return link;
}

}  // namespace

TAboutForm::TAboutForm(const std::string& softwareVersion, const std::string& usbDriverVersion,
                       const std::string& deviceSerialNumber, UrlOpener opener, QWidget* parent)
    : QDialog(parent), opener_(std::move(opener)) {
    setObjectName("AboutForm");
    setWindowTitle(QString::fromLatin1(strings::kAboutCaption));
    setFixedSize(kClientWidth, kClientHeight);
    // The main window's face: the positions are laid out for it.
    QFont face(QStringLiteral("MS Sans Serif"));
    face.setPixelSize(11);
    setFont(face);

    AddLabel(this, new QLabel, "SoftwareVersionLabel", 0, 2, strings::kAboutSoftwareVersion, kCaptionStyle);
    AddLabel(this, new QLabel, "DeviceObtainedVersionLabel", 21, 15, softwareVersion, kValueStyle);
    AddLabel(this, new QLabel, "USBDriverVersionLabel", 0, 40, strings::kAboutUsbDriverVersion, kCaptionStyle);
    AddLabel(this, new QLabel, "USBObtainedVersionLabel", 21, 54, usbDriverVersion, kValueStyle);
    AddLabel(this, new QLabel, "DeviceSNCaptionLabel", 0, 78, strings::kAboutDeviceSN, kCaptionStyle);
    AddLabel(this, new QLabel, "DeviceSerialNumberLabel", 21, 92, deviceSerialNumber, kValueStyle);
    AddLabel(this, new QLabel, "Find", 153, 2, strings::kAboutFindUs, kCaptionStyle);
    ClickableLabel* site = AddLink(this, "CompanySite", 153, 15, strings::kMakerWebAddress);
    AddLabel(this, new QLabel, "Contact", 154, 40, strings::kAboutContactUs, kCaptionStyle);
    ClickableLabel* mail = AddLink(this, "CompanyMail", 154, 54, strings::kMakerSupportAddress);
    // The right column ends at the dialog's edge.
    display::FitLabelText(site, kClientWidth - 153 - 2);
    display::FitLabelText(mail, kClientWidth - 154 - 2);
    connect(site, &ClickableLabel::clicked, this, &TAboutForm::CompanySiteClick);
    connect(mail, &ClickableLabel::clicked, this, &TAboutForm::CompanyMailClick);

    dialogOK_ = new QPushButton(QString::fromLatin1(strings::kDialogOK), this);
    dialogOK_->setObjectName("DialogOK");
    dialogOK_->setGeometry(224, 108, 41, 25);
    dialogOK_->setDefault(true);
    connect(dialogOK_, &QPushButton::clicked, this, &TAboutForm::DialogOKClick);
}

void TAboutForm::ShowUserFolder(const QString& folder) {
    constexpr int kValueLeft = 21;
    constexpr int kValueRoom = 224 - kValueLeft - 3;  // up to the OK button
    AddLabel(this, new QLabel, "UserFolderCaptionLabel", 0, 108, strings::kAboutUserFolder, kCaptionStyle);
    QString shown = QDir::toNativeSeparators(folder);
    const QString home = QDir::homePath();
    if (shown.startsWith(home + QLatin1Char('/'))) shown = QLatin1Char('~') + shown.mid(home.size());
    QLabel* value = AddLabel(this, new QLabel, "UserFolderLabel", kValueLeft, 121, "", kValueStyle);
    value->setText(QFontMetrics(value->font()).elidedText(shown, Qt::ElideMiddle, kValueRoom));
    value->setToolTip(folder);
    value->adjustSize();
}

void TAboutForm::DialogOKClick() { accept(); }

void TAboutForm::CompanySiteClick() {
    if (opener_) opener_(QUrl(QString::fromLatin1(strings::kMakerWebUrl)));
}

void TAboutForm::CompanyMailClick() {
    if (opener_) {
        opener_(QUrl(QString::fromLatin1(strings::kMailToPrefix) + QString::fromLatin1(strings::kMakerSupportAddress)));
    }
}

QLabel* TAboutForm::Label(const char* objectName) const {
    return findChild<QLabel*>(QString::fromLatin1(objectName));
}

}  // namespace rollmode::shell
