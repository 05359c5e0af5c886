#include <gtest/gtest.h>

#include <memory>

#include <QTest>
#include <QToolButton>
#include <QWidget>

#include "ArmControlsLyraRM.h"
#include "GroupTestSupport.h"
#include "NotificationCodes.h"
#include "TriggerControlsLyraRM.h"

using namespace rollmode;
using controls::TOnOffButtonLyra;
using controls::TVoltageValueEditLyra;
using grouptest::NotificationRecorder;

namespace {

class TriggerArmGroups : public ::testing::Test {
protected:
    void SetUp() override {
        host = std::make_unique<QWidget>();
        host->resize(320, 200);
        trigSourceA = new TOnOffButtonLyra(host.get());
        trigSourceB = new TOnOffButtonLyra(host.get());
        trigUnderA = new QToolButton(host.get());
        trigUnderB = new QToolButton(host.get());
        trigLevelA = new TVoltageValueEditLyra(host.get());
        trigLevelB = new TVoltageValueEditLyra(host.get());
        relation = new QToolButton(host.get());
        armSourceA = new TOnOffButtonLyra(host.get());
        armSourceB = new TOnOffButtonLyra(host.get());
        armExternal = new TOnOffButtonLyra(host.get());
        armUnderA = new QToolButton(host.get());
        armUnderB = new QToolButton(host.get());
        armUnderExternal = new QToolButton(host.get());
        armLevelA = new TVoltageValueEditLyra(host.get());
        armLevelB = new TVoltageValueEditLyra(host.get());
        int top = 0;
        for (QWidget* w : host->findChildren<QWidget*>()) {
            w->setGeometry(0, top, 80, 20);
            top += 21;
            if (top > 180) top = 0;
        }

        trigger.SetTriggerSourceA(trigSourceA);
        trigger.SetTriggerSourceB(trigSourceB);
        trigger.SetTrigUnderOverA(trigUnderA);
        trigger.SetTrigUnderOverB(trigUnderB);
        trigger.SetTriggerLevelEditA(trigLevelA);
        trigger.SetTriggerLevelEditB(trigLevelB);
        trigger.SetTrigRelation(relation);
        arm.SetArmSourceA(armSourceA);
        arm.SetArmSourceB(armSourceB);
        arm.SetExternalSource(armExternal);
        arm.SetTrigUnderOverA(armUnderA);
        arm.SetTrigUnderOverB(armUnderB);
        arm.SetTrigUnderOverExternal(armUnderExternal);
        arm.SetArmLevelEditA(armLevelA);
        arm.SetArmLevelEditB(armLevelB);
        trigger.SetVirtualScope(&scope);
        arm.SetVirtualScope(&scope);
        host->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(host.get()));
        grouptest::StartModel(scope, recorder);
    }

    // Selects the edit's text and types over it, as a user would.
    static void TypeOver(TVoltageValueEditLyra* edit, const char* text) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, QString::fromLatin1(text));
    }

    void ExpectOnlySent(int32_t group, std::size_t times) {
        ASSERT_EQ(recorder.seen.size(), times);
        for (const auto& [code, sender] : recorder.seen) {
            EXPECT_EQ(code, core::kNotifySettingsChanged);
            EXPECT_EQ(sender, group);
        }
    }

    core::TVirtualScopeLyraRM scope;
    std::unique_ptr<QWidget> host;
    controls::TTriggerControlsLyraRM trigger;
    controls::TArmControlsLyraRM arm;
    NotificationRecorder recorder;

    TOnOffButtonLyra* trigSourceA;
    TOnOffButtonLyra* trigSourceB;
    QToolButton* trigUnderA;
    QToolButton* trigUnderB;
    TVoltageValueEditLyra* trigLevelA;
    TVoltageValueEditLyra* trigLevelB;
    QToolButton* relation;
    TOnOffButtonLyra* armSourceA;
    TOnOffButtonLyra* armSourceB;
    TOnOffButtonLyra* armExternal;
    QToolButton* armUnderA;
    QToolButton* armUnderB;
    QToolButton* armUnderExternal;
    TVoltageValueEditLyra* armLevelA;
    TVoltageValueEditLyra* armLevelB;
};

}  // namespace

