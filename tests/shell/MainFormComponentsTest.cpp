#include "MainFormComponents.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include <QApplication>

#include "MainScreen.h"
#include "QtApplicationControl.h"
#include "NotificationCodes.h"
#include "VirtualDriverLyraRM.h"
#include "VirtualScopeLyraRM.h"
#include "ports/MessageBoxService.h"

using namespace rollmode;

namespace {
// Answers every box with Yes and remembers the texts: without a driver library the
// program asks whether to go on in demo mode.
class AnswerYes final : public core::MessageBoxService {
public:
    core::MsgResult Show(const std::string& text, core::MsgButtons, core::MsgIcon) override {
        texts.push_back(text);
        return core::MsgResult::Yes;
    }
    std::vector<std::string> texts;
};

void WithoutDriverLibrary(shell::MainFormComponents& components) {
    components.VirtualDriverLyraRM1().SetLibraryName("NoSuchDriverLibrary.dll");
}
}  // namespace

TEST(MainFormComponents, CaptionFollowsTheRealModelFromStartToShutdown) {
    AnswerYes messages;
    shell::QtApplicationControl control;
    shell::TMainForm form(&control);
    shell::MainFormComponents components(form, messages, control);
    WithoutDriverLibrary(components);
    core::TVirtualScopeLyraRM& scope = components.VirtualScopeLyraRM1();
    // Flow manager, data source, both screens, the control groups, then the main
    // window's caption handler.
    ASSERT_GE(scope.ListenerCount(), 5u);
    EXPECT_EQ(scope.ListenerGroup(0), core::kGroupFlowManager);
    EXPECT_EQ(scope.ListenerGroup(1), core::kGroupDataSource);
    EXPECT_EQ(scope.ListenerGroup(2), core::kGroupRollScreen);
    EXPECT_EQ(scope.ListenerGroup(3), core::kGroupCardiogramScreen);
    EXPECT_EQ(scope.ListenerGroup(scope.ListenerCount() - 1), 13);
    EXPECT_EQ(scope.RangeTable(), components.VirtualDriverLyraRM1().RangeTablePointer());

    components.InitializeApplication();
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], "Driver PeltaRMDrv.Dll not present. Continue?");
    EXPECT_TRUE(components.VirtualDriverLyraRM1().DemoMode());
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
    AnswerYes messages;
    shell::QtApplicationControl control;
    shell::TMainForm form(&control);
    {
        shell::MainFormComponents components(form, messages, control);
        WithoutDriverLibrary(components);
        components.InitializeApplication();
    }
    EXPECT_FALSE(form.CoreAttached());
    int group = 255;
    form.HandleNotification(2, group);  // reads nothing of the destroyed model
    EXPECT_EQ(form.windowTitle(), "RollMode Pelta");
    form.FormClose();
    EXPECT_TRUE(form.ShutdownDone());
}
