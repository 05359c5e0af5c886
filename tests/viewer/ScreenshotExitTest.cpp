// The --screenshot run as a user starts it: exit status, message and picture.
#include <QImage>
#include <QProcess>

#include "ViewerTestSupport.h"

using namespace rollmode::viewer::testing;

namespace {

struct ShotResult {
    int status = -1;
    QString errors;
};

ShotResult Screenshot(const std::string& record, const std::string& png, const QString& size = "800x600") {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(environment);
    process.start(PREVIEW_EXECUTABLE, {"--screenshot", QString::fromStdString(png), "--size", size,
                                       QString::fromStdString(record)});
    EXPECT_TRUE(process.waitForFinished(60000));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardError())};
}

}  // namespace

TEST(ViewerScreenshot, ExitStatusSaysWholeMalformedOrUnreadable) {
    const std::string good = TempRecord("shot_good");
    TRecordFileBuilder file;
    file.Start(100000).Ramp(20000).Overflow().Ramp(20000).Stop();
    file.WriteTo(good);
    const std::string png = good + ".png";
    std::remove(png.c_str());
    ShotResult run = Screenshot(good, png);
    EXPECT_EQ(run.status, 0) << run.errors.toStdString();
    const QImage picture(QString::fromStdString(png));
    EXPECT_EQ(picture.size(), QSize(800, 600));

    // A record length of 9 words is malformed: the message names its byte offset.
    const std::string bad = TempRecord("shot_malformed");
    TRecordFileBuilder broken;
    broken.Start(1000).Ramp(100);
    const std::size_t offset = broken.Bytes();
    broken.Words({0, 9, 2}).Ramp(10);
    broken.WriteTo(bad);
    run = Screenshot(bad, bad + ".png");
    EXPECT_EQ(run.status, 2) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains(QString::number(offset))) << run.errors.toStdString();
    EXPECT_TRUE(QImage(QString::fromStdString(bad + ".png")).width() == 800);

    const std::string missing = TempRecord("shot_missing");
    run = Screenshot(missing, missing + ".png");
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(run.errors.isEmpty());
    run = Screenshot(good, png, "tiny");
    EXPECT_EQ(run.status, 1);
}
