#include "EventText.h"

#include <cstdio>

#include "RecordFileReader.h"

namespace rollmode::viewer {

namespace {

std::string Channel(uint16_t code, uint16_t codeA) { return code == codeA ? "A: " : "B: "; }

std::string Number(uint32_t value) { return std::to_string(value); }

std::string Deflection(uint32_t mvPerDivision) {
    if (mvPerDivision >= 1000 && mvPerDivision % 1000 == 0) return Number(mvPerDivision / 1000) + " V/div";
    return Number(mvPerDivision) + " mV/div";
}

std::string Probe(uint32_t code) {
    switch (code) {
        case 1: return "probe 1:1";
        case 2: return "probe 1:10";
        case 3: return "probe 1:100";
        case 4: return "probe 1:1000";
        default: return "probe code " + Number(code);
    }
}

}  // namespace

std::string FormatRate(uint32_t samplesPerSecond) {
    char text[32];
    if (samplesPerSecond >= 1000000 && samplesPerSecond % 1000 == 0) {
        std::snprintf(text, sizeof text, "%g MS/s", samplesPerSecond / 1e6);
    } else if (samplesPerSecond >= 1000) {
        std::snprintf(text, sizeof text, "%g kS/s", samplesPerSecond / 1e3);
    } else {
        std::snprintf(text, sizeof text, "%u S/s", samplesPerSecond);
    }
    return text;
}

std::string DescribeEvent(const records::IndexEvent& event) {
    namespace rc = records::recordcode;
    using Kind = records::IndexEvent::Kind;
    switch (event.kind) {
        case Kind::MeasurementStart: return "Measurement started";
        case Kind::MeasurementStop: return "Measurement stopped";
        case Kind::Overflow: return "Overflow: samples lost";
        case Kind::Settings: break;
    }
    const uint32_t v = event.value;
    switch (event.code) {
        case rc::kMeasurement: return v ? "Measurement started" : "Measurement stopped";
        case rc::kLevelA:
        case rc::kLevelB:
            return Channel(event.code, rc::kLevelA) + "zero code " +
                   std::to_string(static_cast<int16_t>(static_cast<uint16_t>(v)));
        case rc::kProbeA:
        case rc::kProbeB: return Channel(event.code, rc::kProbeA) + Probe(v);
        case rc::kCouplingA:
        case rc::kCouplingB: return Channel(event.code, rc::kCouplingA) + (v == 1 ? "DC coupling" : "AC coupling");
        case rc::kGroundA:
        case rc::kGroundB: return Channel(event.code, rc::kGroundA) + (v ? "grounded" : "ground off");
        case rc::kSampleRate: return "Rate: " + FormatRate(v);
        case rc::kDeflectionA:
        case rc::kDeflectionB: return Channel(event.code, rc::kDeflectionA) + Deflection(v);
        default: return "Settings record " + Number(event.code) + ": " + Number(v);
    }
}

}  // namespace rollmode::viewer
