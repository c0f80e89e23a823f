// Reading and writing picture files.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include "lib/host_error.h"
#include "lib/io/jpeg_file.h"
#include "lib/io/picture_file.h"
#include "lib/io/png_file.h"

namespace {

using ffglhost::HostError;
using ffglhost::Image;

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("ffgl-host-unit-" + std::to_string(getpid()) + "-" + name))
        .string();
}

// Blocks of four flat colours, written with libjpeg at top quality.
void WriteTestJpeg(const std::string& path, uint32_t width, uint32_t height) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = width;
    info.image_height = height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(width * 3);
    while (info.next_scanline < height) {
        const bool top = info.next_scanline < height / 2;
        for (uint32_t x = 0; x < width; ++x) {
            const bool left = x < width / 2;
            const uint8_t colour[3] = {static_cast<uint8_t>(top ? 220 : 30),
                                       static_cast<uint8_t>(left ? 200 : 40), 90};
            std::copy(colour, colour + 3, &row[x * 3]);
        }
        JSAMPROW pointer = row.data();
        jpeg_write_scanlines(&info, &pointer, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

// Both writers: the general one and the faster one for frame sequences.
TEST(PngFile, RoundTripKeepsEveryByteIncludingAlpha) {
    Image image(37, 21);  // odd sizes: no row padding may creep in
    std::mt19937 random(7);
    for (uint8_t& byte : image.rgba) {
        byte = static_cast<uint8_t>(random());
    }
    for (const auto write : {ffglhost::WritePng, ffglhost::WriteFramePng}) {
        const std::string path = TempPath("round.png");
        write(path, image);
        const Image back = ffglhost::ReadPng(path);
        std::remove(path.c_str());
        EXPECT_EQ(back.width, 37u);
        EXPECT_EQ(back.height, 21u);
        EXPECT_EQ(back.rgba, image.rgba);
    }
}

TEST(PngFile, FailuresAreHostErrorsNamingTheFile) {
    const std::string path = TempPath("short.png");
    Image image(64, 64);
    ffglhost::WritePng(path, image);
    std::filesystem::resize_file(path, 60);  // header intact, data cut off
    try {
        ffglhost::ReadPng(path);
        FAIL() << "a truncated PNG was decoded";
    } catch (const HostError& error) {
        EXPECT_NE(std::string(error.what()).find("cannot decode picture " + path),
                  std::string::npos)
            << error.what();
    }
    std::remove(path.c_str());
    EXPECT_THROW(ffglhost::WritePng("/nonexistent-dir/x.png", image), HostError);
    EXPECT_THROW(ffglhost::WriteFramePng("/nonexistent-dir/x.png", image), HostError);
    // A full device: the encoder's own write failure.
    EXPECT_THROW(ffglhost::WriteFramePng("/dev/full", image), HostError);
}

// A PNG of one row through libpng's full interface: grey samples of `depth` bits,
// optionally with a gAMA chunk of 1.0 (linear), which the reader must not apply.
void WriteGreyPng(const std::string& path, int depth, const std::vector<uint16_t>& samples,
                  bool gammaChunks) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(samples.size()), 1, depth, PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (gammaChunks) {
        png_set_gAMA(png, info, 1.0);
    }
    png_write_info(png, info);
    std::vector<png_byte> row;
    for (const uint16_t sample : samples) {
        if (depth == 16) {
            row.push_back(static_cast<png_byte>(sample >> 8));
        }
        row.push_back(static_cast<png_byte>(sample));
    }
    png_write_row(png, row.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

TEST(PngFile, SamplesComeInAsStoredWithoutGammaAndSixteenBitsRounded) {
    struct Case {
        int depth;
        bool gammaChunks;
        std::vector<uint16_t> samples;
        std::vector<uint8_t> expected;
    };
    const Case cases[] = {
        {16, false, {32000, 1000}, {125, 4}},
        {16, true, {65535, 128}, {255, 0}},
        {16, false, {129, 32896}, {1, 128}},
        {8, true, {40, 200}, {40, 200}},
    };
    for (const Case& c : cases) {
        const std::string path = TempPath("grey.png");
        WriteGreyPng(path, c.depth, c.samples, c.gammaChunks);
        const Image image = ffglhost::ReadPng(path);
        std::remove(path.c_str());
        ASSERT_EQ(image.width, c.samples.size());
        for (size_t x = 0; x < c.samples.size(); ++x) {
            const uint8_t* pixel = image.Pixel(static_cast<uint32_t>(x), 0);
            EXPECT_EQ(pixel[0], c.expected[x]) << c.depth << "-bit sample " << c.samples[x];
            EXPECT_EQ(pixel[2], c.expected[x]);
            EXPECT_EQ(pixel[3], 255);
        }
    }
}

TEST(JpegFile, DecodesColourBlocksTopRowFirst) {
    const std::string path = TempPath("blocks.jpg");
    WriteTestJpeg(path, 64, 32);
    const Image image = ffglhost::ReadJpeg(path);
    std::remove(path.c_str());
    ASSERT_EQ(image.width, 64u);
    ASSERT_EQ(image.height, 32u);
    auto near = [](const uint8_t* p, int r, int g, int b) {
        return std::abs(p[0] - r) <= 4 && std::abs(p[1] - g) <= 4 && std::abs(p[2] - b) <= 4 &&
               p[3] == 255;
    };
    EXPECT_TRUE(near(image.Pixel(4, 4), 220, 200, 90));
    EXPECT_TRUE(near(image.Pixel(60, 4), 220, 40, 90));
    EXPECT_TRUE(near(image.Pixel(4, 28), 30, 200, 90));
    EXPECT_TRUE(near(image.Pixel(60, 28), 30, 40, 90));
}

TEST(JpegFile, CorruptDataIsAnErrorNotAnExit) {
    const std::string path = TempPath("corrupt.jpg");
    std::ofstream(path, std::ios::binary) << "\xFF\xD8\xFF\xE0 then garbage where tables belong";
    EXPECT_THROW(ffglhost::ReadJpeg(path), HostError);
    std::remove(path.c_str());
}

TEST(PictureFile, FormatComesFromTheContentNotTheName) {
    const std::string path = TempPath("really-a-png.jpg");
    Image image(3, 2);
    image.rgba[0] = 99;
    ffglhost::WritePng(path, image);
    EXPECT_EQ(ffglhost::ReadPicture(path).rgba, image.rgba);
    std::ofstream(path, std::ios::binary) << "GIF89a...";
    EXPECT_THROW(ffglhost::ReadPicture(path), HostError);
    std::remove(path.c_str());
    EXPECT_THROW(ffglhost::ReadPicture(path), HostError);

    EXPECT_TRUE(ffglhost::HasPictureExtension("dir.v2/Photo.JPEG"));
    EXPECT_TRUE(ffglhost::HasPictureExtension("a.png"));
    EXPECT_FALSE(ffglhost::HasPictureExtension("clip.mp4"));
    EXPECT_FALSE(ffglhost::HasPictureExtension("dir.png/clip"));
}

// A 3 x 2 picture of letters (A B C over D E F, in the red channel) with a little-endian
// eXIf chunk after IHDR: each EXIF orientation turns it as viewers show it.
TEST(PictureFile, ExifOrientationsTurnThePictureAsViewersShowIt) {
    const char* const shown[] = {"ABC/DEF",  "CBA/FED",  "FED/CBA",  "DEF/ABC",
                                 "AD/BE/CF", "DA/EB/FC", "FC/EB/DA", "CF/BE/AD"};
    Image stored(3, 2);
    for (int i = 0; i < 6; ++i) {
        stored.rgba[4 * i] = static_cast<uint8_t>('A' + i);
    }
    const std::string path = TempPath("turned.png");
    for (int value = 1; value <= 8; ++value) {
        ffglhost::WritePng(path, stored);
        std::ifstream file(path, std::ios::binary);
        std::string png((std::istreambuf_iterator<char>(file)), {});
        const std::string typed =
            std::string("eXIfII*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 22) + char(value) +
            std::string(7, '\0');
        const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(typed.data()), typed.size());
        const std::string crcBytes = {char(crc >> 24), char(crc >> 16), char(crc >> 8), char(crc)};
        png.insert(33, std::string("\0\0\0\x1A", 4) + typed + crcBytes);  // after IHDR
        std::ofstream(path, std::ios::binary) << png;
        const Image image = ffglhost::ReadPicture(path);
        std::string letters;
        for (uint32_t y = 0; y < image.height; ++y) {
            letters += y > 0 ? "/" : "";
            for (uint32_t x = 0; x < image.width; ++x) {
                letters += static_cast<char>(image.Pixel(x, y)[0]);
            }
        }
        EXPECT_EQ(letters, shown[value - 1]) << "orientation " << value;
        EXPECT_EQ(ffglhost::ReadPictureHeader(path).ShownWidth(), image.width) << value;
    }
    std::remove(path.c_str());
}

}  // namespace
