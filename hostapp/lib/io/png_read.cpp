// PNG reading through libpng's full interface, which applies only the transforms asked
// for: pictures come in as their stored values, with no gamma conversion from gAMA, sRGB
// or iCCP chunks, and 16-bit samples are scaled to 8 bits with rounding.
#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "lib/host_error.h"
#include "orientation.h"
#include "png_file.h"

namespace ffglhost {

namespace {

// Pictures larger than this in either direction are refused rather than allocated.
constexpr uint32_t kMaxSide = 32768;

struct Decoder {
    png_structp png = nullptr;
    png_infop info = nullptr;
    char message[256] = "damaged file";
};

void OnError(png_structp png, png_const_charp message) {
    auto* decoder = static_cast<Decoder*>(png_get_error_ptr(png));
    std::snprintf(decoder->message, sizeof decoder->message, "%s", message);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// Asks libpng for 8- or 16-bit RGBA rows, opaque where the file has no alpha.
void ChooseTransforms(png_structp png, png_infop info) {
    png_set_expand(png);  // palettes and low-depth grey to 8 bits, tRNS to alpha
    png_set_gray_to_rgb(png);
    if ((png_get_color_type(png, info) & PNG_COLOR_MASK_ALPHA) == 0 &&
        !png_get_valid(png, info, PNG_INFO_tRNS)) {
        png_set_add_alpha(png, 0xFFFF, PNG_FILLER_AFTER);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
}

// Decodes into *samples (rows of width * 4 samples of *depth bits, big-endian for 16).
// Holds no object with a destructor, as libpng's errors jump back into it.
bool Decode(std::FILE* file, Decoder* decoder, Image* image, std::vector<png_byte>* samples,
            std::vector<png_bytep>* rows, int* depth) {
    if (setjmp(png_jmpbuf(decoder->png)) != 0) {
        return false;
    }
    png_init_io(decoder->png, file);
    png_read_info(decoder->png, decoder->info);
    image->width = png_get_image_width(decoder->png, decoder->info);
    image->height = png_get_image_height(decoder->png, decoder->info);
    if (image->width == 0 || image->height == 0 || image->width > kMaxSide ||
        image->height > kMaxSide) {
        std::snprintf(decoder->message, sizeof decoder->message, "unsupported size");
        return false;
    }
    ChooseTransforms(decoder->png, decoder->info);
    *depth = png_get_bit_depth(decoder->png, decoder->info);
    const size_t rowBytes = png_get_rowbytes(decoder->png, decoder->info);
    samples->resize(rowBytes * image->height);
    rows->resize(image->height);
    for (uint32_t y = 0; y < image->height; ++y) {
        (*rows)[y] = samples->data() + y * rowBytes;
    }
    png_read_image(decoder->png, rows->data());
    png_read_end(decoder->png, nullptr);
    return true;
}

void StoreSamples(const std::vector<png_byte>& samples, int depth, Image& image) {
    image.rgba.resize(size_t{image.width} * image.height * 4);
    if (depth == 8) {
        std::memcpy(image.rgba.data(), samples.data(), image.rgba.size());
        return;
    }
    for (size_t i = 0; i < image.rgba.size(); ++i) {
        const uint32_t value = (uint32_t{samples[2 * i]} << 8) | samples[2 * i + 1];
        image.rgba[i] = static_cast<uint8_t>((value * 255 + 32767) / 65535);
    }
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

uint32_t BigEndian32(const uint8_t* bytes) {
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

}  // namespace

PictureHeader ReadPngHeader(const std::string& path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        throw HostError("cannot open " + path + ": " + std::strerror(errno));
    }
    // Signature, then the IHDR chunk's length and type, width and height.
    uint8_t start[24];
    if (std::fread(start, 1, sizeof start, file.get()) != sizeof start ||
        std::memcmp(start + 12, "IHDR", 4) != 0) {
        throw HostError("cannot decode picture " + path + ": damaged file");
    }
    PictureHeader header;
    header.width = BigEndian32(start + 16);
    header.height = BigEndian32(start + 20);
    // Past the rest of IHDR (5 bytes and its CRC), then from chunk header to chunk header.
    long skip = 5 + 4;
    for (uint8_t chunk[8]; std::fseek(file.get(), skip, SEEK_CUR) == 0 &&
                           std::fread(chunk, 1, sizeof chunk, file.get()) == sizeof chunk;) {
        const uint32_t length = BigEndian32(chunk);
        if (length > 0x7FFFFFFF || std::memcmp(chunk + 4, "IEND", 4) == 0) {
            break;
        }
        constexpr uint32_t kMaxExif = 1 << 20;
        if (std::memcmp(chunk + 4, "eXIf", 4) == 0 && length <= kMaxExif) {
            std::vector<uint8_t> exif(length);
            if (std::fread(exif.data(), 1, length, file.get()) == length) {
                header.exifOrientation = ExifOrientation(exif.data(), exif.size());
            }
            break;  // a file has at most one
        }
        skip = static_cast<long>(length) + 4;
    }
    return header;
}

Image ReadPng(const std::string& path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        throw HostError("cannot open " + path + ": " + std::strerror(errno));
    }
    auto decoder = std::make_unique<Decoder>();
    decoder->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, decoder.get(), OnError, OnWarning);
    decoder->info = decoder->png != nullptr ? png_create_info_struct(decoder->png) : nullptr;
    if (decoder->info == nullptr) {
        png_destroy_read_struct(&decoder->png, nullptr, nullptr);
        throw HostError("cannot decode picture " + path + ": out of memory");
    }
    Image image;
    std::vector<png_byte> samples;
    std::vector<png_bytep> rows;
    int depth = 8;
    const bool decoded = Decode(file.get(), decoder.get(), &image, &samples, &rows, &depth);
    png_destroy_read_struct(&decoder->png, &decoder->info, nullptr);
    if (!decoded) {
        throw HostError("cannot decode picture " + path + ": " + decoder->message);
    }
    StoreSamples(samples, depth, image);
    return image;
}

}  // namespace ffglhost
