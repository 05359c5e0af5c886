#include "SettingsLyraRM.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "NotificationCodes.h"
#include "RateTables.h"
#include "ResourceStringsLyraRM.h"
#include "VirtualScopeLyraRM.h"
#include "ports/MessageBoxService.h"

namespace rollmode::controls {

namespace {

using Scope = core::TVirtualScopeLyraRM;

enum class Form { Bool, Int, Float };

// Integer values are checked against the range of their property's type:
// 32-bit signed values outside it do not convert; 16-bit and 32-bit unsigned
// values are clamped into it (a 16-bit property then applies its own rule).
enum class IntRange { Int32, Word, Cardinal };

struct Key {
    const char* name;
    Form form;
    IntRange range;
    bool (*getB)(const Scope&);
    void (*setB)(Scope&, bool);
    int64_t (*getI)(const Scope&);
    void (*setI)(Scope&, int64_t);
    double (*getF)(const Scope&);
    void (*setF)(Scope&, double);
    bool hasDefault;
    double defaultValue;
};

template <class T>
T Clamped(int64_t v, int64_t lo, int64_t hi) {
    return static_cast<T>(std::clamp(v, lo, hi));
}

#define ROLLMODE_KEY_B(P, DEF)                                                                                \
    Key {                                                                                                     \
        #P, Form::Bool, IntRange::Int32, [](const Scope& s) { return s.P(); },                                \
            [](Scope& s, bool v) { s.Set##P(v); }, nullptr, nullptr, nullptr, nullptr, true, DEF              \
    }
#define ROLLMODE_KEY_I(P, RANGE, STORE, DEF)                                                                  \
    Key {                                                                                                     \
        #P, Form::Int, IntRange::RANGE, nullptr, nullptr,                                                     \
            [](const Scope& s) { return static_cast<int64_t>(s.P()); }, [](Scope& s, int64_t v) { STORE; },   \
            nullptr, nullptr, true, DEF                                                                       \
    }
#define ROLLMODE_KEY_F(P, DEF)                                                                                \
    Key {                                                                                                     \
        #P, Form::Float, IntRange::Int32, nullptr, nullptr, nullptr, nullptr,                                 \
            [](const Scope& s) { return s.P(); }, [](Scope& s, double v) { s.Set##P(v); }, true, DEF          \
    }
// A colour is a 32-bit value written as a signed integer.
#define ROLLMODE_KEY_COLOR(P, DEF)                                                                            \
    Key {                                                                                                     \
        #P, Form::Int, IntRange::Int32, nullptr, nullptr,                                                     \
            [](const Scope& s) { return static_cast<int64_t>(static_cast<int32_t>(s.P())); },                  \
            [](Scope& s, int64_t v) { s.Set##P(static_cast<uint32_t>(v)); }, nullptr, nullptr, true, DEF      \
    }

// The 58 keys. Each is the name of the model property it is stored from and
// restored into. Steps and probe codes from a file are clamped into their tables,
// so no table is ever indexed past its end, whatever the file says.
const std::array<Key, 58> kKeys = {{
    ROLLMODE_KEY_I(MainWindowHeight, Int32, s.SetMainWindowHeight(static_cast<int32_t>(v)), 0),
    ROLLMODE_KEY_I(MainWindowWidth, Int32, s.SetMainWindowWidth(static_cast<int32_t>(v)), 0),
    ROLLMODE_KEY_B(StatusChannelA, true),
    ROLLMODE_KEY_B(StatusChannelB, true),
    ROLLMODE_KEY_COLOR(ColorChannelA, 4259584),
    ROLLMODE_KEY_COLOR(ColorChannelB, 65535),
    ROLLMODE_KEY_COLOR(ColorGrid, 16777215),
    ROLLMODE_KEY_COLOR(BackgroundColor, 0),
    ROLLMODE_KEY_B(MakeMaximum, true),
    ROLLMODE_KEY_B(MakeMinimum, true),
    ROLLMODE_KEY_B(MakeAvg, false),
    ROLLMODE_KEY_B(SingleMode, false),
    ROLLMODE_KEY_I(DensityChannelA, Word, s.SetDensityChannelA(static_cast<uint16_t>(v)), 8),
    ROLLMODE_KEY_I(DensityChannelB, Word, s.SetDensityChannelB(static_cast<uint16_t>(v)), 8),
    ROLLMODE_KEY_I(MaxChannelA, Int32, s.SetMaxChannelA(static_cast<int32_t>(v)), 217),
    ROLLMODE_KEY_I(MaxChannelB, Int32, s.SetMaxChannelB(static_cast<int32_t>(v)), 217),
    ROLLMODE_KEY_I(VerticalLevelChannelA, Word, s.SetVerticalLevelChannelA(static_cast<uint16_t>(v)), 2094),
    ROLLMODE_KEY_I(VerticalLevelChannelB, Word, s.SetVerticalLevelChannelB(static_cast<uint16_t>(v)), 2079),
    ROLLMODE_KEY_B(SourceACDC_A, true),
    ROLLMODE_KEY_B(SourceACDC_B, true),
    ROLLMODE_KEY_I(SourceProbeA, Int32, s.SetSourceProbeA(Clamped<int32_t>(v, 1, core::kProbeCodes)), 1),
    ROLLMODE_KEY_I(SourceProbeB, Int32, s.SetSourceProbeB(Clamped<int32_t>(v, 1, core::kProbeCodes)), 1),
    ROLLMODE_KEY_B(ModeLine, true),
    ROLLMODE_KEY_B(ModeBF, false),
    ROLLMODE_KEY_B(ModeEKG, true),
    ROLLMODE_KEY_B(DisplayActive, true),
    ROLLMODE_KEY_I(GridBrightness, Int32, s.SetGridBrightness(static_cast<int32_t>(v)), 72),
    ROLLMODE_KEY_B(Grid, true),
    ROLLMODE_KEY_B(MainScreenMaximized, false),
    ROLLMODE_KEY_B(ShowComixHelp, true),
    ROLLMODE_KEY_B(TriggerSourceA, false),
    ROLLMODE_KEY_B(TriggerSourceB, false),
    ROLLMODE_KEY_F(TriggerLevelA, 0),
    ROLLMODE_KEY_F(TriggerLevelB, 0),
    ROLLMODE_KEY_B(TriggerUnderA, false),
    ROLLMODE_KEY_B(TriggerUnderB, true),
    Key{"TriggerRelation", Form::Bool, IntRange::Int32, [](const Scope& s) { return s.TriggerRelation(); },
        [](Scope& s, bool v) { s.SetTriggerRelation(v); }, nullptr, nullptr, nullptr, nullptr, false, 0},
    ROLLMODE_KEY_I(SMPSetting, Int32, s.SetSMPSetting(Clamped<int32_t>(v, 0, core::kSmpSteps - 1)), 2),
    ROLLMODE_KEY_I(DSPSetting, Int32, s.SetDSPSetting(Clamped<int32_t>(v, 0, core::kDspSteps - 1)), 3),
    ROLLMODE_KEY_B(BoostThread, true),
    ROLLMODE_KEY_I(MeasurementLength, Cardinal, s.SetMeasurementLength(static_cast<uint32_t>(v)), 2000),
    ROLLMODE_KEY_B(RecordTriggered, false),
    ROLLMODE_KEY_B(RecordFree, true),
    ROLLMODE_KEY_B(MeasurementDefined, false),
    ROLLMODE_KEY_B(ARMSourceA, false),
    ROLLMODE_KEY_B(ARMSourceB, false),
    ROLLMODE_KEY_B(ARMSourceExternal, false),
    ROLLMODE_KEY_B(ARMUnderA, false),
    ROLLMODE_KEY_B(ARMUnderB, false),
    ROLLMODE_KEY_B(ARMUnderExternal, true),
    ROLLMODE_KEY_F(ARMLevelA, 0),
    ROLLMODE_KEY_F(ARMLevelB, 0),
    ROLLMODE_KEY_I(PeriodA, Int32, s.SetPeriodA(static_cast<int32_t>(v)), 1000),
    ROLLMODE_KEY_I(PeriodB, Int32, s.SetPeriodB(static_cast<int32_t>(v)), 2000),
    ROLLMODE_KEY_I(AmplitudeA, Int32, s.SetAmplitudeA(static_cast<int32_t>(v)), 3000),
    ROLLMODE_KEY_I(AmplitudeB, Int32, s.SetAmplitudeB(static_cast<int32_t>(v)), 2000),
    ROLLMODE_KEY_I(NoiseA, Int32, s.SetNoiseA(static_cast<int32_t>(v)), 0),
    ROLLMODE_KEY_I(NoiseB, Int32, s.SetNoiseB(static_cast<int32_t>(v)), 0),
}};

#undef ROLLMODE_KEY_B
#undef ROLLMODE_KEY_I
#undef ROLLMODE_KEY_F
#undef ROLLMODE_KEY_COLOR

// Lines 3 to 62 of the file. The window size is written twice (lines 3, 4 and
// 32, 33, the second time width first); readers apply both.
constexpr std::array<std::string_view, 60> kWriteOrder = {
    "MainWindowHeight", "MainWindowWidth", "StatusChannelA", "StatusChannelB", "ColorChannelA", "ColorChannelB",
    "ColorGrid", "BackgroundColor", "MakeMaximum", "MakeMinimum", "MakeAvg", "SingleMode", "DensityChannelA",
    "DensityChannelB", "MaxChannelA", "MaxChannelB", "VerticalLevelChannelA", "VerticalLevelChannelB",
    "SourceACDC_A", "SourceACDC_B", "SourceProbeA", "SourceProbeB", "ModeLine", "ModeBF", "ModeEKG",
    "DisplayActive", "GridBrightness", "Grid", "MainScreenMaximized", "MainWindowWidth", "MainWindowHeight",
    "ShowComixHelp", "TriggerSourceA", "TriggerSourceB", "TriggerLevelA", "TriggerLevelB", "TriggerUnderA",
    "TriggerUnderB", "TriggerRelation", "SMPSetting", "DSPSetting", "BoostThread", "MeasurementLength",
    "RecordTriggered", "RecordFree", "MeasurementDefined", "ARMSourceA", "ARMSourceB", "ARMSourceExternal",
    "ARMUnderA", "ARMUnderB", "ARMUnderExternal", "ARMLevelA", "ARMLevelB", "PeriodA", "PeriodB", "AmplitudeA",
    "AmplitudeB", "NoiseA", "NoiseB"};

// The order in which the defaults are assigned: it decides the rate coupling
// (SMPSetting before DSPSetting) and the grid colour (ColorGrid before brightness).
constexpr std::array<std::string_view, 57> kRestoreOrder = {
    "StatusChannelA", "StatusChannelB", "ColorChannelA", "ColorChannelB", "ColorGrid", "BackgroundColor",
    "MakeMaximum", "MakeMinimum", "MakeAvg", "SingleMode", "DensityChannelA", "DensityChannelB", "MaxChannelA",
    "MaxChannelB", "VerticalLevelChannelA", "VerticalLevelChannelB", "SourceACDC_A", "SourceACDC_B",
    "SourceProbeA", "SourceProbeB", "ModeLine", "ModeBF", "ModeEKG", "DisplayActive", "GridBrightness", "Grid",
    "MainScreenMaximized", "MainWindowWidth", "MainWindowHeight", "ShowComixHelp", "TriggerSourceA",
    "TriggerSourceB", "TriggerLevelA", "TriggerLevelB", "TriggerUnderA", "TriggerUnderB", "SMPSetting",
    "DSPSetting", "BoostThread", "MeasurementLength", "RecordTriggered", "RecordFree", "MeasurementDefined",
    "ARMSourceA", "ARMSourceB", "ARMSourceExternal", "ARMUnderA", "ARMUnderB", "ARMUnderExternal", "ARMLevelA",
    "ARMLevelB", "PeriodA", "PeriodB", "AmplitudeA", "AmplitudeB", "NoiseA", "NoiseB"};

// Keys by name, for a file of any length looked up in constant time per line.
const Key* FindKey(std::string_view name) {
    static const std::unordered_map<std::string_view, const Key*> byName = [] {
        std::unordered_map<std::string_view, const Key*> m;
        for (const Key& k : kKeys) m.emplace(k.name, &k);
        return m;
    }();
    const auto it = byName.find(name);
    return it == byName.end() ? nullptr : it->second;
}

constexpr char kLineEnd[] = "\r\n";

// A signed decimal integer and nothing else; false when `text` is not one.
bool ParseInteger(std::string_view text, int64_t& value) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') ++first;  // "+5" is an integer too
    if (first == last || *first == '+') return false;
    const auto [end, ec] = std::from_chars(first, last, value, 10);
    return ec == std::errc{} && end == last;
}

// A finite decimal number with "." as separator, optionally with an exponent;
// independent of the process locale.
bool ParseFloat(std::string_view text, double& value) {
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (first != last && *first == '+') ++first;
    if (first == last || *first == '+') return false;
    const auto [end, ec] = std::from_chars(first, last, value, std::chars_format::general);
    return ec == std::errc{} && end == last && std::isfinite(value);
}

}  // namespace

// The general number format: the shortest form with at most 15 significant digits,
// fixed point for magnitudes from 0.00001 up to 15 integer digits, otherwise
// mantissa and exponent ("1.5E-6", "1E20"). "." as separator whatever the locale.
std::string FormatGeneral(double v) {
    if (!std::isfinite(v)) return v != v ? "NAN" : (v > 0 ? "INF" : "-INF");
    if (v == 0.0) return "0";
    char buf[64];
    // d.dddddddddddddde+XX: 15 significant digits, correctly rounded.
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
    std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf));
    std::string sign;
    if (sci.front() == '-') {
        sign = "-";
        sci.remove_prefix(1);
    }
    const std::size_t e = sci.find('e');
    std::string digits;
    digits += sci[0];
    digits.append(sci.substr(2, e - 2));
    int exponent = 0;
    std::from_chars(sci.data() + e + (sci[e + 1] == '+' ? 2 : 1), sci.data() + sci.size(), exponent);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string out = sign;
    if (exponent >= -5 && exponent < 15) {
        if (exponent < 0) {
            out += "0.";
            out.append(static_cast<std::size_t>(-exponent - 1), '0');
            out += digits;
        } else {
            const auto intDigits = static_cast<std::size_t>(exponent) + 1;
            if (digits.size() <= intDigits) {
                out += digits;
                out.append(intDigits - digits.size(), '0');
            } else {
                out += digits.substr(0, intDigits);
                out += '.';
                out += digits.substr(intDigits);
            }
        }
    } else {
        out += digits[0];
        if (digits.size() > 1) {
            out += '.';
            out += digits.substr(1);
        }
        out += 'E';
        out += std::to_string(exponent);
    }
    return out;
}

TSettingsLyraRM::TSettingsLyraRM() { SetControlGroup(core::kGroupSettings); }

std::vector<std::string> TSettingsLyraRM::WrittenKeys() { return {kWriteOrder.begin(), kWriteOrder.end()}; }

std::vector<std::string> TSettingsLyraRM::DistinctKeys() {
    std::vector<std::string> keys;
    for (const Key& k : kKeys) keys.emplace_back(k.name);
    return keys;
}

void TSettingsLyraRM::Show(const std::string& text) const {
    if (messages_ != nullptr) messages_->Show(text, core::MsgButtons::Ok, core::MsgIcon::Error);
}

void TSettingsLyraRM::HandleNotification(int32_t code, int32_t& group) {
    if (VirtualScope() == nullptr) return;
    switch (code) {
        case core::kNotifyShutdown:
            SaveSettingsFile(strings::kSettingsFileWorking);
            TWrapperComponentLyraRM::HandleNotification(code, group);  // unregisters, forgets the model
            break;
        case core::kNotifyLoadStartupSettings:
            LoadSettingsFile(strings::kSettingsFileWorking);
            break;
        case core::kNotifySaveSettings:
            SaveSettingsFile(strings::kSettingsFileSaved);
            break;
        case core::kNotifyLoadSettings:
            LoadSettingsFile(strings::kSettingsFileSaved);
            break;
        case core::kNotifyRestoreDefaults:
            RestoreDefaults();
            SaveSettingsFile(strings::kSettingsFileWorking);
            break;
        default:
            break;
    }
}

void TSettingsLyraRM::SaveSettingsFile(const std::string& name) {
    fileName_ = name;
    const Scope* scope = VirtualScope();
    if (scope == nullptr) return;
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        Show(std::string(strings::kCannotCreateFile) + name);
        return;
    }
    std::string text;
    std::vector<std::size_t> lineEnds;  // offset after each line's CR LF
    text.reserve(2048);
    lineEnds.reserve(kWriteOrder.size() + 2);
    auto addLine = [&](std::string_view line) {
        text.append(line).append(kLineEnd);
        lineEnds.push_back(text.size());
    };
    addLine(strings::kSettingsHeader);
    addLine(std::string(61, '-'));
    for (std::string_view keyName : kWriteOrder) {
        const Key& k = *FindKey(keyName);
        std::string value;
        switch (k.form) {
            case Form::Bool: value = k.getB(*scope) ? "true" : "false"; break;
            case Form::Int: value = std::to_string(k.getI(*scope)); break;
            case Form::Float: value = FormatGeneral(k.getF(*scope)); break;
        }
        addLine(std::string(k.name) + ": " + value);
    }
    // One write for the whole file. Only when it falls short is the rest written line
    // by line, so a failing medium is still reported once for every line it refuses.
    ssize_t first = 0;
    do first = ::write(fd, text.data(), text.size());
    while (first < 0 && errno == EINTR);
    std::size_t done = first > 0 ? static_cast<std::size_t>(first) : 0;
    std::size_t lineStart = 0;
    for (const std::size_t lineEnd : lineEnds) {
        for (std::size_t at = std::max(done, lineStart); at < lineEnd;) {
            const ssize_t n = ::write(fd, text.data() + at, lineEnd - at);
            if (n > 0) {
                at += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                Show(strings::kWriteToFileFailed);
                break;
            }
        }
        lineStart = lineEnd;
    }
    ::close(fd);
}

