#pragma once
// What a marker of the record means, in the words of the instrument's panels:
// "A: 200 mV/div", "Rate: 5 MS/s", "Measurement 2 started". Plain C++, no Qt.
#include <string>

#include "RecordIndex.h"

namespace rollmode::viewer {

std::string DescribeEvent(const records::IndexEvent& event);
// "5 MS/s", "250 kS/s", "50 S/s".
std::string FormatRate(uint32_t samplesPerSecond);

}  // namespace rollmode::viewer
