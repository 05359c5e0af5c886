#pragma once
// Makes every user setting of the instrument model survive a restart: writes the
// model's settings as a small text file, one "Key: value" line each, and reads such
// a file back. Works on the model's notifications: 6 loads "RollMode.ini", 3 saves
// it and leaves, 8 and 9 save and load "RollModeSettings.dat", 15 restores the
// defaults and saves "RollMode.ini" at once.
//
// Qt-free: the file is plain text and every failure reaches the user through the
// core's message box port.
#include <cstdint>
#include <string>
#include <vector>

#include "WrapperComponentLyraRM.h"

namespace rollmode::core {
class MessageBoxService;
}

namespace rollmode::controls {

// The settings files' number format: the shortest form with at most 15 significant
// digits, "." as separator whatever the locale ("200", "1.5", "1E20", "1.5E-6").
std::string FormatGeneral(double v);

class TSettingsLyraRM : public core::TWrapperComponentLyraRM {
public:
    TSettingsLyraRM();  // ControlGroup 10

    // Failure texts go here; null shows nothing.
    void SetMessageBoxService(core::MessageBoxService* messages) noexcept { messages_ = messages; }

    // Reacts to codes 3, 6, 8, 9 and 15; every other code is ignored.
    void HandleNotification(int32_t code, int32_t& group) override;

    // Writes the header, the 61 hyphens and the 60 setting lines, each ending in
    // CR LF, from the model's current values.
    void SaveSettingsFile(const std::string& name);
    // Applies every "Key: value" line of the file in order (later lines win) and
    // selects "sdata.rmd" as the record file for every line read. A value that does
    // not convert ends the load at its line; lines before it stay applied.
    void LoadSettingsFile(const std::string& name);
    // Assigns the defaults in a fixed order; TriggerRelation, the ground switches,
    // saving and the record file are left as they are.
    void RestoreDefaults();

    // The file of the last save or load.
    const std::string& FileName() const noexcept { return fileName_; }

    // The keys in the order the file lists them (60 lines, two keys twice), and the
    // 58 distinct keys.
    static std::vector<std::string> WrittenKeys();
    static std::vector<std::string> DistinctKeys();

private:
    // Applies one line; false when its value does not convert (the load ends).
    bool ApplyLine(const std::string& line);
    void Show(const std::string& text) const;

    core::MessageBoxService* messages_ = nullptr;
    std::string fileName_;
};

}  // namespace rollmode::controls
