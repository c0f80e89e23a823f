// Still pictures read from PNG or JPEG files, recognised by their content.
#ifndef FFGLHOST_PICTURE_FILE_H
#define FFGLHOST_PICTURE_FILE_H

#include <string>

#include "image.h"

namespace ffglhost {

// Reads a PNG or JPEG picture as RGBA8, top row first. Throws HostError when the file
// is missing, is neither format, or cannot be decoded.
Image ReadPicture(const std::string& path);

// True for file names ending in .png, .jpg or .jpeg (any case): inputs read as pictures
// rather than through ffmpeg.
bool HasPictureExtension(const std::string& path);

}  // namespace ffglhost

#endif  // FFGLHOST_PICTURE_FILE_H
