#include "ArmTriggerRule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace rollmode;

namespace {

struct RecordedBox {
    std::string text;
    core::MsgButtons buttons;
    core::MsgIcon icon;
};

class BoxRecorder final : public core::MessageBoxService {
public:
    core::MsgResult Show(const std::string& text, core::MsgButtons buttons, core::MsgIcon icon) override {
        boxes.push_back({text, buttons, icon});
        return core::MsgResult::Ok;
    }
    std::vector<RecordedBox> boxes;
};

// Trigger and arm both on channel A with the given sides and levels.
void OnChannelA(core::TVirtualScopeLyraRM& m, bool triggerUnder, double triggerLevel, bool armUnder, double armLevel) {
    m.SetTriggerSourceA(true);
    m.SetARMSourceA(true);
    m.SetTriggerUnderA(triggerUnder);
    m.SetTriggerLevelA(triggerLevel);
    m.SetARMUnderA(armUnder);
    m.SetARMLevelA(armLevel);
}

}  // namespace

TEST(ArmTriggerRule, TriggerUnderWithArmOverAboveTheLevelConflicts) {
    core::TVirtualScopeLyraRM m;
    OnChannelA(m, /*triggerUnder*/ true, 100, /*armUnder*/ false, 150);
    EXPECT_FALSE(controls::ArmTriggerConsistent(m));
    m.SetARMLevelA(100);  // equal levels are consistent
    EXPECT_TRUE(controls::ArmTriggerConsistent(m));
    m.SetARMLevelA(50);
    EXPECT_TRUE(controls::ArmTriggerConsistent(m));
    // The same sides the other way round: arm under, trigger under never conflicts.
    m.SetARMLevelA(150);
    m.SetARMUnderA(true);
    EXPECT_TRUE(controls::ArmTriggerConsistent(m));
}

TEST(ArmTriggerRule, TriggerOverWithArmUnderBelowTheLevelConflictsOnChannelB) {
    core::TVirtualScopeLyraRM m;
    m.SetTriggerSourceB(true);
    m.SetARMSourceB(true);
    m.SetTriggerUnderB(false);
    m.SetTriggerLevelB(0);
    m.SetARMUnderB(true);
    m.SetARMLevelB(-10);
    EXPECT_FALSE(controls::ArmTriggerConsistent(m));
    m.SetARMLevelB(0);
    EXPECT_TRUE(controls::ArmTriggerConsistent(m));
    m.SetARMLevelB(-10);
    m.SetARMSourceB(false);  // not both sources on B: never tested
    EXPECT_TRUE(controls::ArmTriggerConsistent(m));
}

TEST(ArmTriggerRule, OnlyChannelsThatAreBothSourcesCount) {
    core::TVirtualScopeLyraRM m;
    // Conflicting sides and levels on A, but A only triggers while B arms.
    m.SetTriggerSourceA(true);
    m.SetTriggerUnderA(true);
    m.SetTriggerLevelA(100);
    m.SetARMUnderA(false);
    m.SetARMLevelA(150);
    m.SetARMSourceB(true);
    m.SetARMSourceExternal(true);
    m.SetARMUnderExternal(true);
    EXPECT_TRUE(controls::ArmTriggerConsistent(m));
    // A consistent A does not hide a conflict on B.
    OnChannelA(m, true, 100, true, 100);
    m.SetTriggerSourceB(true);
    m.SetTriggerUnderB(false);
    m.SetTriggerLevelB(500);
    m.SetARMUnderB(true);
    m.SetARMLevelB(400);
    EXPECT_FALSE(controls::ArmTriggerConsistent(m));
}

TEST(ArmTriggerRule, ConfirmShowsTheConflictWarningOnlyWhenItFails) {
    core::TVirtualScopeLyraRM m;
    BoxRecorder boxes;
    EXPECT_TRUE(controls::ConfirmArmTriggerConsistent(m, &boxes));
    EXPECT_TRUE(boxes.boxes.empty());

    OnChannelA(m, true, 100, false, 150);
    EXPECT_FALSE(controls::ConfirmArmTriggerConsistent(m, &boxes));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Arm and Trigger settings conflict.");
    EXPECT_EQ(boxes.boxes[0].buttons, core::MsgButtons::Ok);
    EXPECT_EQ(boxes.boxes[0].icon, core::MsgIcon::Warning);
    // Without a message service the answer is the same.
    EXPECT_FALSE(controls::ConfirmArmTriggerConsistent(m, nullptr));
}
