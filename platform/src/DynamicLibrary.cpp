#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

#include <algorithm>
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

DynamicLibrary DynamicLibrary::Load(std::string_view name) {
    DynamicLibrary lib;
    const std::string mapped = MapLibraryName(name);
    const std::filesystem::path asGiven(mapped);
    if (!asGiven.has_parent_path()) {
        // The program's own folder comes first, as on the system the names come from.
        const auto local = ProgramDirectory() / asGiven;
        std::error_code ec;
        if (std::filesystem::exists(local, ec)) {
            lib.handle_ = dlopen(local.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (lib.handle_) return lib;
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
