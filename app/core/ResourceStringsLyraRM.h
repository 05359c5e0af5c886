#pragma once
// The program's string table: every text the user reads.
#include <string>

namespace rollmode::strings {

// Record file and settings files. "%s" stands for a file name or a value text.
inline constexpr const char* kCannotCreateFile = "Cannot create file ";
inline constexpr const char* kCannotCreateFileNamed = "Cannot create file %s";
inline constexpr const char* kRecordFileNotRegular = "%s is not a regular file. Saving is switched off.";
inline constexpr const char* kRecordWriteFailed = "Write to file %s failed. Saving is switched off.";
inline constexpr const char* kDefaultRecordFileName = "sdata.rmd";
inline constexpr const char* kRecordFileFilter = "Roll mode files (*.rmd)|*.rmd";
inline constexpr const char* kSettingsFileWorking = "RollMode.ini";
inline constexpr const char* kSettingsFileSaved = "RollModeSettings.dat";
inline constexpr const char* kSettingsHeader = "Inproper modification of this file may lead to SW malfunction";
inline constexpr const char* kWriteToFileFailed = "Write to file failed.";
inline constexpr const char* kFileMissingPrefix = "File ";
inline constexpr const char* kFileMissingSuffix = " is missing.";
inline constexpr const char* kErrorReadingFile = "Error reading file.";
inline constexpr const char* kNotValidInteger = "'%s' is not a valid integer value";
inline constexpr const char* kNotValidFloat = "'%s' is not a valid floating point value";

// Replaces the first "%s" of `pattern` with `value`.
inline std::string FormatText(const char* pattern, const std::string& value) {
    std::string text(pattern);
    const auto at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, value);
    return text;
}

inline constexpr const char* kDriverNotPresent = "Driver PeltaRMDrv.Dll not present. Continue?";
inline constexpr const char* kBraskNotInstalled = "The brask drivers are not installed";
inline constexpr const char* kDeviceNotPresentRetry = "Device not present. Retry?";
inline constexpr const char* kDeviceInitFailedRetry = "Device initialization failed. Retry?";
inline constexpr const char* kBrokenCalibration = "Broken calibration data. Please contact the manufacturer.";
inline constexpr const char* kUsbDriverMissingFunction =
    "USB driver is missing some function. Please install newest USB driver";
inline constexpr const char* kNotAvailable = "N/A";

// Value labels, information panels and edit widgets.
inline constexpr const char* kCouplingDC = "DC";
inline constexpr const char* kCouplingAC = "AC";

inline constexpr const char* kDriverLibraryName = "PeltaRMDrv.dll";

// Start-up, splash and main window.
inline constexpr const char* kInstanceMutexName = "VANTO_CORVO_SW";
// "%s" is the reason, a whole sentence ("The folder /tmp/x belongs to another user.").
inline constexpr const char* kFolderNotSafe = "%s The program cannot trust it and stops.";
inline constexpr const char* kDeviceInUse = "Device in use by another application";
inline constexpr const char* kSplashEnvironmentInit = "Application environment initialization";
inline constexpr const char* kSplashDeviceInit = "Device initialization";
inline constexpr const char* kMainFormCaption = "Roll Mode";
inline constexpr const char* kCaptionPrefix = "RollMode Pelta";
inline constexpr const char* kCaptionDemoModel = "X";
inline constexpr const char* kCaptionDemoSuffix = "      <-RUNNING IN DEMO MODE->";
inline constexpr const char* kDisplayOff = "Display off";

// Message box captions by kind.
inline constexpr const char* kMsgCaptionError = "Error";
inline constexpr const char* kMsgCaptionWarning = "Warning";
inline constexpr const char* kMsgCaptionInformation = "Information";
inline constexpr const char* kMsgCaptionConfirm = "Confirm";

// Panel captions of the main window.
inline constexpr const char* kPanelChannels = " Channels ";
inline constexpr const char* kPanelMode = " Mode ";
inline constexpr const char* kPanelSweep = " DSP/SMP ";
inline constexpr const char* kPanelSave = " Save ";
inline constexpr const char* kPanelTimeBase = "  SMP          Time Base           DSP    ";
inline constexpr const char* kPanelRecord = " Record ";
inline constexpr const char* kPanelTrigger = " Trigger ";
inline constexpr const char* kPanelArm = " ARM ";
inline constexpr const char* kPanelSource = " Source ";
inline constexpr const char* kPanelVertical = "Vertical";
inline constexpr const char* kPanelRange = " Range ";

