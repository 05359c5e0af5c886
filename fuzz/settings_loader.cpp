// The settings loader on arbitrary file contents. What a load accepts must survive a
// save: saving, loading that file into a fresh model and saving again gives the same file.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "SettingsLyraRM.h"
#include "VirtualScopeLyraRM.h"

namespace {

std::string Path(const char* what) {
    return "/dev/shm/rollmode-fuzz-settings-" + std::to_string(::getpid()) + what;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct Files {
    std::string input = Path(".ini"), first = Path("-1.ini"), second = Path("-2.ini");
    ~Files() {
        std::remove(input.c_str());
        std::remove(first.c_str());
        std::remove(second.c_str());
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Files files;
    {
        std::FILE* f = std::fopen(files.input.c_str(), "wb");
        if (f == nullptr) std::abort();
        if (size != 0 && std::fwrite(data, 1, size, f) != size) std::abort();
        std::fclose(f);
    }
    // What a model that took nothing from its file saves; its own round trip is
    // checked once, and a load that leaves the model so needs no second one.
    static const std::string untouched = [] {
        rollmode::core::TVirtualScopeLyraRM scope;
        rollmode::controls::TSettingsLyraRM settings;
        settings.SetVirtualScope(&scope);
        settings.SaveSettingsFile(files.first);
        return ReadAll(files.first);
    }();
    rollmode::core::TVirtualScopeLyraRM scope;
    rollmode::controls::TSettingsLyraRM settings;
    settings.SetVirtualScope(&scope);
    settings.LoadSettingsFile(files.input);
    settings.SaveSettingsFile(files.first);
    const std::string first = ReadAll(files.first);
    if (first == untouched && size != 0) return 0;

    rollmode::core::TVirtualScopeLyraRM again;
    rollmode::controls::TSettingsLyraRM reloaded;
    reloaded.SetVirtualScope(&again);
    reloaded.LoadSettingsFile(files.first);
    reloaded.SaveSettingsFile(files.second);
    const std::string second = ReadAll(files.second);
    if (first != second) {
        std::fprintf(stderr, "saved settings do not load back:\n%s\n---\n%s\n", first.c_str(), second.c_str());
        std::abort();
    }
    return 0;
}
