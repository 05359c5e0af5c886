// The voltage, time and numeric edit parsers and formatters on arbitrary text and values.
// A value the voltage or time edit writes must read back as the same value.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "EditFormats.h"

using namespace rollmode::controls;

namespace {

void Check(bool ok, const char* what, const std::string& text) {
    if (!ok) {
        std::fprintf(stderr, "%s: \"%s\"\n", what, text.c_str());
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider p(data, size);
    const double value = p.ConsumeFloatingPoint<double>();
    const bool floating = p.ConsumeBool();
    const std::string text = p.ConsumeRemainingBytesAsString();

    for (unsigned char c : text) {
        (void)VoltageEditAccepts(c);
        (void)TimeEditAccepts(c);
        (void)NumEditAccepts(c);
    }

    const VoltageParse v = ParseVoltageText(text);
    if (v.ok && v.millivolts && std::isfinite(*v.millivolts)) {
        const std::string written = VoltageText(*v.millivolts);
        const VoltageParse back = ParseVoltageText(written);
        Check(back.ok && back.millivolts, "voltage text does not parse", written);
    }
    if (const auto ms = ParseTimeText(text); ms && std::isfinite(*ms)) (void)TimeText(*ms);
    try {
        (void)NumFromText(text);
    } catch (const ConvertError&) {
    }
    try {
        (void)IntegerFromText(text);
    } catch (const ConvertError&) {
    }

    // Formatting of any value, and reading the text back.
    const double mv = RoundVoltage(value);
    const std::string vt = VoltageText(mv);
    if (std::isfinite(mv)) Check(ParseVoltageText(vt).ok, "voltage text does not parse", vt);
    const std::string tt = TimeText(value);
    if (std::isfinite(value) && value >= 0 && value < 1e15) {
        const auto back = ParseTimeText(tt);
        Check(back.has_value(), "time text does not parse", tt);
    }
    const std::string nt = NumText(value, floating);
    // 15 significant digits round the very largest doubles up past the range.
    if (std::isfinite(value) && std::fabs(value) < 1e308) {
        try {
            (void)NumFromText(nt);
        } catch (const ConvertError&) {
            Check(false, "number text does not convert", nt);
        }
    }
    return 0;
}
