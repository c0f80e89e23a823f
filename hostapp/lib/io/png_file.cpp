#include "png_file.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "lib/host_error.h"

namespace ffglhost {

namespace {

// libpng reports errors by calling this and never returning: the message is kept and
// control goes back to the setjmp in EncodeFrame.
void KeepErrorAndJump(png_structp png, png_const_charp message) {
    *static_cast<const char**>(png_get_error_ptr(png)) = message;
    png_longjmp(png, 1);
}

void IgnoreWarning(png_structp, png_const_charp) {}

// Encodes `image` into `file` with the "up" filter at zlib level 1. On failure sets
// `*failure` to libpng's message and answers false. Nothing here has a destructor, and no
// local changes after setjmp, as longjmp skips the one and may undo the other.
bool EncodeFrame(std::FILE* file, const Image& image, png_bytep* rows, const char** failure) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, failure, KeepErrorAndJump, IgnoreWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        *failure = "out of memory";
        return false;
    }
    const bool encoded = setjmp(png_jmpbuf(png)) == 0;
    if (encoded) {
        png_init_io(png, file);
        png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB_ALPHA,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
        png_set_compression_level(png, 1);
        png_write_info(png, info);
        png_write_image(png, rows);
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    return encoded;
}

}  // namespace

void WritePng(const std::string& path, const Image& image) {
    png_image header;
    std::memset(&header, 0, sizeof header);
    header.version = PNG_IMAGE_VERSION;
    header.width = image.width;
    header.height = image.height;
    header.format = PNG_FORMAT_RGBA;
    header.flags = PNG_IMAGE_FLAG_FAST;
    if (!png_image_write_to_file(&header, path.c_str(), 0, image.rgba.data(), 0, nullptr)) {
        throw HostError("cannot write " + path + ": " + header.message);
    }
}

void WriteFramePng(const std::string& path, const Image& image) {
    std::vector<png_bytep> rows(image.height);
    for (uint32_t y = 0; y < image.height; ++y) {
        rows[y] = const_cast<png_bytep>(image.Row(y));
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        throw HostError("cannot write " + path + ": " + std::strerror(errno));
    }
    const char* failure = "encoding failed";
    const bool encoded = EncodeFrame(file, image, rows.data(), &failure);
    const bool flushed = std::fflush(file) == 0 && std::ferror(file) == 0;
    const int flushError = errno;
    const bool closed = std::fclose(file) == 0;
    if (!encoded) {
        throw HostError("cannot write " + path + ": " + failure);
    }
    if (!flushed || !closed) {
        throw HostError("cannot write " + path + ": " +
                        std::strerror(flushed ? errno : flushError));
    }
}

}  // namespace ffglhost
