// The main window with its panels, groups and settings linked to the real model:
// what a user does with the controls lands in the model, failures of the record
// file reach the user from the event loop, and settings survive a restart.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

#include "ChannelIndicationButtonLyra.h"
#include "ColorConversion.h"
#include "DemoWindow.h"
#include "LongerTimeEditLyraRM.h"
#include "MainFormComponents.h"
#include "MainScreen.h"
#include "OnOffButtonLyra.h"
#include "QtApplicationControl.h"
#include "UnitValueLabel.h"
#include "VerticalSlideLyra.h"
#include "VirtualDriverLyraRM.h"
#include "VirtualScopeLyraRM.h"
#include "ports/MessageBoxService.h"

using namespace rollmode;

namespace {

// One main window with its components in a fresh current directory, in demo mode.
class MainWindowGroups : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.IsValid()); }

    using Window = shelltest::DemoWindow;
    TempWorkFolder folder;
    shelltest::RecordedBoxes boxes;
    shell::QtApplicationControl control;
};

template <class Pred>
bool ProcessUntil(Pred done, int ms = 2000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

TEST_F(MainWindowGroups, LabelsAndSlidesAreTheModelsAndFollowTheLayout) {
    Window w(boxes, control);
    core::TVirtualScopeLyraRM& scope = w.components.VirtualScopeLyraRM1();
    auto* size = w.Find<display::TUnitValueLabel>("RecordSizeLabel");
    EXPECT_EQ(scope.FileSizeLabel(), size);
    EXPECT_EQ(size->ControlType(), 3);
    auto* voltageA = w.Find<display::TUnitValueLabel>("TimeVoltageA");
    auto* voltageB = w.Find<display::TUnitValueLabel>("TimeVoltageB");
    EXPECT_EQ(scope.ActualVoltageA(), voltageA);
    EXPECT_EQ(scope.ActualVoltageB(), voltageB);
    EXPECT_EQ(voltageA->parentWidget(), w.form.InfoPanelA());
    EXPECT_EQ(voltageB->parentWidget(), w.form.InfoPanelB());
    EXPECT_TRUE(voltageA->MouseSensitive());
    EXPECT_EQ(voltageB->ControlType(), 2);
    EXPECT_EQ(w.Find<QLabel>("TimeVoltageCaptionA")->text(), "U(t)");
    EXPECT_EQ(w.Find<QLabel>("TimeVoltageCaptionB")->text(), "U(t)");
    EXPECT_EQ(w.Find<QWidget>("StartButton")->toolTip(), "Start measurement");

    w.form.show();
    w.form.resize(1000, 750);
    w.form.FormResize();
    // The information panels are group boxes without a caption, each showing its channel's icon
    // in the channel's colour inside it once start-up has refreshed them.
    w.components.InitializeApplication();
    const auto holds = [](const QImage& image, QColor color) {
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y) == color) return true;
        return false;
    };
    for (const auto& [panel, iconName, color] :
         {std::tuple{w.form.InfoPanelA(), "InfoIconA", scope.ColorChannelA()},
          std::tuple{w.form.InfoPanelB(), "InfoIconB", scope.ColorChannelB()}}) {
        EXPECT_NE(qobject_cast<QGroupBox*>(panel), nullptr) << iconName;
        auto* icon = w.Find<QLabel>(iconName);
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(icon->parentWidget(), panel);
        EXPECT_TRUE(panel->rect().contains(icon->geometry())) << iconName;
        EXPECT_TRUE(holds(icon->pixmap().toImage(), display::ToQColor(color))) << iconName;
    }
    auto* slideA = w.Find<display::TVerticalSlideLyra>("VerticalSlideA");
    EXPECT_EQ(slideA->BarHeight(), w.form.Layout().slideBarHeightA);
    EXPECT_EQ(slideA->BarHeight(), slideA->height() - 15);
    EXPECT_EQ(scope.MaxChannelA(), slideA->BarHeight());
    w.form.FormClose();
}

