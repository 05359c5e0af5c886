// Settings files no program wrote: cut short, binary, huge, with endless lines, with
// every key out of range. Each loads without a crash, in bounded time, with the
// load's own messages, and leaves every table index in range.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <fstream>
#include <random>
#include <vector>

#include "RateTables.h"
#include "ReliabilitySupport.h"
#include "SettingsLyraRM.h"
#include "VirtualScopeLyraRM.h"

using namespace rollmode;
using namespace rollmode::core;
using namespace rollmode::reliability;

namespace {

// Sanitized builds parse many times slower: they check the same code on a fifth of the size.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr size_t kHugeBytes = 20u << 20;
#else
constexpr size_t kHugeBytes = 100u << 20;
#endif

class BadSettings : public ::testing::Test {
protected:
    void SetUp() override {
        settings.SetMessageBoxService(&messages);
        settings.SetVirtualScope(&scope);
    }
    // Loads the text and returns the seconds it took.
    double Load(const std::string& text) {
        const std::string name = folder.File("t.ini");
        std::ofstream(name, std::ios::binary | std::ios::trunc) << text;
        const auto t0 = std::chrono::steady_clock::now();
        settings.LoadSettingsFile(name);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    // What the rest of the program indexes with stays usable.
    void ExpectTablesInRange() {
        EXPECT_GT(SamplesPerSecond(scope.SMPSetting()), 0);
        EXPECT_GT(SecondsPerDivision(scope.DSPSetting()), 0);
        EXPECT_GE(scope.DeflectionFactor(TVirtualScopeLyraRM::kChannelA), 1);
        EXPECT_GE(scope.DeflectionFactor(TVirtualScopeLyraRM::kChannelB), 1);
        (void)scope.ProbeText(TVirtualScopeLyraRM::kChannelA);
    }

    TempFolder folder;
    e2e::ScriptedMessages messages;
    TVirtualScopeLyraRM scope;
    controls::TSettingsLyraRM settings;
};

std::string GoodFile() {
    return "Inproper modification of this file may lead to SW malfunction\r\n" + std::string(61, '-') +
           "\r\nMainWindowHeight: 600\r\nSMPSetting: 12\r\nDSPSetting: 4\r\nNoiseA: 5\r\nTriggerLevelA: 1.5\r\n";
}

TEST_F(BadSettings, CutShortAnywhereLoadsTheWholeLinesBeforeTheCut) {
    const std::string good = GoodFile();
    // Each key line of the file, where it starts and ends (before its CR LF), its key's
    // value before the load (none in the file) and the file's value.
    struct KeyLine {
        const char* text;
        double before, after;
        std::function<double()> value;
        std::function<void(double)> set;
    };
    std::vector<KeyLine> keys = {
        {"MainWindowHeight: 600", 1, 600, [&] { return scope.MainWindowHeight(); },
         [&](double v) { scope.SetMainWindowHeight(static_cast<int32_t>(v)); }},
        {"SMPSetting: 12", 3, 12, [&] { return scope.SMPSetting(); },
         [&](double v) { scope.SetSMPSetting(static_cast<int32_t>(v)); }},
        {"DSPSetting: 4", 9, 4, [&] { return scope.DSPSetting(); },
         [&](double v) { scope.SetDSPSetting(static_cast<int32_t>(v)); }},
        {"NoiseA: 5", 77, 5, [&] { return scope.NoiseA(); }, [&](double v) { scope.SetNoiseA(static_cast<int32_t>(v)); }},
        {"TriggerLevelA: 1.5", -9, 1.5, [&] { return scope.TriggerLevelA(); },
         [&](double v) { scope.SetTriggerLevelA(v); }},
    };
    for (size_t cut = 0; cut <= good.size(); ++cut) {
        for (const KeyLine& k : keys) k.set(k.before);
        messages.shown.clear();
        Load(good.substr(0, cut));
        bool emptyValue = false;
        for (const KeyLine& k : keys) {
            const size_t start = good.find(k.text);
            ASSERT_NE(start, std::string::npos);
            const size_t valueAt = good.find(':', start) + 2;
            if (cut >= start + std::strlen(k.text)) {
                EXPECT_EQ(k.value(), k.after) << k.text << " whole before the cut at " << cut;
            } else if (cut <= start) {
                EXPECT_EQ(k.value(), k.before) << k.text << " after the cut at " << cut;
            } else if (cut > valueAt) {
                // A value cut inside is still a number: "SMPSetting: 1" out of "12" loads 1.
                EXPECT_EQ(k.value(), std::stod(good.substr(valueAt, cut - valueAt))) << k.text << " cut at " << cut;
            } else if (cut >= valueAt - 1) {
                emptyValue = true;  // "NoiseA:" or "NoiseA: "
            }
        }
        // Only a value cut to nothing does not convert; every other cut loads without a word.
        if (emptyValue) {
            ASSERT_EQ(messages.shown.size(), 1u) << cut;
            EXPECT_NE(messages.shown[0].find("is not a valid"), std::string::npos) << cut;
        } else {
            EXPECT_TRUE(messages.shown.empty()) << cut << ": " << (messages.shown.empty() ? "" : messages.shown[0]);
        }
        ExpectTablesInRange();
    }
}

TEST_F(BadSettings, BinaryNoiseEndsAtTheFirstBadValueOrLoadsNothing) {
    std::mt19937 random(5);
    for (int i = 0; i < 50; ++i) {
        std::string bytes(4096, '\0');
        for (auto& c : bytes) c = static_cast<char>(random());
        // Some with known keys among the noise.
        if (i % 2) bytes.insert(100, "\nSMPSetting: \xff\xfe\n");
        messages.shown.clear();
        EXPECT_LT(Load(bytes), 2.0);
        EXPECT_LE(messages.shown.size(), 1u);
        ExpectTablesInRange();
    }
}

TEST_F(BadSettings, HugeFilesAndLongLinesLoadInBoundedTime) {
    // 100 MB of unknown keys, then a known one.
    std::string huge;
    huge.reserve(kHugeBytes + 64);
    while (huge.size() < kHugeBytes) huge += "UnknownKey: 1234567890\r\n";
    huge += "NoiseA: 7\r\n";
    EXPECT_LT(Load(huge), 30.0);
    EXPECT_EQ(scope.NoiseA(), 7);
    EXPECT_TRUE(messages.shown.empty());

    // Lines of 1 MB: a value that long does not convert; a long unknown key is skipped.
    const std::string mb(1u << 20, '9');
    EXPECT_LT(Load("Some" + mb + ": 1\r\nNoiseB: 3\r\n"), 5.0);
    EXPECT_EQ(scope.NoiseB(), 3);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_LT(Load("MaxChannelA: " + mb + "\r\n"), 5.0);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].substr(0, 2), "'9");
    EXPECT_NE(messages.shown[0].find("is not a valid integer value"), std::string::npos);
}

TEST_F(BadSettings, EveryKeyOutOfRangeLeavesTheTablesUsable) {
    for (const char* value : {"-2147483648", "2147483647", "99", "-1", "1E308", "-1E308"}) {
        std::string text;
        for (const std::string& key : controls::TSettingsLyraRM::DistinctKeys()) text += key + ": " + value + "\r\n";
        messages.shown.clear();
        EXPECT_LT(Load(text), 2.0);
        ExpectTablesInRange();
        // The model stays usable for every use of its values.
        scope.NotifyListeners(kNotifySettingsChanged, kGroupScope);
    }
}

}  // namespace
