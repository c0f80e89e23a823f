// Still pictures read from PNG or JPEG files, recognised by their content.
#ifndef FFGLHOST_PICTURE_FILE_H
#define FFGLHOST_PICTURE_FILE_H

#include <string>

#include "image.h"
#include "orientation.h"

namespace ffglhost {

// What a picture's header says, read without decoding a pixel.
struct PictureHeader {
    uint32_t width = 0;  // as stored
    uint32_t height = 0;
    int exifOrientation = 1;  // 1 to 8, from JPEG Exif data or a PNG eXIf chunk

    Orientation Turn() const { return OrientationFromExif(exifOrientation); }
    // The size as viewers show it, after the orientation.
    uint32_t ShownWidth() const { return Turn().transpose ? height : width; }
    uint32_t ShownHeight() const { return Turn().transpose ? width : height; }
};

// Reads the header of a PNG (IHDR and any eXIf chunk) or a JPEG (its markers up to the
// first scan): no pixel is decoded, so a huge picture can be refused for the cost of a
// few bytes. Throws HostError as ReadPicture does.
PictureHeader ReadPictureHeader(const std::string& path);

// Reads a PNG or JPEG picture as RGBA8, top row first, turned upright by its EXIF
// orientation as viewers show it. Throws HostError when the file is missing, is neither
// format, or cannot be decoded.
Image ReadPicture(const std::string& path);

// True for file names ending in .png, .jpg or .jpeg (any case): inputs read as pictures
// rather than through ffmpeg.
bool HasPictureExtension(const std::string& path);

}  // namespace ffglhost

#endif  // FFGLHOST_PICTURE_FILE_H
