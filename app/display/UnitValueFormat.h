#pragma once
// Text of a value label: picks the unit prefix for the control type, rounds to at
// most three decimals and appends the unit. Free of Qt so it is tested on its own.
#include <cstdint>
#include <string>

namespace rollmode::display {

// Control types of a value label: the base unit of its MainValue.
enum UnitControlType : int32_t {
    kUnitNanoseconds = 1,
    kUnitMillivolts = 2,
    kUnitBytes = 3,
    kUnitMillivoltsPerDivision = 4,
    kUnitSecondsPerDivision = 5,
    kUnitSamplesPerSecond = 6,
    kUnitHertzPerDivision = 7,
    kUnitPlainNumber = 8,
    kUnitSampleCount = 9,
};

// Formats like a value label does. `shownValue` is the label's memory of the last
// rounded number: it is updated for the known types and reused for an unknown one.
// With `invalid` the text is "N/A", except for time bases of a minute and more,
// which always show their hours and minutes form.
std::string FormatUnitValue(double value, int32_t controlType, bool invalid, double& shownValue);

}  // namespace rollmode::display