bool TSettingsLyraRM::ApplyLine(const std::string& line) {
    Scope& scope = *VirtualScope();
    const std::size_t colon = line.find(':');
    const Key* key = colon == std::string::npos ? nullptr : FindKey(std::string_view(line).substr(0, colon));
    if (key != nullptr) {
        // The writer puts one blank after the colon: the value starts two after it.
        const std::string value = colon + 2 <= line.size() ? line.substr(colon + 2) : std::string();
        switch (key->form) {
            case Form::Bool:
                key->setB(scope, value == "true");
                break;
            case Form::Int: {
                int64_t v = 0;
                const bool ok = ParseInteger(value, v) &&
                                (key->range != IntRange::Int32 || (v >= std::numeric_limits<int32_t>::min() &&
                                                                   v <= std::numeric_limits<int32_t>::max()));
                if (!ok) {
                    Show(strings::FormatText(strings::kNotValidInteger, value));
                    return false;
                }
                if (key->range == IntRange::Word) v = std::clamp<int64_t>(v, 0, 0xFFFF);
                if (key->range == IntRange::Cardinal) v = std::clamp<int64_t>(v, 0, 0xFFFFFFFFll);
                key->setI(scope, v);
                break;
            }
            case Form::Float: {
                double v = 0;
                if (!ParseFloat(value, v)) {
                    Show(strings::FormatText(strings::kNotValidFloat, value));
                    return false;
                }
                key->setF(scope, v);
                break;
            }
        }
    }
    // Every line read, recognised or not, selects the default record file again.
    scope.OpenRecordFile(strings::kDefaultRecordFileName);
    return true;
}

