#include "SettingsLyraRM.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "NotificationCodes.h"
#include "VirtualScopeLyraRM.h"
#include "../support/fakedriver/ScriptedPorts.h"

using namespace rollmode::core;
using rollmode::controls::FormatGeneral;
using rollmode::controls::TSettingsLyraRM;
namespace fs = std::filesystem;

namespace {

std::string ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& name, const std::string& text) {
    std::ofstream(name, std::ios::binary | std::ios::trunc) << text;
}

// Splits on CR LF; the text must end with one.
std::vector<std::string> CrLfLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
        lines.push_back(text.substr(start, at - start));
    EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
    return lines;
}

// Each test runs in a folder of its own, as the program runs in its own folder.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "settingsXXXXXX";
        folder_ = mkdtemp(pattern.data());
        old_ = fs::current_path();
        fs::current_path(folder_);
        settings.SetMessageBoxService(&messages);
        settings.SetVirtualScope(&scope);
    }
    void TearDown() override {
        fs::current_path(old_);
        fs::remove_all(folder_);
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (const auto& b : messages.shown) t.push_back(b.text);
        return t;
    }
    void Load(const std::string& text) {
        WriteFile("t.ini", text);
        settings.LoadSettingsFile("t.ini");
    }

    fs::path folder_, old_;
    fakedriver::ScriptedMessages messages;
    TVirtualScopeLyraRM scope;
    TSettingsLyraRM settings;
};

// Every stored property set away from the model's initial value.
void SetEveryKeyAwayFromItsInitialValue(TVirtualScopeLyraRM& s) {
    s.SetMainWindowHeight(600);
    s.SetMainWindowWidth(800);
    s.SetStatusChannelA(false);
    s.SetStatusChannelB(false);
    s.SetColorChannelA(0x123456);
    s.SetColorChannelB(0x80000005u);  // a value with the top bit set
    s.SetColorGrid(0x808080);
    s.SetBackgroundColor(0x102030);
    s.SetMakeMaximum(false);
    s.SetMakeMinimum(false);
    s.SetMakeAvg(true);
    s.SetSingleMode(true);
    s.SetDensityChannelA(3);
    s.SetDensityChannelB(5);
    s.SetMaxChannelA(217);
    s.SetMaxChannelB(300);
    s.SetVerticalLevelChannelA(2094);
    s.SetVerticalLevelChannelB(4095);
    s.SetSourceACDC_A(false);
    s.SetSourceACDC_B(false);
    s.SetSourceProbeA(2);
    s.SetSourceProbeB(4);
    s.SetModeLine(false);
    s.SetModeBF(true);
    s.SetModeEKG(false);
    s.SetDisplayActive(false);
    s.SetGridBrightness(50);
    s.SetGrid(false);
    s.SetMainScreenMaximized(true);
    s.SetShowComixHelp(false);
    s.SetTriggerSourceA(true);
    s.SetTriggerSourceB(true);
    s.SetTriggerLevelA(1.5);
    s.SetTriggerLevelB(-250.25);
    s.SetTriggerUnderA(true);
    s.SetTriggerUnderB(true);
    s.SetTriggerRelation(true);
    s.SetSMPSetting(13);
    s.SetDSPSetting(9);
    s.SetBoostThread(false);
    s.SetMeasurementLength(4294967295u);
    s.SetRecordTriggered(true);
    s.SetRecordFree(false);
    s.SetMeasurementDefined(true);
    s.SetARMSourceA(true);
    s.SetARMSourceB(true);
    s.SetARMSourceExternal(true);
    s.SetARMUnderA(true);
    s.SetARMUnderB(true);
    s.SetARMUnderExternal(true);
    s.SetARMLevelA(0.001);
    s.SetARMLevelB(123456.789);
    s.SetPeriodA(150);
    s.SetPeriodB(25000);
    s.SetAmplitudeA(10);
    s.SetAmplitudeB(99999);
    s.SetNoiseA(3);
    s.SetNoiseB(17);
}

}  // namespace

