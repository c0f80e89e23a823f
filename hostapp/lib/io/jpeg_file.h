// JPEG files read as RGBA pictures through libjpeg.
#ifndef FFGLHOST_JPEG_FILE_H
#define FFGLHOST_JPEG_FILE_H

#include <string>

#include "image.h"
#include "picture_file.h"

namespace ffglhost {

// The size from the frame header and the orientation from Exif data in an APP1 segment,
// read by libjpeg up to the first scan. Throws HostError as ReadJpeg does.
PictureHeader ReadJpegHeader(const std::string& path);

// Reads a colour or greyscale JPEG, converted to RGBA8 with alpha 255. Throws HostError
// when the file cannot be opened or decoded (libjpeg's own message is included).
Image ReadJpeg(const std::string& path);

}  // namespace ffglhost

#endif  // FFGLHOST_JPEG_FILE_H
