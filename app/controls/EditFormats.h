#pragma once
// Texts of the voltage, time and numeric edit widgets: what each accepts from the
// keyboard, how a value is written and how a confirmed text is read. Free of Qt.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace rollmode::controls {

// Raised when a numeric edit's value is read from text that does not convert.
class ConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Characters the edits take from the keyboard (8 is Backspace).
bool VoltageEditAccepts(char32_t c);
bool TimeEditAccepts(char32_t c);
bool NumEditAccepts(char32_t c);

// --- Voltage (millivolts) ------------------------------------------------------------
// Every voltage below is first held within +-1e300 mV.
// The value a voltage edit keeps: to the nearest 0.001 mV.
double RoundVoltage(double millivolts);
// "2", "1.5", "0.999" above 999 mV (volts, whole millivolts); "200m", "0.5m" else.
std::string VoltageText(double millivolts);

struct VoltageParse {
    bool ok = false;                        // the text was understood
    std::optional<double> millivolts;       // the new value; none for "n" and "u"
};
// "250m" is millivolts as written; a plain number is volts, rounded to whole
// millivolts; a trailing "n" or "u" is understood but changes nothing. Volts whose
// millivolts overflow a double fail.
VoltageParse ParseVoltageText(std::string_view text);

// --- Duration (milliseconds) -----------------------------------------------------------
// "1h30m", "59s999ms", "0s" for zero.
std::string TimeText(double milliseconds);
// Items of digits, optional fraction and a unit ("h", "m", "ms", "s"); anything else
// adds nothing, and the last character never starts an item, so "15" is 0.
// Nothing when the text is empty or does not start with a digit.
std::optional<double> ParseTimeText(std::string_view text);

// --- Plain numbers --------------------------------------------------------------------
// With `floating` the general format, otherwise rounded to an integer (halves to even).
std::string NumText(double value, bool floating);
// Throw ConvertError with the program's message when the text does not convert.
double NumFromText(const std::string& text);
int32_t IntegerFromText(const std::string& text);

}  // namespace rollmode::controls
