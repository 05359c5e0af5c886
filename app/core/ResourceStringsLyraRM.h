#pragma once
// The program's string table: every text the user reads.
#include <string>

namespace rollmode::strings {

// Record file and settings files. "%s" stands for a file name or a value text.
inline constexpr const char* kCannotCreateFile = "Cannot create file ";
inline constexpr const char* kCannotCreateFileNamed = "Cannot create file %s";
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

inline constexpr const char* kDriverLibraryName = "PeltaRMDrv.dll";

}  // namespace rollmode::strings
