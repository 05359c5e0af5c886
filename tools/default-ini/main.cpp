// rollmode-default-ini FILE: writes the settings file a first start begins with, through the
// settings component itself (the defaults' table, in the file format the program reads).
// Run at build time; the result ships beside the program as RollMode.ini.
#include <cstdio>
#include <string>

#include "SettingsLyraRM.h"
#include "VirtualScopeLyraRM.h"
#include "ports/MessageBoxService.h"

namespace {

class ReportToStderr final : public rollmode::core::MessageBoxService {
public:
    rollmode::core::MsgResult Show(const std::string& text, rollmode::core::MsgButtons,
                                   rollmode::core::MsgIcon) override {
        std::fprintf(stderr, "rollmode-default-ini: %s\n", text.c_str());
        failed = true;
        return rollmode::core::MsgResult::Ok;
    }
    bool failed = false;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: rollmode-default-ini FILE\n");
        return 2;
    }
    ReportToStderr messages;
    rollmode::core::TVirtualScopeLyraRM scope;
    rollmode::controls::TSettingsLyraRM settings;
    settings.SetMessageBoxService(&messages);
    settings.SetVirtualScope(&scope);
    settings.RestoreDefaults();
    settings.SaveSettingsFile(argv[1]);
    return messages.failed ? 1 : 0;
}
