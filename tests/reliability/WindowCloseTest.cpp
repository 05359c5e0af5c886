// The main window closed during a 5 MS/s measurement that is being saved: the whole
// program shuts down within 2 s each time; a watchdog ends the run if one hangs.
#include <gtest/gtest.h>

#include <QApplication>

#include "MainFormComponents.h"
#include "MainScreen.h"
#include "QtApplicationControl.h"
#include "ReliabilitySupport.h"
#include "VirtualDriverLyraRM.h"
#include "VirtualScopeLyraRM.h"

using namespace rollmode;
using namespace rollmode::reliability;

namespace {

// Runs the event loop until `done` holds or the time is up.
bool Pump(const std::function<bool()>& done, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

TEST(WindowClose, ClosingDuringAFastSavedMeasurementEndsSoon) {
    const int kCloses = Runs(10, 100);
    // The program's folder: settings are loaded at start and saved at the close.
    TempFolder folder;
    const auto previousFolder = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    e2e::TempDeviceFolder devices;
    e2e::SimulatedUnit unit(devices.Path(), CountingConfig());
    ASSERT_TRUE(unit.Plug());
    Watchdog watchdog(std::chrono::seconds(20));
    double longestCloseMs = 0;
    for (int i = 0; i < kCloses; ++i) {
        e2e::ScriptedMessages messages;
        shell::QtApplicationControl control;
        shell::TMainForm form(&control);
        shell::MainFormComponents components(form, messages, control);
        core::TVirtualScopeLyraRM& scope = components.VirtualScopeLyraRM1();
        components.InitializeApplication();
        form.show();
        // The first start finds no settings file; every close saves one.
        ASSERT_EQ(messages.shown.size(), i == 0 ? 1u : 0u) << "close " << i;
        ASSERT_FALSE(components.VirtualDriverLyraRM1().DemoMode());
        scope.SetSMPSetting(15);
        scope.SetRecordFree(true);
        scope.OpenRecordFile(folder.File("close.rmd"));
        scope.SetSavingActivated(true);
        scope.SetMeasurementStarted(true);
        scope.NotifyListeners(core::kNotifySettingsChanged, core::kGroupMeasurementRecordControls);
        // Streaming and saving, then a little longer at a random length.
        ASSERT_TRUE(Pump([&] { return scope.FileSize() > 2e6; }, 10000)) << "close " << i;
        Pump([] { return false; }, 10 + (i * 37) % 200);

        const auto t0 = std::chrono::steady_clock::now();
        form.close();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        EXPECT_TRUE(form.ShutdownDone());
        EXPECT_EQ(scope.ActualOutputStream(), nullptr) << "the record file is closed";
        EXPECT_LT(ms, 2000) << "close " << i;
        longestCloseMs = std::max(longestCloseMs, ms);
        watchdog.Feed();
        std::filesystem::remove(folder.File("close.rmd"));
    }
    std::filesystem::current_path(previousFolder);
    std::printf("%d window closes, longest %.1f ms\n", kCloses, longestCloseMs);
    RecordProperty("longest_close_ms", std::to_string(longestCloseMs));
}

}  // namespace
