#include "png_file.h"

#include <png.h>

#include <cstring>
#include <memory>

#include "lib/host_error.h"

namespace ffglhost {

namespace {

// Pictures larger than this in either direction are refused rather than allocated.
constexpr uint32_t kMaxSide = 32768;

struct PngImageFree {
    void operator()(png_image* image) const { png_image_free(image); }
};

}  // namespace

Image ReadPng(const std::string& path) {
    png_image header;
    std::memset(&header, 0, sizeof header);
    header.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&header, path.c_str())) {
        throw HostError("cannot decode picture " + path + ": " + header.message);
    }
    std::unique_ptr<png_image, PngImageFree> guard(&header);
    if (header.width == 0 || header.height == 0 || header.width > kMaxSide ||
        header.height > kMaxSide) {
        throw HostError("cannot decode picture " + path + ": unsupported size");
    }
    header.format = PNG_FORMAT_RGBA;
    Image image(header.width, header.height);
    if (!png_image_finish_read(&header, nullptr, image.rgba.data(), 0, nullptr)) {
        throw HostError("cannot decode picture " + path + ": " + header.message);
    }
    guard.release();  // finish_read has freed the decoder
    return image;
}

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

}  // namespace ffglhost
