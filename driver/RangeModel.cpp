#include "RangeModel.h"

#include <algorithm>
#include <cmath>

namespace rollmode::driver {

namespace {

// Halves go to the even neighbour (the default floating-point rounding mode).
int64_t Nearest(double v) { return static_cast<int64_t>(std::nearbyint(v)); }

uint16_t Be16(std::span<const uint8_t, kCalibrationBlockBytes> b, size_t at) {
    return static_cast<uint16_t>((b[at] << 8) | b[at + 1]);
}

uint32_t Be32(std::span<const uint8_t, kCalibrationBlockBytes> b, size_t at) {
    return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) | b[at + 3];
}

uint16_t GainValue(double v) { return static_cast<uint16_t>(std::clamp<int64_t>(Nearest(v), 0, 0xFFFF)); }

constexpr std::array<std::array<std::array<int32_t, 7>, 3>, 2> kDefaultCurves = {{
    {{{1147, 1424, 1702, 1976, 2244, 2505, 2767},
      {1238, 1512, 1789, 2065, 2327, 2588, 2850},
      {1282, 1561, 1839, 2114, 2379, 2643, 2907}}},
    {{{1040, 1314, 1589, 1859, 2128, 2393, 2657},
      {1181, 1455, 1730, 2005, 2268, 2533, 2796},
      {1239, 1515, 1793, 2069, 2334, 2600, 2867}}},
}};

// Per channel, for the steps 10, 20, 50, 1000, 2000, 5000.
constexpr std::array<std::array<int32_t, 6>, 2> kDefaultOffsets = {{
    {101, 50, 21, -6, -4, 1},
    {110, 57, 25, -8, -5, -2},
}};

struct TemplateRow {
    uint32_t key;
    uint16_t control;
    uint16_t uncalibrated;
};

constexpr std::array<TemplateRow, kRangeEntriesInUse> kTemplate = {{
    {10, 0x12, 1818},
    {20, 0x12, 3636},
    {50, 0x02, 3636},
    {100, 0x14, 1818},
    {200, 0x14, 3636},
    {500, 0x04, 3636},
    {1000, 0x1C, 1818},
    {2000, 0x1C, 3636},
    {5000, 0x0C, 3636},
}};

// Per-model value carried in the range table; only model 3 is built by this library.
constexpr std::array<uint32_t, 4> kModelValues = {0, 0, 0, 8192};

// Index into the stored offsets for the steps that carry one; -1 for 100, 200, 500 and others.
int OffsetIndex(uint32_t deflection) {
    switch (deflection) {
        case 10: return 0;
        case 20: return 1;
        case 50: return 2;
        case 1000: return 3;
        case 2000: return 4;
        case 5000: return 5;
        default: return -1;
    }
}

void PutLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

int DeflectionClass(uint32_t deflection) {
    switch (deflection) {
        case 10: case 100: case 1000: return 0;
        case 20: case 200: case 2000: return 1;
        case 50: case 500: case 5000: return 2;
        default: return -1;
    }
}

uint32_t CalibrationChecksum(std::span<const uint8_t, kCalibrationBlockBytes> block) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i <= 155; ++i) sum += (i + 1) * block[i] + i;
    return sum;
}

void RangeModel::Clear() {
    valid_ = false;
    serial_ = 0;
    w_ = {};
    g_ = {};
    curves_ = {};
    offsets_ = {};
}

void RangeModel::LoadBlock(std::span<const uint8_t, kCalibrationBlockBytes> block) {
    serial_ = Be32(block, 167);
    for (size_t k = 0; k < 6; ++k) w_[k] = Be16(block, 1 + 2 * k);
    for (size_t k = 0; k < 10; ++k) g_[k] = 0.8 + 0.4 * Be16(block, 13 + 2 * k) / 65535.0;
    for (size_t k = 0; k < 21; ++k) {
        curves_[kChannelA][k / 7][k % 7] = Be16(block, 33 + 4 * k);
        curves_[kChannelB][k / 7][k % 7] = Be16(block, 35 + 4 * k);
    }
    for (size_t k = 0; k < 12; ++k) {
        offsets_[k % 2][k / 2] = static_cast<int16_t>(Be16(block, 117 + 2 * k));
    }
    valid_ = CalibrationChecksum(block) == Be32(block, 156);
    if (!valid_) LoadDefaultCurves();
}

void RangeModel::LoadDefaultCurves() {
    curves_ = kDefaultCurves;
    offsets_ = kDefaultOffsets;
}

