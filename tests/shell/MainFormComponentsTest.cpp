#include "MainFormComponents.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

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

// The settings files go to the current directory: a fresh one per test.
class MainFormComponentsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        saved = QDir::currentPath();
        QDir::setCurrent(folder.path());
    }
    void TearDown() override { QDir::setCurrent(saved); }
    QTemporaryDir folder;
    QString saved;
};
}  // namespace

TEST_F(MainFormComponentsTest, CaptionFollowsTheRealModelFromStartToShutdown) {
    AnswerYes messages;
    shell::QtApplicationControl control;
    shell::TMainForm form(&control);
    shell::MainFormComponents components(form, messages, control);
    WithoutDriverLibrary(components);
    core::TVirtualScopeLyraRM& scope = components.VirtualScopeLyraRM1();
    // Flow manager, data source, settings, both screens, the information panels and
    // the control groups, then the main window's caption handler.
    const std::vector<int32_t> order = {core::kGroupFlowManager,
                                        core::kGroupDataSource,
                                        core::kGroupSettings,
                                        core::kGroupRollScreen,
                                        core::kGroupCardiogramScreen,
                                        core::kGroupInformationPanels,
                                        core::kGroupInformationPanels,
                                        core::kGroupDensityControls,
                                        core::kGroupSourceControls,
                                        core::kGroupVerticalShifts,
                                        core::kGroupChannelControls,
                                        core::kGroupOpenSaveControls,
                                        core::kGroupTriggerControls,
                                        core::kGroupMeasurementRecordControls,
                                        core::kGroupModeDisplayControls,
                                        core::kGroupSweepControls,
                                        core::kGroupTimeBaseControls,
                                        core::kGroupArmControls,
                                        13};
    std::vector<int32_t> groups;
    for (std::size_t i = 0; i < scope.ListenerCount(); ++i) groups.push_back(scope.ListenerGroup(i));
    EXPECT_EQ(groups, order);
    EXPECT_EQ(scope.RangeTable(), components.VirtualDriverLyraRM1().RangeTablePointer());

    components.InitializeApplication();
    ASSERT_EQ(messages.texts.size(), 2u);
    EXPECT_EQ(messages.texts[0], "File RollMode.ini is missing.");
    EXPECT_EQ(messages.texts[1], "Driver PeltaRMDrv.Dll not present. Continue?");
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

TEST_F(MainFormComponentsTest, WindowOutlivingTheComponentsNoLongerReachesThem) {
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
