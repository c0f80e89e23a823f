#include "jpeg_file.h"

// jpeglib.h needs FILE and size_t declared before it.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

#include <jpeglib.h>

#include "lib/host_error.h"
#include "orientation.h"

namespace ffglhost {

namespace {

constexpr JDIMENSION kMaxSide = 32768;

// libjpeg reports fatal errors through error_exit, which must not return: it jumps back
// to the decoder with the formatted message.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void OnFatalError(j_common_ptr info) {
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

void OnMessage(j_common_ptr) {}  // warnings about recoverable damage are not shown

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Decodes into *image. Kept free of objects with destructors between setjmp and the
// jumps that can land on it; everything it changes lives behind pointers made before.
bool Decode(std::FILE* file, Image* image, ErrorManager* errors, jpeg_decompress_struct* info) {
    info->err = jpeg_std_error(&errors->base);
    errors->base.error_exit = OnFatalError;
    errors->base.output_message = OnMessage;
    errors->message[0] = '\0';
    if (setjmp(errors->jump) != 0) {
        jpeg_destroy_decompress(info);
        return false;
    }
    jpeg_create_decompress(info);
    jpeg_stdio_src(info, file);
    jpeg_read_header(info, TRUE);
    if (info->image_width == 0 || info->image_height == 0 || info->image_width > kMaxSide ||
        info->image_height > kMaxSide) {
        std::snprintf(errors->message, sizeof errors->message, "unsupported size");
        jpeg_destroy_decompress(info);
        return false;
    }
    info->out_color_space = JCS_EXT_RGBA;
    jpeg_start_decompress(info);
    image->width = info->output_width;
    image->height = info->output_height;
    image->rgba.assign(size_t{image->width} * image->height * 4, 0);
    while (info->output_scanline < info->output_height) {
        JSAMPROW row = image->Row(info->output_scanline);
        jpeg_read_scanlines(info, &row, 1);
    }
    jpeg_finish_decompress(info);
    jpeg_destroy_decompress(info);
    return true;
}

// Reads the markers up to the first scan into *header, keeping APP1 segments for their
// Exif data. The same rules about setjmp as for Decode.
bool ReadHeader(std::FILE* file, PictureHeader* header, ErrorManager* errors,
                jpeg_decompress_struct* info) {
    info->err = jpeg_std_error(&errors->base);
    errors->base.error_exit = OnFatalError;
    errors->base.output_message = OnMessage;
    errors->message[0] = '\0';
    if (setjmp(errors->jump) != 0) {
        jpeg_destroy_decompress(info);
        return false;
    }
    jpeg_create_decompress(info);
    jpeg_stdio_src(info, file);
    jpeg_save_markers(info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(info, TRUE);
    header->width = info->image_width;
    header->height = info->image_height;
    for (jpeg_saved_marker_ptr marker = info->marker_list; marker != nullptr;
         marker = marker->next) {
        const uint8_t exif[6] = {'E', 'x', 'i', 'f', 0, 0};
        if (marker->data_length > 6 && std::memcmp(marker->data, exif, 6) == 0) {
            header->exifOrientation = ExifOrientation(marker->data, marker->data_length);
            break;
        }
    }
    jpeg_destroy_decompress(info);
    return true;
}

}  // namespace

PictureHeader ReadJpegHeader(const std::string& path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        throw HostError("cannot open " + path);
    }
    auto header = std::make_unique<PictureHeader>();
    auto errors = std::make_unique<ErrorManager>();
    auto info = std::make_unique<jpeg_decompress_struct>();
    if (!ReadHeader(file.get(), header.get(), errors.get(), info.get())) {
        throw HostError("cannot decode picture " + path + ": " + errors->message);
    }
    return *header;
}

Image ReadJpeg(const std::string& path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        throw HostError("cannot open " + path);
    }
    auto image = std::make_unique<Image>();
    auto errors = std::make_unique<ErrorManager>();
    auto info = std::make_unique<jpeg_decompress_struct>();
    if (!Decode(file.get(), image.get(), errors.get(), info.get())) {
        throw HostError("cannot decode picture " + path + ": " + errors->message);
    }
    return std::move(*image);
}

}  // namespace ffglhost
