#pragma once
// Device interfaces and device-control requests, the stand-in for the system's
// device-setup and device-I/O calls. On this platform a device interface is a
// Unix-domain stream socket served by a device server (docs/device-protocol.md):
//
//   <device folder>/<CLASS-GUID>/<interface>   one socket per interface
//
// A request is three little-endian 32-bit words (control code, input length,
// output capacity) and the input bytes; the answer is two words (success 1/0,
// output length <= capacity) and the output bytes.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rollmode::platform {

// $ROLLMODE_DEVICE_DIR, else $XDG_RUNTIME_DIR/rollmode-devices, else /tmp/rollmode-devices-<uid>.
std::filesystem::path DeviceFolder();

// "{710177ab-...}" -> "710177AB-...": upper case without braces.
std::string ClassFolderName(std::string_view classGuid);

// The folder that holds the interfaces of a class.
std::filesystem::path ClassFolder(std::string_view classGuid, const std::filesystem::path& root = DeviceFolder());

// One enumerated interface. The path is absent when it cannot be used as a device
// path (the entry is not a socket, or its path does not fit a socket address).
struct DeviceInterface {
    std::string name;
    std::optional<std::string> path;
};

// The present interfaces of a class in ascending name order; nullopt when the class
// cannot be enumerated (its folder is missing or unreadable, or it or the device folder
// is a link, belongs to another user or can be written by others: CheckOwnFolder).
std::optional<std::vector<DeviceInterface>> EnumerateDeviceInterfaces(
    std::string_view classGuid, const std::filesystem::path& root = DeviceFolder());

// The longest a whole request (sending it, the answer and its data) may take before the
// device counts as gone.
inline constexpr std::chrono::milliseconds kRequestDeadline{5000};

// Largest input a request may carry; larger requests are refused by both sides.
inline constexpr uint32_t kMaxRequestInput = 4u << 20;

// An open device interface. Move-only; closes itself when destroyed.
class DeviceHandle {
public:
    DeviceHandle() = default;
    ~DeviceHandle();
    DeviceHandle(DeviceHandle&& other) noexcept;
    DeviceHandle& operator=(DeviceHandle&& other) noexcept;
    DeviceHandle(const DeviceHandle&) = delete;
    DeviceHandle& operator=(const DeviceHandle&) = delete;

    // Connects to the interface at path; an unopened handle when nobody listens.
    // `requestDeadline` bounds each request made through the handle, and the connect.
    static DeviceHandle Open(const std::string& path,
                             std::chrono::milliseconds requestDeadline = kRequestDeadline) noexcept;

    bool IsOpen() const { return fd_ >= 0; }
    explicit operator bool() const { return IsOpen(); }
    int NativeHandle() const { return fd_; }

    // One device-control request. Output goes straight into out (capacity outCapacity);
    // *returned receives the byte count. False when the device refuses the request or
    // the connection breaks or the whole exchange takes longer than the request deadline;
    // either closes the handle, so every later request fails as well, like a device that
    // was unplugged.
    bool Control(uint32_t code, const void* in, uint32_t inLength, void* out, uint32_t outCapacity,
                 uint32_t* returned = nullptr) noexcept;

    void Close() noexcept;

private:
    DeviceHandle(int fd, std::chrono::milliseconds deadline) : fd_(fd), deadline_(deadline) {}
    int fd_ = -1;
    std::chrono::milliseconds deadline_ = kRequestDeadline;
};

// Byte-exact socket helpers shared by clients and device servers. Both retry on
// interruption and never raise SIGPIPE; false on end of stream, error or timeout.
bool ReadExact(int fd, void* data, size_t length) noexcept;
bool WriteAll(int fd, const void* data, size_t length) noexcept;

inline void PutLe32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
inline uint32_t GetLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace rollmode::platform