// Button texts of the main window.
inline constexpr const char* kButtonA = "A";
inline constexpr const char* kButtonB = "B";
inline constexpr const char* kButtonE = "E";
inline constexpr const char* kButtonBeamFinder = "BF";
inline constexpr const char* kButtonLine = "Line";
inline constexpr const char* kButtonRew = "Rew";
inline constexpr const char* kButtonRoll = "Roll";
inline constexpr const char* kButtonDisplay = "Display  ";
inline constexpr const char* kButtonGrid = "Grid";
inline constexpr const char* kButtonSingle = "SNG";
inline constexpr const char* kButtonCalc = "Calc";
inline constexpr const char* kButtonClearScreen = "Clear Scr";
inline constexpr const char* kButtonClearFile = "CLF";
inline constexpr const char* kButtonSave = "Save";
inline constexpr const char* kButtonDefined = "DEF";
inline constexpr const char* kButtonContinuous = "Cont";
inline constexpr const char* kButtonTriggered = "TR";
inline constexpr const char* kButtonFree = "FR";
inline constexpr const char* kButtonStart = "Start";
inline constexpr const char* kButtonStop = "Stop";
inline constexpr const char* kButtonGround = "GND";
inline constexpr const char* kLabelTriggered = "TGD";
inline constexpr const char* kLabelArm = "ARM";
inline constexpr const char* kLabelSize = "Size:";
inline constexpr const char* kLabelLength = "Length:";
// The count of lost-data marks ("\xD7" is the Latin-1 multiplication sign).
inline constexpr const char* kLabelDataLost = "Data lost: %s\xD7";
inline constexpr const char* kDefaultRecordName = "sdata";

// Hints of the main window's controls.
inline constexpr const char* kHintChannelA = "Activate/deactivate channel A";
inline constexpr const char* kHintChannelB = "Activate/deactivate channel B";
inline constexpr const char* kHintBeamFinder = "Beam finder";
inline constexpr const char* kHintLineMode = "Line mode";
inline constexpr const char* kHintCardiogram = "Display like cardiogram";
inline constexpr const char* kHintRolling = "Display rolling waveform";
inline constexpr const char* kHintDisplay = "Activate/Deactivate measurement displaying";
inline constexpr const char* kHintAcDcA = "AC/DC switch channel A";
inline constexpr const char* kHintAcDcB = "AC/DC switch channel B";
inline constexpr const char* kHintProbeA = "Probe type channel A";
inline constexpr const char* kHintProbeB = "Probe type channel B";
inline constexpr const char* kHintGroundA = "Ground channel A";
inline constexpr const char* kHintGroundB = "Ground channel B";
inline constexpr const char* kHintMinimums = "Display minimums";
inline constexpr const char* kHintMaximums = "Display maximums";
inline constexpr const char* kHintAverages = "Display averages";
inline constexpr const char* kHintCalc = "Calculate max/min/avg";
inline constexpr const char* kHintSingle = "Display real sample value";
inline constexpr const char* kHintClearScreen = "Clear screen";
inline constexpr const char* kHintShiftUpA = "Shift up trace A";
inline constexpr const char* kHintShiftUpB = "Shift up trace B";
inline constexpr const char* kHintShiftDownA = "Shift down trace A";
inline constexpr const char* kHintShiftDownB = "Shift down trace B";
inline constexpr const char* kHintRangeDownA = "Decrease channel A deflection factor";
inline constexpr const char* kHintRangeDownB = "Decrease channel B deflection factor";
inline constexpr const char* kHintRangeUpA = "Increase channel A deflection factor";
inline constexpr const char* kHintRangeUpB = "Increase channel B deflection factor";
inline constexpr const char* kHintBrowse = "Browse for data file";
inline constexpr const char* kHintRecordSize = "Size of measurement record on disk";
inline constexpr const char* kHintSaving = "Activate/Deactivate measurement saving";
inline constexpr const char* kHintGridBrightness = "Adjust grid brightness";
inline constexpr const char* kHintGrid = "Grid On/Off";
inline constexpr const char* kHintSamplingRate = "Set sampling rate";
inline constexpr const char* kHintDisplayRate = "Set display rate";
inline constexpr const char* kHintTriggerA = "Trigger source channel A";
inline constexpr const char* kHintTriggerB = "Trigger source channel B";
inline constexpr const char* kHintUnderOver = "Under/Over select";
inline constexpr const char* kHintTriggerThreshold = "Trigger threshold";
inline constexpr const char* kHintStart = "Start measurement";
inline constexpr const char* kHintStop = "Stop measurement";
inline constexpr const char* kHintTriggered = "Mode triggered";
inline constexpr const char* kHintFree = "Mode free";
inline constexpr const char* kHintDefined = "Mode defined length";
inline constexpr const char* kHintContinuous = "Mode continuos";
inline constexpr const char* kHintDataLost =
    "Times the instrument's memory overflowed: data was lost before it reached the computer (red marks on the screen)";
