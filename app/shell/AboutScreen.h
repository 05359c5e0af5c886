#pragma once
// The About dialog: program version, USB driver version, device serial number and
// the maker's web and mail addresses.
#include <cstdint>
#include <string>

#include <QDialog>
#include <QLabel>

#include "DesktopOpener.h"

class QPushButton;

namespace rollmode::shell {

struct FileVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t release = 0;
    std::uint32_t build = 0;
};

// The version this program was built as.
FileVersion CompiledVersion();

// "major.minor" with the minor number in two digits at least: 1.5 gives "1.05",
// 2.10 gives "2.10". Release and build are not shown.
std::string VersionToString(const FileVersion& version);

// A label that reports a click of the left button.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class TAboutForm : public QDialog {
    Q_OBJECT

public:
    // The texts are shown as given; empty ones stay empty.
    TAboutForm(const std::string& softwareVersion, const std::string& usbDriverVersion,
               const std::string& deviceSerialNumber, UrlOpener opener, QWidget* parent = nullptr);

    void DialogOKClick();
    void CompanySiteClick();
    void CompanyMailClick();

    // Names the per-user folder that holds the settings files and the default record file
    // when the program keeps them away from its own folder (an installed copy); the full
    // path is the tool tip, the line shows it shortened to fit.
    void ShowUserFolder(const QString& folder);

    QLabel* Label(const char* objectName) const;
    QPushButton* DialogOK() const { return dialogOK_; }

    static constexpr int kClientWidth = 270;
    static constexpr int kClientHeight = 137;

private:
    UrlOpener opener_;
    QPushButton* dialogOK_ = nullptr;
};

}  // namespace rollmode::shell