void TSettingsLyraRM::LoadSettingsFile(const std::string& name) {
    fileName_ = name;
    if (VirtualScope() == nullptr) return;
    std::FILE* file = std::fopen(name.c_str(), "rb");
    if (file == nullptr) {
        Show(std::string(strings::kFileMissingPrefix) + name + strings::kFileMissingSuffix);
        return;
    }
    // CR and LF both end a line; an end met while the line is empty is skipped, so
    // CR LF, LF and CR files read alike and empty lines never count.
    std::string line;
    char chunk[4096];
    bool going = true;
    while (going) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
        for (std::size_t i = 0; i < got && going;) {
            // The rest of the line within this chunk, taken in one piece.
            std::size_t end = i;
            while (end < got && chunk[end] != '\r' && chunk[end] != '\n') ++end;
            line.append(chunk + i, end - i);
            if (end < got) {
                if (!line.empty()) {
                    going = ApplyLine(line);
                    line.clear();
                }
                ++end;
            }
            i = end;
        }
        if (got < sizeof chunk) {
            if (std::ferror(file)) {
                Show(strings::kErrorReadingFile);
                going = false;
            }
            break;
        }
    }
    if (going && !line.empty()) ApplyLine(line);  // a last line without an end
    std::fclose(file);
}

void TSettingsLyraRM::RestoreDefaults() {
    Scope* scope = VirtualScope();
    if (scope == nullptr) return;
    for (std::string_view keyName : kRestoreOrder) {
        const Key& k = *FindKey(keyName);
        if (!k.hasDefault) continue;
        switch (k.form) {
            case Form::Bool: k.setB(*scope, k.defaultValue != 0); break;
            case Form::Int: k.setI(*scope, static_cast<int64_t>(k.defaultValue)); break;
            case Form::Float: k.setF(*scope, k.defaultValue); break;
        }
    }
}

}  // namespace rollmode::controls
