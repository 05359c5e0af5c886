#include "MainFormComponents.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include <QApplication>

#include "MainScreen.h"
#include "QtApplicationControl.h"
#include "QtMessageBoxService.h"
#include "VirtualDriverLyraRM.h"
#include "VirtualScopeLyraRM.h"

using namespace rollmode;

TEST(MainFormComponents, CaptionFollowsTheRealModelFromStartToShutdown) {
    shell::QtMessageBoxService messages;
    shell::QtApplicationControl control;
    shell::TMainForm form(&control);
    shell::MainFormComponents components(form, messages, control);
    core::TVirtualScopeLyraRM& scope = components.VirtualScopeLyraRM1();
    EXPECT_EQ(scope.ListenerCount(), 1u);
    EXPECT_EQ(scope.ListenerGroup(0), 13);
    EXPECT_EQ(scope.RangeTable(), components.VirtualDriverLyraRM1().RangeTablePointer());

    components.InitializeApplication();
    EXPECT_EQ(form.windowTitle(), "RollMode PeltaX      <-RUNNING IN DEMO MODE->");
    EXPECT_TRUE(form.HintsEnabled());

    // As after a device start: the driver library reports model index 3.
    const std::int32_t index = 3;
    std::memcpy(scope.RangeTable() + core::TVirtualScopeLyraRM::kDeviceModelIndexOffset, &index, sizeof index);
    components.VirtualDriverLyraRM1().SetDemoMode(false);
    scope.SetShowComixHelp(false);
    scope.NotifyListeners(2, 14);
    EXPECT_EQ(form.windowTitle(), "RollMode Pelta4");
    EXPECT_FALSE(form.HintsEnabled());

    form.FormClose();
    EXPECT_EQ(scope.ListenerCount(), 0u);
    EXPECT_FALSE(form.CoreAttached());
}

TEST(MainFormComponents, WindowOutlivingTheComponentsNoLongerReachesThem) {
    shell::QtMessageBoxService messages;
    shell::QtApplicationControl control;
    shell::TMainForm form(&control);
    {
        shell::MainFormComponents components(form, messages, control);
        components.InitializeApplication();
    }
    EXPECT_FALSE(form.CoreAttached());
    int group = 255;
    form.HandleNotification(2, group);  // reads nothing of the destroyed model
    EXPECT_EQ(form.windowTitle(), "RollMode Pelta");
    form.FormClose();
    EXPECT_TRUE(form.ShutdownDone());
}
