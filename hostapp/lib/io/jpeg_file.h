// JPEG files read as RGBA pictures through libjpeg.
#ifndef FFGLHOST_JPEG_FILE_H
#define FFGLHOST_JPEG_FILE_H

#include <string>

#include "image.h"

namespace ffglhost {

// Reads a colour or greyscale JPEG, converted to RGBA8 with alpha 255. Throws HostError
// when the file cannot be opened or decoded (libjpeg's own message is included).
Image ReadJpeg(const std::string& path);

}  // namespace ffglhost

#endif  // FFGLHOST_JPEG_FILE_H
