#include "SplashScreen.h"

#include <cstring>
#include <string>

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QScreen>

#include "JpegDecoder.h"
#include "QtColor.h"

namespace rollmode::shell {
namespace {

constexpr int kClientWidth = 390;
constexpr int kClientHeight = 265;
constexpr int kPictureWidth = 392;
constexpr int kPictureHeight = 250;
constexpr std::uint32_t kStatusTextColor = 0x00FFFFFF;
constexpr std::uint32_t kStatusBackColor = 7280168;  // 0x006F1628

QLabel* MakePicture(QWidget* parent, const QString& path) {
    auto* label = new QLabel(parent);
    label->setGeometry(0, 0, kPictureWidth, kPictureHeight);
    QString error;
    const QImage image = TSplashScreenLyra::LoadPicture(path, &error);
    if (image.isNull()) {
        // The splash works without its picture; a damaged one is not worth stopping for.
        qWarning("Splash picture %s: %s", qPrintable(path), qPrintable(error));
    } else {
        label->setPixmap(QPixmap::fromImage(image));
    }
    return label;
}

}  // namespace

TSplashScreenLyra::TSplashScreenLyra(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName("SplashScreenLyra");
    setFixedSize(kClientWidth, kClientHeight);

    image1_ = MakePicture(this, QStringLiteral(":/splash/splash1.jpg"));
    image1_->setObjectName("Image1");
    image2_ = MakePicture(this, QStringLiteral(":/splash/splash2.jpg"));
    image2_->setObjectName("Image2");

    statusLabel_ = new QLabel(this);
    statusLabel_->setObjectName("SplashStatusLabel");
    statusLabel_->setGeometry(0, 249, kClientWidth, 16);
    statusLabel_->setAlignment(Qt::AlignCenter);
    QFont font = statusLabel_->font();
    font.setBold(true);
    font.setPixelSize(13);
    statusLabel_->setFont(font);
    statusLabel_->raise();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.left() + (area.width() - kClientWidth) / 2, area.top() + (area.height() - kClientHeight) / 2);
    }
    FormCreate();
}

void TSplashScreenLyra::FormCreate() {
    image1_->setVisible(true);
    image2_->setVisible(false);
    QPalette palette = statusLabel_->palette();
    palette.setColor(QPalette::WindowText, ToQColor(kStatusTextColor));
    palette.setColor(QPalette::Window, ToQColor(kStatusBackColor));
    statusLabel_->setPalette(palette);
    statusLabel_->setAutoFillBackground(true);
}

void TSplashScreenLyra::SetStatusText(const QString& text) {
    statusLabel_->setText(text);
    if (isVisible()) {
        repaint();
    }
}

QImage TSplashScreenLyra::LoadPicture(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error) *error = QStringLiteral("cannot open");
        return {};
    }
    const QByteArray bytes = file.readAll();
    DecodedJpeg decoded;
    std::string reason;
    if (!DecodeJpeg(reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size()),
                    decoded, reason)) {
        if (error) *error = QString::fromStdString(reason);
        return {};
    }
    QImage image(decoded.width, decoded.height, QImage::Format_RGB888);
    const std::size_t stride = static_cast<std::size_t>(decoded.width) * 3;
    for (int y = 0; y < decoded.height; ++y) {
        std::memcpy(image.scanLine(y), decoded.rgb.data() + stride * static_cast<std::size_t>(y), stride);
    }
    return image;
}

}  // namespace rollmode::shell
