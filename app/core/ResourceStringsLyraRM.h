#pragma once
// The program's string table: every text the user reads.

namespace rollmode::strings {

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
inline constexpr const char* kNotValidFloat = "'%s' is not a valid floating point value";
inline constexpr const char* kNotValidInteger = "'%s' is not a valid integer value";

inline constexpr const char* kDriverLibraryName = "PeltaRMDrv.dll";

}  // namespace rollmode::strings
