#include "picture_file.h"

#include <algorithm>
#include <cstdio>

#include "file_names.h"
#include "jpeg_file.h"
#include "lib/host_error.h"
#include "png_file.h"

namespace ffglhost {

namespace {

enum class PictureFormat { kPng, kJpeg };

PictureFormat Recognise(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        throw HostError("input not found: " + path);
    }
    unsigned char magic[8] = {};
    const size_t read = std::fread(magic, 1, sizeof magic, file);
    std::fclose(file);
    const unsigned char pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (read == 8 && std::equal(magic, magic + 8, pngSignature)) {
        return PictureFormat::kPng;
    }
    if (read >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF) {
        return PictureFormat::kJpeg;
    }
    throw HostError("cannot decode picture " + path + ": not a PNG or JPEG file");
}

}  // namespace

PictureHeader ReadPictureHeader(const std::string& path) {
    return Recognise(path) == PictureFormat::kPng ? ReadPngHeader(path) : ReadJpegHeader(path);
}

Image ReadPicture(const std::string& path) {
    const bool png = Recognise(path) == PictureFormat::kPng;
    const PictureHeader header = png ? ReadPngHeader(path) : ReadJpegHeader(path);
    return ApplyOrientation(png ? ReadPng(path) : ReadJpeg(path), header.Turn());
}

bool HasPictureExtension(const std::string& path) {
    const std::string extension = LowercaseExtension(path);
    return extension == ".png" || extension == ".jpg" || extension == ".jpeg";
}

}  // namespace ffglhost