TEST_F(TriggerArmGroups, StartUpShowsTheModel) {
    EXPECT_EQ(trigger.ControlGroup(), 8);
    EXPECT_EQ(arm.ControlGroup(), 18);
    // Initial model: levels 200 and 2000 mV, sources off, over, relation OR.
    EXPECT_EQ(trigLevelA->text(), "200m");
    EXPECT_EQ(trigLevelB->text(), "2");
    EXPECT_FALSE(trigSourceA->Down());
    EXPECT_EQ(trigUnderA->text(), ">");
    EXPECT_EQ(relation->text(), "OR");
    EXPECT_FALSE(relation->isEnabled());
    EXPECT_EQ(armLevelA->text(), "0m");
    EXPECT_EQ(armUnderExternal->text(), "1");
}

TEST_F(TriggerArmGroups, TriggerClicksToggleTheModelAndTheRefreshRedrawsThem) {
    QTest::mouseClick(trigSourceA, Qt::LeftButton);
    EXPECT_TRUE(scope.TriggerSourceA());
    EXPECT_TRUE(trigSourceA->Down());
    QTest::mouseClick(trigUnderB, Qt::LeftButton);
    EXPECT_TRUE(scope.TriggerUnderB());
    EXPECT_EQ(trigUnderB->text(), "<");
    EXPECT_EQ(trigUnderA->text(), ">");
    QTest::mouseClick(trigUnderB, Qt::LeftButton);
    EXPECT_FALSE(scope.TriggerUnderB());
    EXPECT_EQ(trigUnderB->text(), ">");
    QTest::mouseClick(trigSourceA, Qt::LeftButton);
    EXPECT_FALSE(scope.TriggerSourceA());
    EXPECT_FALSE(trigSourceA->Down());
    ExpectOnlySent(8, 4);
}

TEST_F(TriggerArmGroups, RelationNeedsBothSourcesAndShowsTheStoredRelation) {
    scope.SetTriggerRelation(true);
    QTest::mouseClick(trigSourceA, Qt::LeftButton);
    EXPECT_FALSE(relation->isEnabled());
    EXPECT_EQ(relation->text(), "AND");
    QTest::mouseClick(relation, Qt::LeftButton);  // disabled: nothing happens
    EXPECT_TRUE(scope.TriggerRelation());

    QTest::mouseClick(trigSourceB, Qt::LeftButton);
    EXPECT_TRUE(relation->isEnabled());
    QTest::mouseClick(relation, Qt::LeftButton);
    EXPECT_FALSE(scope.TriggerRelation());
    EXPECT_EQ(relation->text(), "OR");
}

TEST_F(TriggerArmGroups, AMeasurementLocksTheTriggerButNotTheArm) {
    QTest::mouseClick(trigSourceA, Qt::LeftButton);
    QTest::mouseClick(trigSourceB, Qt::LeftButton);
    ASSERT_TRUE(relation->isEnabled());
    scope.SetMeasurementStarted(true);
    scope.NotifyListeners(core::kNotifySettingsChanged, core::kGroupMeasurementRecordControls);

    for (QWidget* w : {static_cast<QWidget*>(trigSourceA), static_cast<QWidget*>(trigSourceB),
                       static_cast<QWidget*>(trigUnderA), static_cast<QWidget*>(trigUnderB),
                       static_cast<QWidget*>(trigLevelA), static_cast<QWidget*>(trigLevelB),
                       static_cast<QWidget*>(relation)}) {
        EXPECT_FALSE(w->isEnabled()) << w->metaObject()->className();
    }
    for (QWidget* w : {static_cast<QWidget*>(armSourceA), static_cast<QWidget*>(armSourceB),
                       static_cast<QWidget*>(armExternal), static_cast<QWidget*>(armUnderA),
                       static_cast<QWidget*>(armUnderB), static_cast<QWidget*>(armUnderExternal),
                       static_cast<QWidget*>(armLevelA), static_cast<QWidget*>(armLevelB)}) {
        EXPECT_TRUE(w->isEnabled()) << w->metaObject()->className();
    }
    // The arm still works while measuring.
    QTest::mouseClick(armSourceB, Qt::LeftButton);
    EXPECT_TRUE(scope.ARMSourceB());

    scope.SetMeasurementStarted(false);
    scope.NotifyListeners(core::kNotifySettingsChanged, core::kGroupMeasurementRecordControls);
    EXPECT_TRUE(trigLevelA->isEnabled());
    EXPECT_TRUE(relation->isEnabled());
}

