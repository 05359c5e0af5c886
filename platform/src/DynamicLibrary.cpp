#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cctype>
#include <filesystem>

#include "platform/ProgramPath.h"

namespace rollmode::platform {

std::string MapLibraryName(std::string_view name) {
    std::string mapped(name);
    if (mapped.size() >= 4) {
        std::string tail = mapped.substr(mapped.size() - 4);
        std::transform(tail.begin(), tail.end(), tail.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (tail == ".dll") mapped.replace(mapped.size() - 4, 4, ".so");
    }
    return mapped;
}

DynamicLibrary::~DynamicLibrary() { Unload(); }

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(other.handle_), error_(std::move(other.error_)) {
    other.handle_ = nullptr;
}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        Unload();
        handle_ = other.handle_;
        error_ = std::move(other.error_);
        other.handle_ = nullptr;
    }
    return *this;
}

DynamicLibrary DynamicLibrary::Load(std::string_view name) { return LoadBeside(name, ProgramDirectoryIfKnown()); }

DynamicLibrary DynamicLibrary::LoadBeside(std::string_view name, const std::optional<std::filesystem::path>& folder) {
    DynamicLibrary lib;
    const std::string mapped = MapLibraryName(name);
    const std::filesystem::path asGiven(mapped);
    if (!asGiven.has_parent_path()) {
        // The program's own folder comes first, as on the system the names come from.
        // Without it no folder is guessed: the current one may be anyone's.
        if (!folder) {
            lib.error_ = "cannot load " + mapped + ": the program's own folder is unknown";
            std::fprintf(stderr, "rollmode: %s\n", lib.error_.c_str());
            return lib;
        }
        const auto local = *folder / asGiven;
        std::error_code ec;
        if (std::filesystem::exists(local, ec)) {
            lib.handle_ = dlopen(local.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (lib.handle_) return lib;
            // The copy beside the program is the one meant; another from the system
            // path would run code nobody chose.
            const char* err = dlerror();
            lib.error_ = "cannot load " + local.string() + ": " + (err ? err : "unknown error");
            std::fprintf(stderr, "rollmode: %s\n", lib.error_.c_str());
            return lib;
        }
    }
    lib.handle_ = dlopen(mapped.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib.handle_) {
        const char* err = dlerror();
        lib.error_ = err ? err : "cannot load " + mapped;
    }
    return lib;
}

void* DynamicLibrary::Symbol(const char* name) const {
    if (!handle_) return nullptr;
    return dlsym(handle_, name);
}

void DynamicLibrary::Unload() {
    if (handle_) {
        dlclose(handle_);
        handle_ = nullptr;
    }
}

}  // namespace rollmode::platform
