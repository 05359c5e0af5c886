// rollmode-bench-e2e: the program's main window and components, as the program builds them,
// on whatever platform Qt runs (offscreen for benchmarks), measuring one recording at the
// simulated instrument's rate: CPU from the kernel's accounting, resident memory, start-up and
// the close request. A second mode checks a record file of the counting pattern word by word.
//
//   rollmode-bench-e2e --run --seconds 60 --record FILE --report FILE [--sim-pid PID]
//   rollmode-bench-e2e --verify FILE [--sim-stats FILE] [--report FILE]
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <QtTest/QTest>

#include "platform/ProcessStats.h"
#include "MainFormComponents.h"
#include "MainScreen.h"
#include "NotificationCodes.h"
#include "QtApplicationControl.h"
#include "RateTables.h"
#include "RecordFileReader.h"
#include "RollScreenParentLyraRM.h"
#include "VirtualScopeLyraRM.h"
#include "ports/MessageBoxService.h"

using namespace rollmode;

namespace {

constexpr char kUsage[] = R"(rollmode-bench-e2e: one recording through the program's window, measured

  --run                 build the main window and its components, record, report
    --seconds N         seconds of signal after the start (60)
    --switch-at N       second at which the cardiogram gives way to the rolling screen (5)
    --record FILE       record file (required)
    --report FILE       key-value report, appended (stdout when absent)
    --sim-pid PID       the simulator's process, for its CPU time
    --smp STEP          sampling step (15 = 5,000,000 samples/s)
    --dsp STEP          display step (the loaded setting when absent)
    --width W --height H  window client size (1600 x 900)
    --move scroll|copy    how the rolling screen moves its picture on the window (scroll)
    --no-display          display off (as its button does): what the program costs without screens
    --rss-every N       also report resident memory every N seconds (0: at 10 s and at the end)
  --verify FILE         check a record file of the counting pattern word by word
    --sim-stats FILE    the simulator's --stats file, for the words it delivered
)";

double Now(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Seconds since boot at which this process started (field 22, in clock ticks).
double ProcessStartBootSeconds() {
    std::ifstream in("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream rest(text.substr(close + 2));
    std::string field;
    for (int i = 3; i <= 21; ++i) rest >> field;
    unsigned long long start = 0;
    rest >> start;
    return double(start) / double(sysconf(_SC_CLK_TCK));
}

// VmRSS in kB; -1 when unreadable.
long ResidentKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    }
    return -1;
}

class Report {
public:
    explicit Report(std::string path) : path_(std::move(path)) {}
    template <typename T>
    void Put(const std::string& key, T value) {
        std::ostringstream line;
        line.precision(6);
        line << key << ' ' << value << '\n';
        if (path_.empty()) {
            std::fputs(line.str().c_str(), stdout);
            std::fflush(stdout);
            return;
        }
        std::ofstream out(path_, std::ios::app);
        out << line.str();
    }

private:
    std::string path_;
};

// Dialogs would wait for a hand: each box is reported and answered No (or OK).
class LoggedBoxes final : public core::MessageBoxService {
public:
    core::MsgResult Show(const std::string& text, core::MsgButtons, core::MsgIcon) override {
        std::fprintf(stderr, "rollmode-bench-e2e: box \"%s\" answered No\n", text.c_str());
        ++shown;
        return core::MsgResult::No;
    }
    int shown = 0;
};

// Told every notification after the window's own listeners: the first call is the moment the
// first notification has been handled.
class FirstNotification final : public core::TNotificationHandler {
public:
    FirstNotification(core::TVirtualScopeLyraRM& scope, clockid_t clock) : clock_(clock), scope_(scope) {
        scope_.RegisterListener(core::kGroupScope, this, this);
    }
    ~FirstNotification() override { Unregister(); }
    void HandleNotification(int32_t code, int32_t&) override {
        if (at < 0) {
            at = Now(clock_);
            firstCode = code;
        }
        if (code == core::kNotifyShutdown) Unregister();
    }
    double at = -1;
    int firstCode = 0;

private:
    void Unregister() {
        if (registered_) scope_.UnregisterListener(this, this);
        registered_ = false;
    }
    clockid_t clock_;
    core::TVirtualScopeLyraRM& scope_;
    bool registered_ = true;
};

struct RunOptions {
    double seconds = 60;
    double switchAt = -1;
    std::string record, report, simPid;
    int smp = 15;
    int dsp = -1;
    int width = 1600, height = 900;
    std::string move;
    bool display = true;
    double rssEvery = 0;
};

