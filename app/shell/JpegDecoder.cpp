#include "JpegDecoder.h"

#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <iterator>

#include <jpeglib.h>

namespace rollmode::shell {
namespace {

// libjpeg's default error handler prints and calls exit(). This one jumps back to
// the decoder with the message instead.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void OnError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
    if (level < 0) {  // a warning: the data is damaged, the picture would be partly grey
        OnError(cinfo);
    }
}

void OnOutput(j_common_ptr) {}

// Everything that libjpeg touches lives here, so the jump back from an error
// passes no C++ object that would need destroying.
bool DecodeInto(const std::uint8_t* data, std::size_t size, DecodedJpeg& out, ErrorManager& err) {
    jpeg_decompress_struct cinfo;
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = OnError;
    err.base.emit_message = OnMessage;
    err.base.output_message = OnOutput;
    err.message[0] = '\0';

    if (setjmp(err.jump) != 0) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    if (cinfo.image_width == 0 || cinfo.image_height == 0 || cinfo.image_width > kMaxJpegSide ||
        cinfo.image_height > kMaxJpegSide) {
        std::snprintf(err.message, sizeof err.message, "picture size %ux%u out of range",
                      cinfo.image_width, cinfo.image_height);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 3) {
        std::snprintf(err.message, sizeof err.message, "unexpected component count %d",
                      cinfo.output_components);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    const std::size_t stride = static_cast<std::size_t>(cinfo.output_width) * 3;
    // resize() may throw; it runs before any further libjpeg call could jump over it.
    out.rgb.resize(stride * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.rgb.data() + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    out.width = static_cast<int>(cinfo.output_width);
    out.height = static_cast<int>(cinfo.output_height);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

}  // namespace

bool DecodeJpeg(const std::uint8_t* data, std::size_t size, DecodedJpeg& out, std::string& error) {
    out = DecodedJpeg{};
    if (data == nullptr || size == 0) {
        error = "empty picture data";
        return false;
    }
    ErrorManager err;
    if (!DecodeInto(data, size, out, err)) {
        out = DecodedJpeg{};
        error = err.message[0] != '\0' ? err.message : "undecodable picture";
        return false;
    }
    error.clear();
    return true;
}

bool DecodeJpegFile(const std::filesystem::path& file, DecodedJpeg& out, std::string& error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        out = DecodedJpeg{};
        error = "cannot open " + file.string();
        return false;
    }
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return DecodeJpeg(bytes.data(), bytes.size(), out, error);
}

}  // namespace rollmode::shell