// Measurement record and save controls, information panels.
inline constexpr const char* kArmTriggerConflict = "Arm and Trigger settings conflict.";
inline constexpr const char* kClearTheFile = "Clear the file?";
inline constexpr const char* kRecordFileExtension = "rmd";
inline constexpr const char* kLiveVoltageCaption = "U(t)";

// Main menu, colour, About and demo setup dialogs.
inline constexpr const char* kMenuFile = "&File";
inline constexpr const char* kMenuViewer = "Viewer";
inline constexpr const char* kMenuExit = "E&xit";
inline constexpr const char* kMenuSettings = "&Settings";
inline constexpr const char* kMenuRestoreDefaults = "Restore defaults";
inline constexpr const char* kMenuLoadSaved = "Load saved";
inline constexpr const char* kMenuSaveSettings = "Save settings";
inline constexpr const char* kMenuDemoSetup = "Demo setup";
inline constexpr const char* kMenuColorSetup = "Color setup";
inline constexpr const char* kMenuToolTipHelp = "Tool tip help";
inline constexpr const char* kMenuHighPriority = "High priority";
inline constexpr const char* kMenuHelp = "&Help";
inline constexpr const char* kMenuIndex = "Index";
inline constexpr const char* kMenuVantoWeb = "Vanto web";
inline constexpr const char* kMenuSupport = "Support";
inline constexpr const char* kMenuAbout = "About";
inline constexpr const char* kConfirmExit = "Exit program?";
inline constexpr const char* kConfirmRestoreDefaults = "Current settings will be lost. Continue?";
inline constexpr const char* kViewerProgram = "PreviewLyraRM";
inline constexpr const char* kHelpPage = "Help/help.htm";
inline constexpr const char* kMakerWebAddress = "www.vanto.example";
inline constexpr const char* kMakerWebUrl = "https://www.vanto.example/";
inline constexpr const char* kMakerSupportAddress = "support@vanto.example";
inline constexpr const char* kMailToPrefix = "mailto:";

inline constexpr const char* kDialogOK = "OK";
inline constexpr const char* kDialogCancel = "Cancel";

inline constexpr const char* kSetColorDesignCaption = "SetColor";
inline constexpr const char* kColorSettingsCaption = "Color settings";
inline constexpr const char* kColorLabelChannel = "Channel ";
inline constexpr const char* kColorLabelSuffixA = " A";
inline constexpr const char* kColorLabelSuffixB = " B";
inline constexpr const char* kColorLabelGrid = "Grid";
inline constexpr const char* kColorLabelBackground = "Background";
inline constexpr const char* kButtonSetColor = "Set    ";

inline constexpr const char* kAboutCaption = "About";
inline constexpr const char* kAboutSoftwareVersion = "Software version:";
inline constexpr const char* kAboutUsbDriverVersion = "USB driver version:";
inline constexpr const char* kAboutDeviceSN = "Device SN:";
inline constexpr const char* kAboutFindUs = "Find us at:";
inline constexpr const char* kAboutContactUs = "Contact us at:";
inline constexpr const char* kAboutUserFolder = "Settings and records in:";

inline constexpr const char* kDemoSetupCaption = "Demo setup";
inline constexpr const char* kDemoAmplitude = "Amplitude";
inline constexpr const char* kDemoPeriod = "Period";
inline constexpr const char* kDemoNoise = "Noise";
inline constexpr const char* kHintDemoAmplitude = "Set the demo waveform amplitude";
inline constexpr const char* kHintDemoPeriod = "Set the demo waveform period";
inline constexpr const char* kHintDemoNoise = "Set the demo waveform noise";
inline constexpr const char* kDemoChannelA = "Channel A";
inline constexpr const char* kDemoChannelB = "Channel B";
inline constexpr const char* kDemoUnitMilliVolt = "mV";
inline constexpr const char* kDemoUnitMilliSecond = "mS";
inline constexpr const char* kDemoPeriodTooShort = "The period must be at least 1 mS.";
// Trigger, ARM, time base and sweep controls (the conflict text is above).
inline constexpr const char* kCaptionUnder = "<";
inline constexpr const char* kCaptionOver = ">";
inline constexpr const char* kCaptionExternalLow = "0";
inline constexpr const char* kCaptionExternalHigh = "1";
inline constexpr const char* kCaptionRelationAnd = "AND";
inline constexpr const char* kCaptionRelationOr = "OR";

}  // namespace rollmode::strings