TEST_F(MainWindowGroups, ClicksOnThePanelsReachTheModel) {
    Window w(boxes, control);
    core::TVirtualScopeLyraRM& scope = w.components.VirtualScopeLyraRM1();
    w.components.InitializeApplication();
    w.form.show();
    scope.SetDensityChannelA(3);
    scope.NotifyListeners(2, 255);

    QTest::mouseClick(w.Find<display::TChannelIndicationButtonLyra>("RangeUpAButton"), Qt::LeftButton);
    EXPECT_EQ(scope.DensityChannelA(), 4);
    EXPECT_EQ(w.Find<display::TUnitValueLabel>("DensityValueA")->MainValue(), scope.DeflectionFactor(100));
    QTest::mouseClick(w.Find<display::TChannelIndicationButtonLyra>("ProbeBButton"), Qt::LeftButton);
    EXPECT_EQ(w.Find<QLabel>("InfoProbeB")->text(), "  1:10");
    QTest::mouseClick(w.Find<controls::TOnOffButtonLyra>("RollButton"), Qt::LeftButton);
    EXPECT_FALSE(scope.ModeEKG());
    QTest::mouseClick(w.Find<controls::TOnOffButtonLyra>("StartButton"), Qt::LeftButton);
    EXPECT_TRUE(scope.MeasurementStarted());
    EXPECT_FALSE(w.Find<QScrollBar>("GridBrightnessBar")->isEnabled());
    EXPECT_FALSE(w.Find<controls::TOnOffButtonLyra>("SaveButton")->isEnabled());
    QTest::mouseClick(w.Find<controls::TOnOffButtonLyra>("StopButton"), Qt::LeftButton);
    EXPECT_FALSE(scope.MeasurementStarted());
    w.form.FormClose();
}

TEST_F(MainWindowGroups, AFailedRecordWriteIsReportedFromTheEventLoop) {
    // A record file is a regular file; the process's file-size limit stands for a full medium.
    Window w(boxes, control);
    core::TVirtualScopeLyraRM& scope = w.components.VirtualScopeLyraRM1();
    w.components.InitializeApplication();
    boxes.texts.clear();
    const std::string name = (QDir::currentPath() + "/full.rmd").toStdString();
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct sigaction ignore {}, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &previous);
    rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    scope.OpenRecordFile(name);
    scope.SetSavingActivated(true);
    scope.NotifyListeners(2, 255);
    auto* save = w.Find<controls::TOnOffButtonLyra>("SaveButton");
    ASSERT_TRUE(scope.ActualOutputStream() != nullptr);
    EXPECT_TRUE(save->Down());

    std::vector<uint16_t> words(4096, 0x1234);
    scope.AppendToRecordFile(words.data(), static_cast<uint32_t>(words.size()));
    scope.FlushRecordFile();
    setrlimit(RLIMIT_FSIZE, &old);
    sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_TRUE(boxes.texts.empty());  // shown from the event loop, not from the writer
    ASSERT_TRUE(ProcessUntil([&] { return !boxes.texts.empty(); }));
    EXPECT_EQ(boxes.texts[0], "Write to file " + name + " failed. Saving is switched off.");
    EXPECT_FALSE(scope.SavingActivated());
    EXPECT_FALSE(save->Down());
    EXPECT_EQ(scope.FileSize(), 0.0);
    w.form.FormClose();
}

TEST_F(MainWindowGroups, SettingsMadeOnThePanelsSurviveARestart) {
    {
        Window w(boxes, control);
        w.components.InitializeApplication();
        ASSERT_FALSE(boxes.texts.empty());
        EXPECT_EQ(boxes.texts[0], "File RollMode.ini is missing.");
        w.form.show();
        core::TVirtualScopeLyraRM& scope = w.components.VirtualScopeLyraRM1();
        scope.SetDensityChannelB(2);
        scope.NotifyListeners(2, 255);
        QTest::mouseClick(w.Find<display::TChannelIndicationButtonLyra>("RangeUpBButton"), Qt::LeftButton);
        QTest::mouseClick(w.Find<controls::TOnOffButtonLyra>("DefinedButton"), Qt::LeftButton);
        auto* length = w.Find<controls::TLongerTimeEditLyraRM>("LengthEdit");
        length->clear();
        QTest::keyClicks(length, "2m");
        QTest::keyClick(length, Qt::Key_Return);
        auto* bar = w.Find<QScrollBar>("GridBrightnessBar");
        bar->setValue(40);
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        EXPECT_EQ(scope.GridBrightness(), 45);
        w.form.FormClose();
    }
    ASSERT_TRUE(QFile::exists("RollMode.ini"));
    boxes.texts.clear();
    Window w(boxes, control);
    w.components.InitializeApplication();
    core::TVirtualScopeLyraRM& scope = w.components.VirtualScopeLyraRM1();
    EXPECT_EQ(scope.DensityChannelB(), 3);
    EXPECT_TRUE(scope.MeasurementDefined());
    EXPECT_EQ(scope.MeasurementLength(), 120000u);
    EXPECT_EQ(scope.GridBrightness(), 45);
    EXPECT_EQ(w.Find<QScrollBar>("GridBrightnessBar")->value(), 45);
    EXPECT_TRUE(w.Find<controls::TOnOffButtonLyra>("DefinedButton")->Down());
    EXPECT_EQ(w.Find<QLineEdit>("SaveFileEdit")->text(), "sdata.rmd");
    for (const std::string& text : boxes.texts) EXPECT_NE(text, "File RollMode.ini is missing.");
    w.form.FormClose();
}

}  // namespace
