#include "SplashScreen.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPixmap>

using rollmode::shell::TSplashScreenLyra;

TEST(SplashScreen, PicturesAndStatusLine) {
    TSplashScreenLyra splash;
    EXPECT_EQ(splash.size(), QSize(390, 265));
    EXPECT_TRUE(splash.windowFlags().testFlag(Qt::FramelessWindowHint));

    ASSERT_NE(splash.Image1(), nullptr);
    ASSERT_NE(splash.Image2(), nullptr);
    EXPECT_EQ(splash.Image1()->pixmap().size(), QSize(392, 250));
    EXPECT_EQ(splash.Image2()->pixmap().size(), QSize(392, 250));
    EXPECT_FALSE(splash.Image1()->isHidden());
    EXPECT_TRUE(splash.Image2()->isHidden());

    QLabel* status = splash.SplashStatusLabel();
    EXPECT_EQ(status->objectName(), "SplashStatusLabel");
    EXPECT_EQ(status->geometry(), QRect(0, 249, 390, 16));
    EXPECT_TRUE(status->font().bold());
    EXPECT_EQ(status->font().pixelSize(), 13);
    EXPECT_TRUE(status->alignment().testFlag(Qt::AlignHCenter));
    EXPECT_EQ(status->palette().color(QPalette::WindowText), QColor(255, 255, 255));
    EXPECT_EQ(status->palette().color(QPalette::Window), QColor(0x28, 0x16, 0x6F));

    splash.show();
    splash.SetStatusText("Device initialization");
    EXPECT_EQ(status->text(), "Device initialization");
    // The status line covers the picture's last row, in its own colour.
    const QImage shot = splash.grab().toImage();
    EXPECT_EQ(shot.pixelColor(2, 262), QColor(0x28, 0x16, 0x6F));
}

TEST(SplashScreen, MissingOrDamagedPictureGivesANullImage) {
    QString error;
    EXPECT_TRUE(TSplashScreenLyra::LoadPicture(":/no/such.jpg", &error).isNull());
    EXPECT_FALSE(error.isEmpty());
    const QImage good = TSplashScreenLyra::LoadPicture(":/splash/splash1.jpg", &error);
    EXPECT_EQ(good.size(), QSize(392, 250));
}