void RangeModel::BuildRangeTable(uint32_t modelIndex) {
    table_ = {};
    table_.count = kRangeEntriesInUse;
    for (size_t i = 0; i < kTemplate.size(); ++i) {
        auto& e = table_.entries[i];
        e.key = kTemplate[i].key;
        for (auto& ch : e.channel) {
            ch.control = kTemplate[i].control;
            ch.gainUncalibrated = kTemplate[i].uncalibrated;
        }
    }
    table_.trailer500 = 500;
    table_.trailer50 = 50;
    table_.modelValue = modelIndex < kModelValues.size() ? kModelValues[modelIndex] : 0;
    table_.modelIndex = modelIndex;
    if (!valid_) return;

    // Rows in template order: decade 10 (G0/G1, probes G4/G5), 100 (none, G6/G7), 1000 (G2/G3, G8/G9).
    for (size_t i = 0; i < kTemplate.size(); ++i) {
        const size_t decade = i / 3;
        const size_t step = i % 3;  // 1-, 2- or 5-step: picks W0/W1, W2/W3, W4/W5
        for (int c = 0; c < 2; ++c) {
            const double w = w_[2 * step + c];
            double decadeFactor = 1.0;
            if (decade == 0) decadeFactor = g_[0 + c];
            if (decade == 2) decadeFactor = g_[2 + c];
            const double probeFactor = g_[4 + 2 * decade + c];
            auto& ch = table_.entries[i].channel[c];
            ch.gainProbe1 = GainValue(w * decadeFactor);
            ch.gainOtherProbe = GainValue(w * decadeFactor * probeFactor);
        }
    }
}

std::array<uint8_t, kRangeTableBytes> RangeModel::SerializeRangeTable() const {
    std::array<uint8_t, kRangeTableBytes> out{};
    PutLe32(&out[0], table_.count);
    for (size_t i = 0; i < kRangeEntries; ++i) {
        uint8_t* p = &out[4 + 20 * i];
        const auto& e = table_.entries[i];
        PutLe32(p, e.key);
        for (int c = 0; c < 2; ++c) {
            uint8_t* q = p + 4 + 8 * c;
            PutLe16(q, e.channel[c].control);
            PutLe16(q + 2, e.channel[c].gainProbe1);
            PutLe16(q + 4, e.channel[c].gainOtherProbe);
            PutLe16(q + 6, e.channel[c].gainUncalibrated);
        }
    }
    PutLe32(&out[224], table_.trailer500);
    PutLe32(&out[228], table_.trailer50);
    PutLe32(&out[232], table_.modelValue);
    PutLe32(&out[236], table_.modelIndex);
    return out;
}

const RangeEntry* RangeModel::FindEntry(uint32_t deflection) const {
    const uint32_t count = std::min(table_.count, kRangeEntries);
    if (count == 0) return nullptr;
    for (uint32_t i = 0; i < count; ++i) {
        if (table_.entries[i].key == deflection) return &table_.entries[i];
    }
    return &table_.entries[count - 1];
}

int32_t RangeModel::OffsetCorrection(int channel, uint32_t deflection) const {
    const int index = OffsetIndex(deflection);
    return index < 0 ? 0 : offsets_[channel][index];
}

double RangeModel::ZeroCode(int channel, int32_t level, uint32_t deflection) const {
    const int cls = std::max(DeflectionClass(deflection), 0);
    const auto& p = curves_[channel][cls];
    const double x = static_cast<double>(level) - OffsetCorrection(channel, deflection);

    int j = 0;
    while (j < 7 && p[j] < x) ++j;
    if (j == 7) {
        if (p[6] == p[3]) return 223;
        return static_cast<double>(223 + Nearest((x - p[6]) * 96.0 / (p[6] - p[3])));
    }
    if (j == 0) {
        if (p[3] == p[0]) return 31;
        return static_cast<double>(31 - Nearest((p[0] - x) * 96.0 / (p[3] - p[0])));
    }
    if (p[j] == p[j - 1]) return kCurveCodes[j - 1];
    return static_cast<double>(kCurveCodes[j - 1] + Nearest((x - p[j - 1]) * 32.0 / (p[j] - p[j - 1])));
}

int32_t RangeModel::LevelForZero(int channel, int32_t zeroCode, uint32_t deflection) const {
    const int cls = std::max(DeflectionClass(deflection), 0);
    const auto& p = curves_[channel][cls];
    const int64_t e = OffsetCorrection(channel, deflection);
    const double z = zeroCode;

    int j = 0;
    while (j < 7 && kCurveCodes[j] < zeroCode) ++j;
    int64_t level;
    if (j == 7) {
        level = e + p[6] + Nearest((z - 223) * (p[6] - p[3]) / 96.0);
    } else if (j == 0) {
        level = e + p[0] - Nearest((31 - z) * (p[3] - p[0]) / 96.0);
    } else {
        level = e + p[j - 1] + Nearest((z - kCurveCodes[j - 1]) * (p[j] - p[j - 1]) / 32.0);
    }
    return static_cast<int32_t>(level);
}

}  // namespace rollmode::driver