TEST_F(SettingsTest, TheFileHasTheHeaderTheRuleAndSixtyLinesInOrder) {
    settings.SaveSettingsFile("out.ini");
    const std::vector<std::string> lines = CrLfLines(ReadFile("out.ini"));
    ASSERT_EQ(lines.size(), 62u);
    EXPECT_EQ(lines[0], "Inproper modification of this file may lead to SW malfunction");
    EXPECT_EQ(lines[0].size(), 61u);
    EXPECT_EQ(lines[1], std::string(61, '-'));
    const std::vector<std::string> keys = TSettingsLyraRM::WrittenKeys();
    ASSERT_EQ(keys.size(), 60u);
    for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(lines[i + 2].substr(0, keys[i].size() + 2), keys[i] + ": ");
    EXPECT_EQ(keys[0], "MainWindowHeight");
    EXPECT_EQ(keys[29], "MainWindowWidth");
    EXPECT_EQ(keys[30], "MainWindowHeight");
    EXPECT_EQ(keys[59], "NoiseB");
    EXPECT_EQ(TSettingsLyraRM::DistinctKeys().size(), 58u);
    // Values of the model's initial state in their forms.
    const std::string text = ReadFile("out.ini");
    for (const char* line : {"\r\nGrid: true\r\n", "\r\nMakeAvg: false\r\n", "\r\nColorChannelA: 4259584\r\n",
                             "\r\nTriggerLevelA: 200\r\n", "\r\nTriggerLevelB: 2000\r\n", "\r\nSMPSetting: 10\r\n",
                             "\r\nMeasurementLength: 5000\r\n", "\r\nVerticalLevelChannelA: 1392\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_EQ(settings.FileName(), "out.ini");
    EXPECT_TRUE(messages.shown.empty());
}

TEST(SettingsNumbers, GeneralFormatIsShortestWithFifteenDigitsAndAPoint) {
    EXPECT_EQ(FormatGeneral(200), "200");
    EXPECT_EQ(FormatGeneral(1.5), "1.5");
    EXPECT_EQ(FormatGeneral(0), "0");
    EXPECT_EQ(FormatGeneral(-250.25), "-250.25");
    EXPECT_EQ(FormatGeneral(0.1), "0.1");
    EXPECT_EQ(FormatGeneral(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(FormatGeneral(0.00001), "0.00001");
    EXPECT_EQ(FormatGeneral(0.0000015), "1.5E-6");
    EXPECT_EQ(FormatGeneral(123456789012345.0), "123456789012345");
    EXPECT_EQ(FormatGeneral(1234567890123456.0), "1.23456789012346E15");
    EXPECT_EQ(FormatGeneral(1e20), "1E20");
    EXPECT_EQ(FormatGeneral(2.0 / 3.0 * 1000), "666.666666666667");
}

TEST_F(SettingsTest, ASavedFileReadBackRestoresEveryKey) {
    settings.SaveSettingsFile("initial.ini");
    SetEveryKeyAwayFromItsInitialValue(scope);
    settings.SaveSettingsFile("changed.ini");
    const std::vector<std::string> initial = CrLfLines(ReadFile("initial.ini"));
    const std::vector<std::string> changed = CrLfLines(ReadFile("changed.ini"));
    ASSERT_EQ(changed.size(), 62u);
    for (std::size_t i = 2; i < changed.size(); ++i)
        EXPECT_NE(changed[i], initial[i]) << "the round trip must see every key change: " << changed[i];

    TVirtualScopeLyraRM fresh;
    TSettingsLyraRM reader;
    reader.SetMessageBoxService(&messages);
    reader.SetVirtualScope(&fresh);
    reader.LoadSettingsFile("changed.ini");
    reader.SaveSettingsFile("again.ini");
    EXPECT_EQ(ReadFile("again.ini"), ReadFile("changed.ini"));
    EXPECT_EQ(fresh.MeasurementLength(), 4294967295u);
    EXPECT_EQ(fresh.ColorChannelB(), 0x80000005u);
    EXPECT_DOUBLE_EQ(fresh.ARMLevelB(), 123456.789);
    EXPECT_EQ(fresh.RealGridColor(), TVirtualScopeLyraRM::ScaleColor(0x808080, 0.5));
    EXPECT_TRUE(messages.shown.empty());
}

// A working settings file as users have it, every line written out here rather than made by
// the component: it loads into the model and is written back byte for byte.
TEST_F(SettingsTest, AUsersRollModeIniLoadsAndIsWrittenBackUnchanged) {
    const std::string golden = ReadFile(ROLLMODE_GOLDEN_INI);
    ASSERT_EQ(CrLfLines(golden).size(), 62u);
    WriteFile("RollMode.ini", golden);
    settings.LoadSettingsFile("RollMode.ini");
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(scope.MainWindowWidth(), 800);
    EXPECT_FALSE(scope.StatusChannelB());
    EXPECT_EQ(scope.ColorChannelB(), 0xFF00FFu);
    EXPECT_EQ(scope.DensityChannelA(), 5);
    EXPECT_EQ(scope.DensityChannelB(), 7);
    EXPECT_EQ(scope.VerticalLevelChannelB(), 1000);
    EXPECT_FALSE(scope.SourceACDC_B());
    EXPECT_EQ(scope.SourceProbeA(), 2);
    EXPECT_FALSE(scope.ModeEKG());
    EXPECT_EQ(scope.GridBrightness(), 60);
    EXPECT_DOUBLE_EQ(scope.TriggerLevelA(), 1.5);
    EXPECT_DOUBLE_EQ(scope.TriggerLevelB(), -250.0);
    EXPECT_EQ(scope.SMPSetting(), 12);
    EXPECT_EQ(scope.DSPSetting(), 4);
    EXPECT_EQ(scope.MeasurementLength(), 90000u);
    EXPECT_TRUE(scope.RecordTriggered());
    EXPECT_TRUE(scope.MeasurementDefined());
    EXPECT_TRUE(scope.ARMSourceB());
    EXPECT_DOUBLE_EQ(scope.ARMLevelB(), -1200.5);
    EXPECT_EQ(scope.PeriodA(), 500);
    EXPECT_EQ(scope.AmplitudeA(), 1500);
    EXPECT_EQ(scope.NoiseA(), 3);
    settings.SaveSettingsFile("RollMode.ini");
    EXPECT_EQ(ReadFile("RollMode.ini"), golden);
}

TEST_F(SettingsTest, SingleLinesLoadByTheRules) {
    struct Case {
        const char* text;
        std::function<void(TVirtualScopeLyraRM&)> before;
        std::function<bool(const TVirtualScopeLyraRM&)> holds;
    };
    const auto gridOn = [](TVirtualScopeLyraRM& s) { s.SetGrid(true); };
    const std::vector<Case> cases = {
        {"Grid:true\r\n", gridOn, [](auto& s) { return !s.Grid(); }},  // the value would be "rue"
        {"Grid: True\r\n", gridOn, [](auto& s) { return !s.Grid(); }},
        {"Grid: true \r\n", gridOn, [](auto& s) { return !s.Grid(); }},
        {"Grid: true\r\n", [](auto& s) { s.SetGrid(false); }, [](auto& s) { return s.Grid(); }},
        {"grid: false\r\n", gridOn, [](auto& s) { return s.Grid(); }},  // keys are case-sensitive
        {"Grid false\r\n", gridOn, [](auto& s) { return s.Grid(); }},   // no colon, no key
        {"DensityChannelA: 0\r\n", nullptr, [](auto& s) { return s.DensityChannelA() == 1; }},
        {"DensityChannelA: 12\r\n", nullptr, [](auto& s) { return s.DensityChannelA() == 9; }},
        {"VerticalLevelChannelA: 5000\r\n", nullptr, [](auto& s) { return s.VerticalLevelChannelA() == 1392; }},
        // Beyond 16 bits the value is clamped, not wrapped onto a valid level.
        {"VerticalLevelChannelA: 67536\r\n", nullptr, [](auto& s) { return s.VerticalLevelChannelA() == 1392; }},
        {"DensityChannelA: 70000\r\n", nullptr, [](auto& s) { return s.DensityChannelA() == 9; }},
        {"SMPSetting: 0\r\nDSPSetting: 1\r\n", nullptr,
         [](auto& s) { return s.SMPSetting() == 2 && s.DSPSetting() == 1; }},
        {"TriggerLevelA: 1.5\r\n", nullptr, [](auto& s) { return s.TriggerLevelA() == 1.5; }},
        {"TriggerLevelA: -2e3\r\n", nullptr, [](auto& s) { return s.TriggerLevelA() == -2000.0; }},
        {"Grid: false\r\nGrid: true\r\n", gridOn, [](auto& s) { return s.Grid(); }},  // the later line wins
        {"MainWindowWidth: 640\nMainWindowWidth: 320\n", nullptr, [](auto& s) { return s.MainWindowWidth() == 320; }},
        // Steps and probe codes outside their tables are clamped to the nearest end.
        {"SMPSetting: 99\r\n", nullptr, [](auto& s) { return s.SMPSetting() == 15; }},
        {"SMPSetting: -4\r\n", nullptr, [](auto& s) { return s.SMPSetting() == 0 && s.DSPSetting() == 3; }},
        {"DSPSetting: 40\r\n", nullptr, [](auto& s) { return s.DSPSetting() == 16; }},
        {"SourceProbeA: 9\r\nSourceProbeB: 0\r\n", nullptr,
         [](auto& s) { return s.SourceProbeA() == 4 && s.SourceProbeB() == 1; }},
        {"MeasurementLength: -5\r\n", nullptr, [](auto& s) { return s.MeasurementLength() == 0; }},
    };
    for (const Case& c : cases) {
        TVirtualScopeLyraRM s;
        TSettingsLyraRM loader;
        loader.SetMessageBoxService(&messages);
        loader.SetVirtualScope(&s);
        if (c.before) c.before(s);
        WriteFile("line.ini", c.text);
        loader.LoadSettingsFile("line.ini");
        EXPECT_TRUE(c.holds(s)) << c.text;
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SettingsTest, AValueThatDoesNotConvertEndsTheLoadAtItsLine) {
    struct Case {
        const char* bad;
        const char* text;
    };
    for (const Case& c : std::vector<Case>{
             {"TriggerLevelA: 1,5", "'1,5' is not a valid floating point value"},
             {"ARMLevelB: ", "'' is not a valid floating point value"},
             {"ARMLevelB: nan", "'nan' is not a valid floating point value"},
             {"MaxChannelA: abc", "'abc' is not a valid integer value"},
             {"MaxChannelA: 12 ", "'12 ' is not a valid integer value"},
             {"MaxChannelA: 3000000000", "'3000000000' is not a valid integer value"},
             {"DensityChannelA: 1.0", "'1.0' is not a valid integer value"},
         }) {
        TVirtualScopeLyraRM s;
        TSettingsLyraRM loader;
        messages.shown.clear();
        loader.SetMessageBoxService(&messages);
        loader.SetVirtualScope(&s);
        s.SetRecordFree(false);
        s.SetNoiseA(0);
        WriteFile("bad.ini", std::string("RecordFree: true\r\n") + c.bad + "\r\nNoiseA: 9\r\n");
        loader.LoadSettingsFile("bad.ini");
        ASSERT_EQ(messages.shown.size(), 1u) << c.bad;
        EXPECT_EQ(messages.shown[0].text, c.text);
        EXPECT_EQ(messages.shown[0].icon, MsgIcon::Error);
        EXPECT_TRUE(s.RecordFree()) << "the line before stays applied";
        EXPECT_EQ(s.NoiseA(), 0) << "the line after is not read";
    }
}

TEST_F(SettingsTest, AnyLineEndingAndBlankLinesReadAlike) {
    for (const std::string& text :
         {std::string("\r\n\r\nNoiseA: 5\r\n\r\nNoiseB: 6\r\n\r\n\r\n"), std::string("NoiseA: 5\nNoiseB: 6\n\n\n"),
          std::string("\rNoiseA: 5\rNoiseB: 6"), std::string("NoiseA: 5\n\rNoiseB: 6\r\n")}) {
        scope.SetNoiseA(0);
        scope.SetNoiseB(0);
        Load(text);
        EXPECT_EQ(scope.NoiseA(), 5);
        EXPECT_EQ(scope.NoiseB(), 6);
    }
    const std::string longValue(100000, '7');
    Load("Grid: false\r\nUnknownKey: " + longValue + "\r\nNoiseA: 8\r\n");
    EXPECT_EQ(scope.NoiseA(), 8) << "lines of any length";
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SettingsTest, AnEmptyFileKeepsTheRecordFileAnyOtherSelectsSdata) {
    scope.OpenRecordFile("mine.rmd");
    Load("");
    EXPECT_EQ(scope.RecordFileName(), "mine.rmd");
    Load("\r\n\n\r");
    EXPECT_EQ(scope.RecordFileName(), "mine.rmd") << "only empty lines";

    Load("Inproper modification of this file may lead to SW malfunction\r\n" + std::string(61, '-') + "\r\n");
    EXPECT_EQ(scope.RecordFileName(), "sdata.rmd");
    EXPECT_TRUE(messages.shown.empty());

    // With saving on after start-up the selection reopens the record file.
    scope.OpenRecordFile("mine.rmd");
    scope.SetApplicationInitialized(true);
    scope.SetSavingActivated(true);
    Load("NoiseA: 1\r\n");
    EXPECT_EQ(scope.RecordFileName(), "sdata.rmd");
    EXPECT_NE(scope.ActualOutputStream(), nullptr);
    EXPECT_TRUE(fs::exists("sdata.rmd"));
}

TEST_F(SettingsTest, FailuresAreReportedWithTheirTexts) {
    settings.SaveSettingsFile("no/such/folder/x.ini");
    settings.LoadSettingsFile("absent.ini");
    fs::create_directory("folder.ini");
    settings.LoadSettingsFile("folder.ini");  // opens, but reading fails
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Cannot create file no/such/folder/x.ini", "File absent.ini is missing.",
                                                 "Error reading file."}));
    EXPECT_FALSE(fs::exists("no/such/folder/x.ini"));
}

TEST_F(SettingsTest, AFailingMediumIsReportedOncePerLine) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    settings.SaveSettingsFile("/dev/full");
    const std::vector<std::string> texts = Texts();
    EXPECT_EQ(texts.size(), 62u);
    EXPECT_EQ(texts, std::vector<std::string>(texts.size(), "Write to file failed."));
}

TEST_F(SettingsTest, AMediumThatFillsMidFileReportsEveryLineItRefuses) {
    // The file may grow to the first two lines and five bytes of the third.
    const std::size_t limit = std::string("Inproper modification of this file may lead to SW malfunction").size() + 2 + 63 + 5;
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = limit;
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    settings.SaveSettingsFile("filling.ini");
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    const std::vector<std::string> texts = Texts();
    EXPECT_EQ(texts, std::vector<std::string>(60, "Write to file failed."));
    EXPECT_EQ(fs::file_size("filling.ini"), limit);
}

TEST_F(SettingsTest, RestoreDefaultsKeepsTriggerRelationGroundAndTheRecordFile) {
    SetEveryKeyAwayFromItsInitialValue(scope);
    scope.SetSMPSetting(0);  // the defaults must still end at 2 and 3
    scope.SetDSPSetting(0);
    scope.SetGroundA(true);
    scope.OpenRecordFile("keep.rmd");
    settings.RestoreDefaults();
    EXPECT_TRUE(scope.TriggerRelation());
    EXPECT_TRUE(scope.GroundA());
    EXPECT_EQ(scope.RecordFileName(), "keep.rmd");
    EXPECT_EQ(scope.SMPSetting(), 2);
    EXPECT_EQ(scope.DSPSetting(), 3);
    EXPECT_EQ(scope.DensityChannelA(), 8);
    EXPECT_EQ(scope.MaxChannelB(), 217);
    EXPECT_EQ(scope.VerticalLevelChannelB(), 2079);
    EXPECT_EQ(scope.ColorChannelA(), 4259584u);
    EXPECT_EQ(scope.RealGridColor(), TVirtualScopeLyraRM::ScaleColor(0xFFFFFF, 0.72));
    EXPECT_TRUE(scope.TriggerUnderB());
    EXPECT_TRUE(scope.ARMUnderExternal());
    EXPECT_DOUBLE_EQ(scope.TriggerLevelA(), 0.0);
    EXPECT_EQ(scope.MeasurementLength(), 2000u);
    EXPECT_EQ(scope.MainWindowWidth(), 0);
    EXPECT_EQ(scope.NoiseB(), 0);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SettingsTest, NotificationsLoadSaveRestoreAndLeave) {
    EXPECT_EQ(scope.ListenerGroup(0), kGroupSettings);
    WriteFile("RollMode.ini", "Grid: false\r\n");
    scope.InitializeApplication();  // 6: load RollMode.ini
    EXPECT_FALSE(scope.Grid());
    EXPECT_TRUE(messages.shown.empty());

    scope.SetNoiseA(42);
    scope.NotifyListeners(kNotifySaveSettings, kGroupMainWindow);
    EXPECT_NE(ReadFile("RollModeSettings.dat").find("\r\nNoiseA: 42\r\n"), std::string::npos);
    scope.SetNoiseA(0);
    scope.NotifyListeners(kNotifyLoadSettings, kGroupMainWindow);
    EXPECT_EQ(scope.NoiseA(), 42);

    fs::remove("RollModeSettings.dat");
    scope.NotifyListeners(kNotifyLoadSettings, kGroupMainWindow);
    EXPECT_EQ(Texts(), std::vector<std::string>{"File RollModeSettings.dat is missing."});
    EXPECT_EQ(scope.NoiseA(), 42) << "nothing changed";

    scope.SetTriggerRelation(true);
    scope.NotifyListeners(kNotifyRestoreDefaults, kGroupMainWindow);
    EXPECT_EQ(scope.NoiseA(), 0);
    EXPECT_TRUE(scope.TriggerRelation());
    EXPECT_NE(ReadFile("RollMode.ini").find("\r\nSMPSetting: 2\r\n"), std::string::npos) << "written at once";

    scope.SetNoiseB(7);
    scope.ShutdownApplication();  // 3: save RollMode.ini, then leave
    EXPECT_NE(ReadFile("RollMode.ini").find("\r\nNoiseB: 7\r\n"), std::string::npos);
    EXPECT_EQ(scope.ListenerCount(), 0u);
    EXPECT_EQ(settings.VirtualScope(), nullptr);
    scope.NotifyListeners(kNotifySaveSettings, kGroupMainWindow);
    EXPECT_FALSE(fs::exists("RollModeSettings.dat")) << "no longer listening";
}
