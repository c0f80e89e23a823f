// An RGBA picture in memory, 8 bits per channel, top row first (the order of image files).
// GL keeps pictures bottom row first; FlipRowsInto converts between the two.
#ifndef FFGLHOST_IMAGE_H
#define FFGLHOST_IMAGE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ffglhost {

struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgba;  // width * height * 4 bytes, no padding between rows

    Image() = default;
    // A picture of the given size, transparent black.
    Image(uint32_t w, uint32_t h) : width(w), height(h), rgba(size_t{w} * h * 4, 0) {}

    size_t RowBytes() const { return size_t{width} * 4; }
    uint8_t* Row(uint32_t y) { return rgba.data() + y * RowBytes(); }
    const uint8_t* Row(uint32_t y) const { return rgba.data() + y * RowBytes(); }
    uint8_t* Pixel(uint32_t x, uint32_t y) { return Row(y) + size_t{x} * 4; }
    const uint8_t* Pixel(uint32_t x, uint32_t y) const { return Row(y) + size_t{x} * 4; }
};

// Copies `height` rows of `rowBytes` each from `source` to `target` in reverse row order.
void FlipRowsInto(const uint8_t* source, uint8_t* target, size_t rowBytes, uint32_t height);

// A copy of `image` scaled to the given size; each target pixel is the area-weighted mean
// of the source pixels it covers, so downscaling keeps fine detail as an average.
Image ScaleImage(const Image& image, uint32_t width, uint32_t height);

}  // namespace ffglhost

#endif  // FFGLHOST_IMAGE_H
