#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <gtest/gtest.h>

#include "ColorConversion.h"
#include "InformationPanelALyraRM.h"
#include "InformationPanelBLyraRM.h"
#include "NotificationCodes.h"
#include "VirtualScopeLyraRM.h"

namespace rollmode::display {
namespace {

using core::TVirtualScopeLyraRM;

// The main window's part of one channel's strip.
struct Strip {
    QLabel probe, acdc, channel, icon;
    QGroupBox frame;
    QFrame swatch;
    TUnitValueLabel density, trigger;
    Strip() {
        density.SetControlType(kUnitMillivoltsPerDivision);
        trigger.SetControlType(kUnitMillivolts);
    }
};

class InformationPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        panelA.SetProbeA(&a.probe);
        panelA.SetAcdcA(&a.acdc);
        panelA.SetChannelA(&a.channel);
        panelA.SetIconA(&a.icon);
        panelA.SetFrameCanvasA(&a.frame);
        panelA.SetChannelColorA(&a.swatch);
        panelA.SetDensityA(&a.density);
        panelA.SetTriggerLevelVoltageA(&a.trigger);
        panelA.SetControlGroup(core::kGroupInformationPanels);
        panelA.SetVirtualScope(&scope);

        panelB.SetProbeB(&b.probe);
        panelB.SetAcdcB(&b.acdc);
        panelB.SetChannelColorB(&b.swatch);
        panelB.SetDensityB(&b.density);
        panelB.SetTriggerLevelVoltageB(&b.trigger);
        panelB.SetControlGroup(core::kGroupInformationPanels);
        panelB.SetVirtualScope(&scope);

        scope.SetSourceProbeA(2);
        scope.SetDensityChannelA(4);
        scope.SetSourceACDC_A(false);
        scope.SetTriggerLevelA(-1500);
        scope.SetColorChannelA(0x0040FF00);
        scope.SetSourceProbeB(1);
        scope.SetSourceACDC_B(true);
        scope.SetTriggerLevelB(2000);
        scope.SetColorChannelB(0x0000FFFF);
        scope.InitializeApplication();  // codes 6 and 1
    }

    Strip a, b;
    TVirtualScopeLyraRM scope;
    TInformationPanelALyraRM panelA;
    TInformationPanelBLyraRM panelB;
};

TEST_F(InformationPanelTest, StartupShowsEachChannelsSettings) {
    EXPECT_EQ(a.probe.text(), "  1:10");
    EXPECT_EQ(a.acdc.text(), "AC");
    EXPECT_EQ(a.trigger.MyString(), "-1.5V");
    EXPECT_EQ(a.density.MainValue(), scope.DeflectionFactor(TVirtualScopeLyraRM::kChannelA));
    EXPECT_FALSE(a.density.MyString().isEmpty());
    EXPECT_EQ(a.swatch.palette().color(QPalette::Window), QColor(0, 255, 64));

    // The icon, drawn in the channel's colour.
    const auto holds = [](const QLabel& icon, QColor color) {
        const QImage image = icon.pixmap().toImage();
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y) == color) return true;
        return false;
    };
    EXPECT_TRUE(holds(a.icon, QColor(0, 255, 64)));
    scope.SetColorChannelA(0x000000FF);
    scope.NotifyListeners(core::kNotifySettingsChanged, core::kGroupScope);
    EXPECT_TRUE(holds(a.icon, QColor(255, 0, 0)));
    EXPECT_FALSE(holds(a.icon, QColor(0, 255, 64)));

    EXPECT_EQ(b.probe.text(), "    1:1");
    EXPECT_EQ(b.acdc.text(), "DC");
    EXPECT_EQ(b.trigger.MyString(), "2V");
    EXPECT_EQ(b.density.MainValue(), scope.DeflectionFactor(TVirtualScopeLyraRM::kChannelB));
    EXPECT_EQ(b.swatch.palette().color(QPalette::Window), QColor(255, 255, 0));
}

TEST_F(InformationPanelTest, ChannelOffClearsTextsButKeepsTriggerAndColour) {
    const QString densityBefore = a.density.MyString();
    ASSERT_FALSE(densityBefore.isEmpty());
    scope.SetStatusChannelA(false);
    scope.SetColorChannelA(0x000000FF);
    scope.NotifyListeners(core::kNotifySettingsChanged, core::kGroupChannelControls);

    EXPECT_TRUE(a.probe.text().isEmpty());
    EXPECT_TRUE(a.acdc.text().isEmpty());
    EXPECT_TRUE(a.density.MyString().isEmpty());
    EXPECT_EQ(a.trigger.MyString(), "-1.5V");
    EXPECT_EQ(a.swatch.palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(b.acdc.text(), "DC");  // the other channel is untouched

    // Back on with the same settings: the deflection shows again.
    scope.SetStatusChannelA(true);
    scope.NotifyListeners(core::kNotifySettingsChanged, core::kGroupChannelControls);
    EXPECT_EQ(a.density.MyString(), densityBefore);
    EXPECT_EQ(a.acdc.text(), "AC");
}

TEST_F(InformationPanelTest, OnlyStartupAndSettingsChangesRefresh) {
    scope.SetSourceACDC_A(true);
    scope.NotifyListeners(core::kNotifyLayoutChanged, core::kGroupMainWindow);
    EXPECT_EQ(a.acdc.text(), "AC");
    scope.NotifyListeners(core::kNotifySettingsChanged, core::kGroupSourceControls);
    EXPECT_EQ(a.acdc.text(), "DC");
}

TEST_F(InformationPanelTest, ShutdownDetachesBothPanels) {
    scope.ShutdownApplication();
    EXPECT_EQ(panelA.VirtualScope(), nullptr);
    EXPECT_EQ(panelB.VirtualScope(), nullptr);
    EXPECT_EQ(scope.ListenerCount(), 0u);
}

TEST_F(InformationPanelTest, ControlsDestroyedFirstAreNotTouched) {
    auto* probe = new QLabel;
    panelA.SetProbeA(probe);
    delete probe;
    scope.NotifyListeners(core::kNotifySettingsChanged, core::kGroupSourceControls);
    EXPECT_EQ(panelA.ProbeA(), nullptr);
}

}  // namespace
}  // namespace rollmode::display
