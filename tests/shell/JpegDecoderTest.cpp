#include "JpegDecoder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

using rollmode::shell::DecodedJpeg;
using rollmode::shell::DecodeJpeg;
using rollmode::shell::DecodeJpegFile;

namespace {

// Encodes a picture whose red channel rises left to right, green top to bottom, blue fixed.
std::vector<std::uint8_t> EncodeGradient(int width, int height, bool gray = false) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = gray ? 1 : 3;
    cinfo.in_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < width; ++x) {
            if (gray) {
                row[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(x * 255 / (width - 1));
            } else {
                row[static_cast<std::size_t>(x) * 3 + 0] = static_cast<std::uint8_t>(x * 255 / (width - 1));
                row[static_cast<std::size_t>(x) * 3 + 1] = static_cast<std::uint8_t>(y * 255 / (height - 1));
                row[static_cast<std::size_t>(x) * 3 + 2] = 128;
            }
        }
        JSAMPROW rowPointer = row.data();
        jpeg_write_scanlines(&cinfo, &rowPointer, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<std::uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

int Pixel(const DecodedJpeg& image, int x, int y, int channel) {
    return image.rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) + static_cast<std::size_t>(x)) * 3 +
                     static_cast<std::size_t>(channel)];
}

}  // namespace

TEST(JpegDecoder, DecodesAGeneratedPicture) {
    const auto bytes = EncodeGradient(64, 32);
    DecodedJpeg image;
    std::string error;
    ASSERT_TRUE(DecodeJpeg(bytes.data(), bytes.size(), image, error)) << error;
    EXPECT_TRUE(error.empty());
    ASSERT_EQ(image.width, 64);
    ASSERT_EQ(image.height, 32);
    ASSERT_EQ(image.rgb.size(), 64u * 32u * 3u);
    // Lossy, so within a few codes of what went in.
    EXPECT_NEAR(Pixel(image, 0, 0, 0), 0, 8);
    EXPECT_NEAR(Pixel(image, 63, 0, 0), 255, 8);
    EXPECT_NEAR(Pixel(image, 10, 31, 1), 255, 8);
    EXPECT_NEAR(Pixel(image, 32, 16, 0), 32 * 255 / 63, 8);
    EXPECT_NEAR(Pixel(image, 32, 16, 2), 128, 8);
}

TEST(JpegDecoder, GrayPictureComesOutAsRgb) {
    const auto bytes = EncodeGradient(40, 8, true);
    DecodedJpeg image;
    std::string error;
    ASSERT_TRUE(DecodeJpeg(bytes.data(), bytes.size(), image, error)) << error;
    ASSERT_EQ(image.rgb.size(), 40u * 8u * 3u);
    EXPECT_EQ(Pixel(image, 39, 4, 0), Pixel(image, 39, 4, 2));
    EXPECT_NEAR(Pixel(image, 39, 4, 1), 255, 8);
}

TEST(JpegDecoder, DamagedDataIsAnErrorNotAnExit) {
    const auto bytes = EncodeGradient(64, 64);
    DecodedJpeg image;
    std::string error;

    // Cut in the middle of the scan data.
    EXPECT_FALSE(DecodeJpeg(bytes.data(), bytes.size() / 2, image, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(image.width, 0);
    EXPECT_TRUE(image.rgb.empty());

    // Cut inside the header.
    EXPECT_FALSE(DecodeJpeg(bytes.data(), 20, image, error));
    EXPECT_FALSE(error.empty());

    const std::vector<std::uint8_t> garbage(500, 0x5A);
    EXPECT_FALSE(DecodeJpeg(garbage.data(), garbage.size(), image, error));
    EXPECT_FALSE(error.empty());

    EXPECT_FALSE(DecodeJpeg(nullptr, 0, image, error));
    EXPECT_FALSE(error.empty());

    // The decoder is usable again after a failure.
    EXPECT_TRUE(DecodeJpeg(bytes.data(), bytes.size(), image, error)) << error;
    EXPECT_EQ(image.width, 64);
}

TEST(JpegDecoder, HeaderClaimingAHugePictureIsRefused) {
    auto bytes = EncodeGradient(16, 16);
    // Baseline frame header: FF C0, length(2), precision(1), height(2), width(2).
    std::size_t sof = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
            sof = i;
            break;
        }
    }
    ASSERT_NE(sof, 0u);
    bytes[sof + 5] = 0xEA;  // height 60000
    bytes[sof + 6] = 0x60;
    bytes[sof + 7] = 0xEA;  // width 60000
    bytes[sof + 8] = 0x60;
    DecodedJpeg image;
    std::string error;
    EXPECT_FALSE(DecodeJpeg(bytes.data(), bytes.size(), image, error));
    EXPECT_NE(error.find("out of range"), std::string::npos) << error;
    EXPECT_TRUE(image.rgb.empty());
}

TEST(JpegDecoder, SplashPicturesDecodeAtTheirSize) {
    for (const char* name : {"/splash1.jpg", "/splash2.jpg"}) {
        DecodedJpeg image;
        std::string error;
        ASSERT_TRUE(DecodeJpegFile(std::string(SPLASH_PICTURE_DIR) + name, image, error)) << name << ": " << error;
        EXPECT_EQ(image.width, 392);
        EXPECT_EQ(image.height, 250);
    }
    DecodedJpeg image;
    std::string error;
    EXPECT_FALSE(DecodeJpegFile("/nonexistent/picture.jpg", image, error));
    EXPECT_FALSE(error.empty());
}
