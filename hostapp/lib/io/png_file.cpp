#include "png_file.h"

#include <png.h>

#include <cstring>
#include <memory>

#include "lib/host_error.h"

namespace ffglhost {

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
