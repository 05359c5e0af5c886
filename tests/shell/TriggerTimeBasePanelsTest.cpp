// The trigger, ARM, time base and sweep panels of the real main window, wired to
// the real model by the main window's components.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <QGroupBox>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>

#include "MainFormComponents.h"
#include "MainScreen.h"
#include "NotificationCodes.h"
#include "OnOffButtonLyra.h"
#include "QtApplicationControl.h"
#include "UnitValueLabel.h"
#include "VirtualDriverLyraRM.h"
#include "VirtualScopeLyraRM.h"
#include "VoltageValueEditLyra.h"
#include "ports/MessageBoxService.h"

using namespace rollmode;

namespace {

class AnswerYes final : public core::MessageBoxService {
public:
    core::MsgResult Show(const std::string&, core::MsgButtons, core::MsgIcon) override { return core::MsgResult::Yes; }
};

template <typename W>
W* In(shell::TMainForm& form, const char* panel, const char* name) {
    QGroupBox* box = form.Panel(QString::fromLatin1(panel));
    return box == nullptr ? nullptr : box->findChild<W*>(QString::fromLatin1(name));
}

}  // namespace

TEST(TriggerTimeBasePanels, GroupsRegisterAndDriveTheModelFromTheMainWindow) {
    AnswerYes messages;
    shell::QtApplicationControl control;
    shell::TMainForm form(&control);
    shell::MainFormComponents components(form, messages, control);
    components.VirtualDriverLyraRM1().SetLibraryName("NoSuchDriverLibrary.dll");
    core::TVirtualScopeLyraRM& scope = components.VirtualScopeLyraRM1();

    std::vector<int32_t> groups;
    for (std::size_t i = 0; i < scope.ListenerCount(); ++i) groups.push_back(scope.ListenerGroup(i));
    for (int32_t g : {core::kGroupTriggerControls, core::kGroupSweepControls, core::kGroupTimeBaseControls,
                      core::kGroupArmControls}) {
        EXPECT_EQ(std::count(groups.begin(), groups.end(), g), 1) << g;
    }

    auto* triggerB = In<controls::TOnOffButtonLyra>(form, "TriggerPanel", "TriggerBButton");
    auto* relation = In<QToolButton>(form, "TriggerPanel", "TriggerRelationButton");
    auto* levelA = In<controls::TVoltageValueEditLyra>(form, "TriggerPanel", "TriggerLevelAEdit");
    auto* armExternal = In<controls::TOnOffButtonLyra>(form, "ARMPanel", "ArmExternalButton");
    auto* smpBar = In<QScrollBar>(form, "TimeBasePanel", "SMPScrollBar");
    auto* dspBar = In<QScrollBar>(form, "TimeBasePanel", "DSPScrollBar");
    auto* perDivision = In<display::TUnitValueLabel>(form, "TimeBasePanel", "SecondPerDivider");
    auto* average = In<controls::TOnOffButtonLyra>(form, "SweepPanel", "AverageButton");
    ASSERT_TRUE(triggerB && relation && levelA && armExternal && smpBar && dspBar && perDivision && average);
    // The lamps of the panels are still there.
    EXPECT_NE(form.TriggerLamp(), nullptr);
    EXPECT_NE(form.ArmLamp(), nullptr);
    EXPECT_EQ(triggerB->toolTip(), "Trigger source channel B");
    EXPECT_EQ(smpBar->toolTip(), "Set sampling rate");
    EXPECT_EQ(average->toolTip(), "Display averages");

    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    components.InitializeApplication();
    EXPECT_EQ(smpBar->maximum(), 14);
    EXPECT_EQ(smpBar->value(), scope.SMPSetting());
    EXPECT_EQ(dspBar->value(), 16 - scope.DSPSetting());
    EXPECT_EQ(levelA->text(), "200m");
    EXPECT_EQ(relation->text(), "OR");

    QTest::mouseClick(triggerB, Qt::LeftButton);
    EXPECT_TRUE(scope.TriggerSourceB());
    QTest::mouseClick(average, Qt::LeftButton);
    EXPECT_TRUE(scope.MakeAvg());
    EXPECT_FALSE(scope.MakeMaximum());
    QTest::keyClick(dspBar, Qt::Key_End);
    EXPECT_EQ(scope.DSPSetting(), 0);
    EXPECT_EQ(perDivision->MyString(), "0.1s/d");

    // While measuring, the trigger is locked and the arm is not.
    scope.SetMeasurementStarted(true);
    scope.NotifyListeners(core::kNotifySettingsChanged, core::kGroupMeasurementRecordControls);
    EXPECT_FALSE(triggerB->isEnabled());
    EXPECT_FALSE(levelA->isEnabled());
    EXPECT_TRUE(armExternal->isEnabled());
    QTest::mouseClick(armExternal, Qt::LeftButton);
    EXPECT_TRUE(scope.ARMSourceExternal());
    scope.SetMeasurementStarted(false);

    form.FormClose();
    EXPECT_EQ(scope.ListenerCount(), 0u);
}