TEST_F(TriggerArmGroups, LevelIsTakenOnEnterOnly) {
    TypeOver(trigLevelA, "250m");
    EXPECT_EQ(scope.TriggerLevelA(), 200.0);
    EXPECT_TRUE(recorder.seen.empty());

    QTest::keyClick(trigLevelA, Qt::Key_Return);
    EXPECT_EQ(scope.TriggerLevelA(), 250.0);
    EXPECT_EQ(trigLevelA->text(), "250m");
    ExpectOnlySent(8, 1);

    // Volts on the keypad's Enter, on channel B.
    TypeOver(trigLevelB, "-1.5");
    QTest::keyClick(trigLevelB, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(scope.TriggerLevelB(), -1500.0);
    EXPECT_EQ(trigLevelB->text(), "-1.5");
    EXPECT_EQ(scope.TriggerLevelA(), 250.0);
}

TEST_F(TriggerArmGroups, UnparsableLevelPutsTheModelsLevelBack) {
    TypeOver(trigLevelA, "1-");
    QTest::keyClick(trigLevelA, Qt::Key_Return);
    EXPECT_EQ(scope.TriggerLevelA(), 200.0);
    EXPECT_EQ(trigLevelA->text(), "200m");

    TypeOver(armLevelB, "m5");
    QTest::keyClick(armLevelB, Qt::Key_Return);
    EXPECT_EQ(scope.ARMLevelB(), 0.0);
    EXPECT_EQ(armLevelB->text(), "0m");
}

TEST_F(TriggerArmGroups, ArmClicksAndLevels) {
    QTest::mouseClick(armExternal, Qt::LeftButton);
    EXPECT_TRUE(scope.ARMSourceExternal());
    EXPECT_TRUE(armExternal->Down());
    QTest::mouseClick(armUnderExternal, Qt::LeftButton);
    EXPECT_TRUE(scope.ARMUnderExternal());
    EXPECT_EQ(armUnderExternal->text(), "0");
    QTest::mouseClick(armUnderA, Qt::LeftButton);
    EXPECT_TRUE(scope.ARMUnderA());
    EXPECT_EQ(armUnderA->text(), "<");
    EXPECT_EQ(armUnderB->text(), ">");
    QTest::mouseClick(armSourceA, Qt::LeftButton);
    EXPECT_TRUE(scope.ARMSourceA());
    EXPECT_FALSE(scope.ARMSourceB());

    TypeOver(armLevelA, "150m");
    QTest::keyClick(armLevelA, Qt::Key_Return);
    EXPECT_EQ(scope.ARMLevelA(), 150.0);
    EXPECT_EQ(scope.ARMLevelB(), 0.0);
    EXPECT_EQ(scope.TriggerLevelA(), 200.0);
    ExpectOnlySent(18, 5);
}

TEST_F(TriggerArmGroups, ReplacedWidgetNoLongerDrivesTheGroup) {
    auto* other = new TOnOffButtonLyra(host.get());
    other->setGeometry(200, 0, 60, 20);
    trigger.SetTriggerSourceA(other);
    QTest::mouseClick(trigSourceA, Qt::LeftButton);
    EXPECT_FALSE(scope.TriggerSourceA());
    QTest::mouseClick(other, Qt::LeftButton);
    EXPECT_TRUE(scope.TriggerSourceA());
    EXPECT_TRUE(other->Down());

    trigger.SetTriggerSourceA(nullptr);
    EXPECT_EQ(trigger.TriggerSourceA(), nullptr);
    scope.NotifyListeners(core::kNotifySettingsChanged, core::kGroupScope);  // refresh without it
}

TEST_F(TriggerArmGroups, ShutdownDetachesBothGroups) {
    scope.ShutdownApplication();
    EXPECT_EQ(trigger.VirtualScope(), nullptr);
    EXPECT_EQ(arm.VirtualScope(), nullptr);
    EXPECT_EQ(scope.ListenerCount(), 0u);
    // Clicks after shutdown change nothing.
    QTest::mouseClick(trigSourceB, Qt::LeftButton);
    EXPECT_FALSE(scope.TriggerSourceB());
}
