#pragma once
// The program's number conversions, free of Qt: the general floating-point format
// and the lenient number parser shared by the value labels and the edit widgets.
// The decimal separator is always ".".
#include <cmath>
#include <optional>
#include <string>
#include <string_view>

namespace rollmode::display {

// Rounds to the nearest integer, halves to even.
inline double RoundHalfEven(double v) { return std::nearbyint(v); }

// Shortest form with up to 15 significant digits: fixed notation for magnitudes
// from 0.00001 up to 15 integer digits, otherwise d.dddE[-]x ("1E-6", "1.5E20").
std::string FloatToText(double v);

// A number with an optional sign, "." or "," as decimal separator and an optional
// exponent; blanks around it are allowed. Empty, partial, infinite or out-of-range
// text gives nothing.
std::optional<double> TextToFloat(std::string_view text);

// A decimal integer with an optional sign that fits 32 bits.
std::optional<long long> TextToInteger(std::string_view text);

}  // namespace rollmode::display
