#pragma once
// JPEG decoding through libjpeg for the splash pictures. A damaged picture is
// reported as an error; it never ends the program.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace rollmode::shell {

struct DecodedJpeg {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;  // width * 3 bytes per row, rows top to bottom, no padding
};

// Largest picture accepted; a header that claims more is taken as damaged.
inline constexpr int kMaxJpegSide = 8192;

// Decodes a JPEG held in memory into 8-bit RGB. On failure returns false, leaves
// `out` empty and puts libjpeg's reason in `error`. Warnings (a truncated
// stream, corrupt data) count as failures.
bool DecodeJpeg(const std::uint8_t* data, std::size_t size, DecodedJpeg& out, std::string& error);

// Reads the file and decodes it.
bool DecodeJpegFile(const std::filesystem::path& file, DecodedJpeg& out, std::string& error);

}  // namespace rollmode::shell
