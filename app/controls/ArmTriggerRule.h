#pragma once
// The arm/trigger consistency rule the measurement start checks. Free of Qt.
#include "VirtualScopeLyraRM.h"
#include "ports/MessageBoxService.h"

namespace rollmode::controls {

// False when a channel that is both a trigger and an arm source has its arm
// condition on the far side of its trigger level: trigger under with arm over above
// the trigger level, or trigger over with arm under below it. Equal levels pass; the
// external arm input takes no part.
bool ArmTriggerConsistent(const core::TVirtualScopeLyraRM& model);

// The rule as the start button applies it: when it fails, "Arm and Trigger settings
// conflict." is shown in a warning box with OK (when `messages` is set).
bool ConfirmArmTriggerConsistent(const core::TVirtualScopeLyraRM& model, core::MessageBoxService* messages);

}  // namespace rollmode::controls
