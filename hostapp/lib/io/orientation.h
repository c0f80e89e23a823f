// How a stored picture or video frame turns into the one a viewer shows: the eight
// right-angle rotations and mirrors that EXIF orientations and video display matrices
// describe.
#ifndef FFGLHOST_ORIENTATION_H
#define FFGLHOST_ORIENTATION_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "image.h"

namespace ffglhost {

// Applied in this order: a transpose (mirror about the top-left to bottom-right
// diagonal, which swaps width and height), then a left-right and a top-bottom mirror.
struct Orientation {
    bool transpose = false;
    bool flipX = false;
    bool flipY = false;

    bool IsIdentity() const { return !transpose && !flipX && !flipY; }
    bool operator==(const Orientation& other) const {
        return transpose == other.transpose && flipX == other.flipX && flipY == other.flipY;
    }
};

// EXIF orientation 1 to 8 (the stored rows and columns against the shown ones); any
// other value is taken as 1, as viewers do.
Orientation OrientationFromExif(int value);

// The Orientation value (1 to 8) of EXIF data: a TIFF header and its first directory,
// optionally behind the "Exif\0\0" that JPEG files put before it. 1 when there is none
// or the data is damaged.
int ExifOrientation(const uint8_t* data, size_t size);

// A display matrix as ffmpeg states it: nine numbers, row by row, where a stored pixel
// (p, q) is shown at (m[0] p + m[3] q, m[1] p + m[4] q) plus a translation. A matrix
// that is no right angle is taken at the nearest one.
Orientation OrientationFromDisplayMatrix(const int32_t matrix[9]);

// The size shown for a stored width x height.
void OrientedSize(Orientation orientation, uint32_t width, uint32_t height, uint32_t* shownWidth,
                  uint32_t* shownHeight);

// The picture as shown.
Image ApplyOrientation(const Image& stored, Orientation orientation);

// ffmpeg filters that turn frames as shown ("transpose=clock", "hflip,vflip"), empty for
// none.
std::string OrientationFilters(Orientation orientation);

// "rotated 90 degrees clockwise", "mirrored left to right", ...; empty for none.
std::string DescribeOrientation(Orientation orientation);

}  // namespace ffglhost

#endif  // FFGLHOST_ORIENTATION_H
