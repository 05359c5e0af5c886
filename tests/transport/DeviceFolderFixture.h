#pragma once
// A private device folder for one test: ROLLMODE_DEVICE_DIR points at it while the test runs.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace rollmode::testing {

class DeviceFolder {
public:
    DeviceFolder() {
        char pattern[] = "/tmp/rmdev-XXXXXX";
        const char* made = mkdtemp(pattern);
        path_ = made ? made : "/tmp/rmdev-fallback";
        setenv("ROLLMODE_DEVICE_DIR", path_.c_str(), 1);
    }
    ~DeviceFolder() {
        unsetenv("ROLLMODE_DEVICE_DIR");
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace rollmode::testing