QAbstractButton* FindButton(QWidget& form, const char* name) {
    auto* b = form.findChild<QAbstractButton*>(QString::fromLatin1(name));
    return b != nullptr && b->isVisible() && b->isEnabled() ? b : nullptr;
}

int Run(int argc, char** argv, const RunOptions& o) {
    QApplication app(argc, argv);
    QApplication::setStyle(QStringLiteral("Windows"));
    shell::ForceDecimalPoint();
    Report report(o.report);
    // Launch: the caller's clock just before it started this process (ROLLMODE_BENCH_LAUNCH,
    // seconds since the epoch), else the kernel's start time of the process (10 ms steps).
    const char* launchEnv = std::getenv("ROLLMODE_BENCH_LAUNCH");
    const bool launchGiven = launchEnv != nullptr && *launchEnv != '\0';
    const clockid_t clock = launchGiven ? CLOCK_REALTIME : CLOCK_BOOTTIME;
    const double launch = launchGiven ? std::atof(launchEnv) : ProcessStartBootSeconds();

    // The settings files resolve against the current folder: the caller runs this in a scratch
    // folder, so a benchmark never rewrites the settings beside the program.
    const std::string record = std::filesystem::absolute(o.record).string();
    std::error_code ec;

    LoggedBoxes messages;
    shell::QtApplicationControl control;
    shell::TMainForm form(&control);
    shell::MainFormComponents components(form, messages, control);
    core::TVirtualScopeLyraRM& scope = components.VirtualScopeLyraRM1();
    FirstNotification first(scope, clock);
    components.InitializeApplication();
    if (control.TerminationRequested()) {
        std::fprintf(stderr, "rollmode-bench-e2e: the program asked to end during start-up\n");
        return 1;
    }
    if (!o.move.empty()) {
        using Screen = display::TRollScreenParentLyraRM;
        const Screen::MoveMode mode = o.move == "copy" ? Screen::MoveMode::Copy : Screen::MoveMode::Scroll;
        for (Screen* screen : form.findChildren<Screen*>()) screen->SetMoveMode(mode);
        report.Put("move_mode", o.move);
    }
    form.resize(o.width, o.height);
    form.show();
    QApplication::processEvents();
    const double shown = Now(clock);
    report.Put("startup_first_notification_s", first.at >= 0 ? first.at - launch : -1);
    report.Put("startup_first_notification_code", first.firstCode);
    report.Put("startup_window_shown_s", shown - launch);

    // Settings as a user would leave them: the rate, the cardiogram, the record file with saving on.
    // Worker threads at raised priority, as the settings file has it by default (the acquisition
    // thread must read the instrument every 6.5 ms at 5 MS/s, whatever else the machine runs).
    scope.SetBoostThread(true);
    scope.SetSMPSetting(o.smp);
    if (o.dsp >= 0) scope.SetDSPSetting(o.dsp);
    scope.SetModeEKG(true);
    scope.NotifyListeners(core::kNotifyCardiogramDisplay, core::kGroupModeDisplayControls);
    if (!o.display) {
        scope.SetDisplayActive(false);
        scope.NotifyListeners(core::kNotifySettingsChanged, core::kGroupModeDisplayControls);
        report.Put("display", "off");
    }
    scope.NotifyListeners(core::kNotifySettingsChanged, core::kGroupTimeBaseControls);
    std::filesystem::remove(record, ec);
    scope.OpenRecordFile(record);
    scope.NotifyListeners(core::kNotifySettingsChanged, core::kGroupOpenSaveControls);
    QApplication::processEvents();
    if (!scope.SavingActivated()) {
        if (QAbstractButton* save = FindButton(form, "SaveButton")) {
            QTest::mouseClick(save, Qt::LeftButton);
            report.Put("saving_via", "SaveButton");
        } else {
            scope.SetSavingActivated(true);
            scope.NotifyListeners(core::kNotifySettingsChanged, core::kGroupOpenSaveControls);
            report.Put("saving_via", "model");
        }
    }
    if (!scope.SavingActivated() || scope.ActualOutputStream() == nullptr) {
        std::fprintf(stderr, "rollmode-bench-e2e: saving did not come on for %s\n", record.c_str());
        form.close();
        return 1;
    }
    report.Put("boost_thread", scope.BoostThread() ? 1 : 0);
    report.Put("smp_step", scope.SMPSetting());
    report.Put("dsp_step", scope.DSPSetting());
    report.Put("samples_per_second", core::SamplesPerSecond(scope.SMPSetting()));

    struct Mark {
        double wall = 0, cpu = 0, simCpu = 0;
    };
    auto markNow = [&o] {
        return Mark{Now(CLOCK_MONOTONIC), platform::ProcessCpuSeconds("self"),
                    o.simPid.empty() ? -1.0 : platform::ProcessCpuSeconds(o.simPid)};
    };
    Mark start;

    auto startMeasurement = [&] {
        start = markNow();
        if (QAbstractButton* button = FindButton(form, "StartButton")) {
            QTest::mouseClick(button, Qt::LeftButton);
            report.Put("start_via", "StartButton");
        } else {
            scope.SetMeasurementStarted(true);
            scope.NotifyListeners(core::kNotifySettingsChanged, core::kGroupMeasurementRecordControls);
            report.Put("start_via", "model");
        }
        if (!scope.MeasurementStarted()) {
            std::fprintf(stderr, "rollmode-bench-e2e: the measurement did not start\n");
            QApplication::exit(1);
        }
    };
    QTimer::singleShot(0, &form, startMeasurement);

    // Early, so that the rolling screen's picture (allocated when it is first shown) is in place
    // before the memory is first read at 10 s.
    const double switchAt = o.switchAt >= 0 ? o.switchAt : std::min(5.0, o.seconds / 2);
    QTimer::singleShot(static_cast<int>(switchAt * 1000), &form, [&scope] {
        scope.SetModeEKG(false);
        scope.NotifyListeners(core::kNotifyRollDisplay, core::kGroupModeDisplayControls);
    });
    auto reportResident = [&report](double at) {
        std::ostringstream key;
        key << "rss_kb_at_" << at << "s";
        report.Put(key.str(), ResidentKb());
    };
    QTimer::singleShot(10000, &form, [&reportResident] { reportResident(10); });
    if (o.rssEvery > 0) {
        for (double at = o.rssEvery; at < o.seconds; at += o.rssEvery) {
            if (at == 10) continue;
            QTimer::singleShot(static_cast<int>(at * 1000), &form, [&reportResident, at] { reportResident(at); });
        }
    }
    QTimer::singleShot(static_cast<int>(o.seconds * 1000), &form, [&] {
        const Mark end = markNow();
        const double wall = end.wall - start.wall;
        report.Put("run_seconds", wall);
        report.Put("rss_kb_at_end", ResidentKb());
        report.Put("program_cpu_s", end.cpu - start.cpu);
        report.Put("program_cpu_per_signal_s", (end.cpu - start.cpu) / wall);
        if (start.simCpu >= 0 && end.simCpu >= 0) {
            report.Put("sim_cpu_s", end.simCpu - start.simCpu);
            report.Put("sim_cpu_per_signal_s", (end.simCpu - start.simCpu) / wall);
        }
        report.Put("record_bytes_counted", scope.FileSize());
        report.Put("boxes_shown", messages.shown);
        // Pixels the screens handed to paints, per second of signal: what reaches the window.
        for (const auto* screen : form.findChildren<display::TRollScreenParentLyraRM*>())
            report.Put("painted_px_per_signal_s_" + screen->objectName().toStdString(), double(screen->PaintedPixels()) / wall);
        // The close request as the window's close button makes it; the process' end is taken
        // by the caller.
        char closeAt[64];
        std::snprintf(closeAt, sizeof closeAt, "%.6f", Now(CLOCK_REALTIME));
        report.Put("close_request_epoch_s", closeAt);
        form.close();
    });
    const int rc = QApplication::exec();
    form.FormClose();
    return rc;
}

