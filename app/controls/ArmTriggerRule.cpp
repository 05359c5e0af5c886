#include "ArmTriggerRule.h"

#include "ResourceStringsLyraRM.h"

namespace rollmode::controls {

namespace {

struct ChannelConditions {
    bool triggerSource;
    bool armSource;
    bool triggerUnder;
    bool armUnder;
    double triggerLevel;
    double armLevel;
};

bool Consistent(const ChannelConditions& c) {
    if (!c.triggerSource || !c.armSource) return true;
    if (c.triggerUnder && !c.armUnder && c.armLevel > c.triggerLevel) return false;
    if (!c.triggerUnder && c.armUnder && c.armLevel < c.triggerLevel) return false;
    return true;
}

}  // namespace

bool ArmTriggerConsistent(const core::TVirtualScopeLyraRM& m) {
    const ChannelConditions a{m.TriggerSourceA(), m.ARMSourceA(),    m.TriggerUnderA(),
                              m.ARMUnderA(),      m.TriggerLevelA(), m.ARMLevelA()};
    const ChannelConditions b{m.TriggerSourceB(), m.ARMSourceB(),    m.TriggerUnderB(),
                              m.ARMUnderB(),      m.TriggerLevelB(), m.ARMLevelB()};
    return Consistent(a) && Consistent(b);
}

bool ConfirmArmTriggerConsistent(const core::TVirtualScopeLyraRM& model, core::MessageBoxService* messages) {
    if (ArmTriggerConsistent(model)) return true;
    if (messages != nullptr) messages->Show(strings::kArmTriggerConflict, core::MsgButtons::Ok, core::MsgIcon::Warning);
    return false;
}

}  // namespace rollmode::controls
