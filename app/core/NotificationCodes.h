#pragma once
// Notification codes that the model broadcasts and the group numbers its listeners
// carry. Every listener sees every code; the group only says who sent it.
#include <cstdint>

namespace rollmode::core {

// Notification codes.
inline constexpr int32_t kNotifyStartup = 1;               // start-up complete: show state, start threads
inline constexpr int32_t kNotifySettingsChanged = 2;       // refresh from the model; settings dirty
inline constexpr int32_t kNotifyShutdown = 3;              // every listener unregisters itself
inline constexpr int32_t kNotifySetBackLevels = 4;         // the driver moved the vertical levels back
inline constexpr int32_t kNotifyLayoutChanged = 5;         // main window resized
inline constexpr int32_t kNotifyLoadStartupSettings = 6;   // read "RollMode.ini"
inline constexpr int32_t kNotifyDeviceReopened = 7;        // device connection lost and re-opened
inline constexpr int32_t kNotifySaveSettings = 8;          // write "RollModeSettings.dat"
inline constexpr int32_t kNotifyLoadSettings = 9;          // read "RollModeSettings.dat"
inline constexpr int32_t kNotifyCardiogramDisplay = 10;    // cardiogram display chosen
inline constexpr int32_t kNotifyRollDisplay = 11;          // rolling display chosen
inline constexpr int32_t kNotifyGridBrightness = 14;       // grid brightness changed: redraw
inline constexpr int32_t kNotifyRestoreDefaults = 15;      // restore defaults, write "RollMode.ini"

// Group numbers (a listener's ControlGroup, and the sender's group).
inline constexpr int32_t kGroupInformationPanels = 1;
inline constexpr int32_t kGroupDensityControls = 2;
inline constexpr int32_t kGroupSourceControls = 3;
inline constexpr int32_t kGroupVerticalShifts = 4;
inline constexpr int32_t kGroupFlowManager = 5;
inline constexpr int32_t kGroupAcquisitionThread = 5;      // sends with the flow manager's group
inline constexpr int32_t kGroupChannelControls = 6;
inline constexpr int32_t kGroupOpenSaveControls = 7;
inline constexpr int32_t kGroupTriggerControls = 8;
inline constexpr int32_t kGroupMeasurementRecordControls = 9;
inline constexpr int32_t kGroupSettings = 10;
inline constexpr int32_t kGroupModeDisplayControls = 11;
inline constexpr int32_t kGroupSweepControls = 12;
inline constexpr int32_t kGroupMainWindow = 13;
inline constexpr int32_t kGroupTimeBaseControls = 14;
inline constexpr int32_t kGroupColorDialog = 14;           // the colour dialog's result is sent as 14
inline constexpr int32_t kGroupDataSource = 16;
inline constexpr int32_t kGroupCardiogramScreen = 16;
inline constexpr int32_t kGroupRollScreen = 17;
inline constexpr int32_t kGroupArmControls = 18;
inline constexpr int32_t kGroupScope = 255;                // the model itself

}  // namespace rollmode::core
