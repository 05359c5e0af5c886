#pragma once
// Run-time loading of a shared library by its Windows-style name.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace rollmode::platform {

// "X.dll" (any case) becomes "X.so"; other names are kept.
std::string MapLibraryName(std::string_view name);

// Owns one dlopen handle; unloads it when destroyed. Move-only.
class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads the mapped name from the program's folder first, then from the
    // loader's search path. Returns an unloaded object on failure (see Error()).
    // A copy beside the program that fails to load, or a program folder that cannot be
    // found, is a failure (said on standard error too): no other copy is tried.
    static DynamicLibrary Load(std::string_view name);
    // As Load, with `folder` standing for the program's folder (nullopt: unknown).
    static DynamicLibrary LoadBeside(std::string_view name, const std::optional<std::filesystem::path>& folder);

    bool IsLoaded() const { return handle_ != nullptr; }
    explicit operator bool() const { return IsLoaded(); }

    // Address of an exported symbol, or nullptr.
    void* Symbol(const char* name) const;

    // Binds an entry point by name to a function pointer type; nullptr if absent.
    template <class Fn>
    Fn Bind(const char* name) const {
        return reinterpret_cast<Fn>(Symbol(name));
    }

    void Unload();
    const std::string& Error() const { return error_; }

private:
    void* handle_ = nullptr;
    std::string error_;
};

}  // namespace rollmode::platform