// --- Verification -------------------------------------------------------------------

std::map<std::string, std::string> ReadKeyValues(const std::string& path) {
    std::map<std::string, std::string> values;
    std::ifstream in(path);
    std::string key, value;
    while (in >> key >> value) values[key] = value;
    return values;
}

// The counting pattern: sample n carries A = 1 + n mod 255, B = 1 + (n div 255) mod 255, so
// each word names its index modulo 65025, and any loss, repeat or reordering breaks the step of
// one from word to word.
int Verify(const std::string& path, const std::string& simStats, const std::string& reportPath) {
    Report report(reportPath);
    records::TRecordFileReader reader;
    if (!reader.Open(path)) {
        std::fprintf(stderr, "rollmode-bench-e2e: %s\n", reader.Error().c_str());
        return 1;
    }
    constexpr int64_t kPeriod = 255 * 255;
    uint64_t samples = 0, marks1 = 0, marks2 = 0, records = 0, breaks = 0, repeats = 0, missing = 0;
    uint64_t badCodes = 0, firstIndex = 0;
    int64_t previous = -1;
    bool afterMark = false;
    uint64_t lostAtMarks = 0;  // modulo 65,025 per mark: a loss of 13 ms and more wraps
    records::RecordItem item;
    while (reader.Next(item)) {
        switch (item.kind) {
            case records::RecordItem::Kind::Settings: ++records; break;
            case records::RecordItem::Kind::Marker:
                if (item.word == 1) {
                    ++marks1;
                    afterMark = true;  // the words lost here are counted apart
                } else {
                    ++marks2;
                }
                break;
            case records::RecordItem::Kind::Sample: {
                const int a = item.CodeA(), b = item.CodeB();
                if (a == 0 || b == 0) {
                    ++badCodes;
                    previous = -1;
                    break;
                }
                const int64_t index = (a - 1) + 255 * int64_t(b - 1);
                if (samples == 0) firstIndex = static_cast<uint64_t>(index);
                ++samples;
                if (afterMark) {
                    if (previous >= 0) lostAtMarks += static_cast<uint64_t>((index - previous - 1 + kPeriod) % kPeriod);
                    afterMark = false;
                } else if (previous >= 0 && index != (previous + 1) % kPeriod) {
                    ++breaks;
                    if (index == previous) ++repeats;
                    else missing += static_cast<uint64_t>((index - previous - 1 + kPeriod) % kPeriod);
                }
                previous = index;
                break;
            }
        }
    }
    report.Put("file_bytes", reader.Offset());
    report.Put("file_read_error", reader.Failed() ? "yes" : "no");
    report.Put("file_sample_words", samples);
    report.Put("file_settings_records", records);
    report.Put("file_loss_marks", marks1);
    report.Put("file_words_lost_at_marks", lostAtMarks);
    report.Put("file_word2_marks", marks2);
    report.Put("file_order_breaks", breaks);
    report.Put("file_repeated_words", repeats);
    report.Put("file_skipped_words", missing);
    report.Put("file_bad_codes", badCodes);
    report.Put("file_first_index_mod_65025", firstIndex);
    bool ok = !reader.Failed() && marks1 == 0 && breaks == 0 && badCodes == 0 && samples > 0;
    if (!simStats.empty()) {
        const auto stats = ReadKeyValues(simStats);
        const auto it = stats.find("delivered_samples");
        if (it != stats.end()) {
            const long long delivered = std::atoll(it->second.c_str());
            report.Put("sim_delivered_samples", delivered);
            report.Put("sim_overflows", stats.count("overflows") ? stats.at("overflows") : "?");
            // The driver drops the first word after a start (the FIFO's stale word); nothing else
            // may be missing.
            const long long lost = delivered - static_cast<long long>(samples);
            report.Put("words_delivered_not_in_file", lost);
            ok = ok && lost >= 0 && lost <= 1 && stats.count("overflows") && stats.at("overflows") == "0";
        } else {
            ok = false;
        }
    }
    report.Put("file_check", ok ? "pass" : "FAIL");
    return ok ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
    RunOptions o;
    bool run = false;
    std::string verify, simStats;
    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        const bool hasValue = i + 1 < argc;
        if (opt == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (opt == "--run") {
            run = true;
        } else if (opt == "--seconds" && hasValue) {
            o.seconds = std::atof(argv[++i]);
        } else if (opt == "--switch-at" && hasValue) {
            o.switchAt = std::atof(argv[++i]);
        } else if (opt == "--record" && hasValue) {
            o.record = argv[++i];
        } else if (opt == "--report" && hasValue) {
            o.report = argv[++i];
        } else if (opt == "--sim-pid" && hasValue) {
            o.simPid = argv[++i];
        } else if (opt == "--smp" && hasValue) {
            o.smp = std::atoi(argv[++i]);
        } else if (opt == "--dsp" && hasValue) {
            o.dsp = std::atoi(argv[++i]);
        } else if (opt == "--width" && hasValue) {
            o.width = std::atoi(argv[++i]);
        } else if (opt == "--height" && hasValue) {
            o.height = std::atoi(argv[++i]);
        } else if (opt == "--move" && hasValue && (std::strcmp(argv[i + 1], "scroll") == 0 || std::strcmp(argv[i + 1], "copy") == 0)) {
            o.move = argv[++i];
        } else if (opt == "--no-display") {
            o.display = false;
        } else if (opt == "--rss-every" && hasValue) {
            o.rssEvery = std::atof(argv[++i]);
        } else if (opt == "--verify" && hasValue) {
            verify = argv[++i];
        } else if (opt == "--sim-stats" && hasValue) {
            simStats = argv[++i];
        } else {
            std::fprintf(stderr, "rollmode-bench-e2e: bad option %s (see --help)\n", opt.c_str());
            return 2;
        }
    }
    if (!verify.empty()) return Verify(verify, simStats, o.report);
    if (!run || o.record.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    return Run(argc, argv, o);
}
