// Procedurally drawn 160 x 120 preview picture handed to the host on request.
#pragma once

#include <cstdint>
#include <vector>

constexpr int32_t kThumbnailWidth = 160;
constexpr int32_t kThumbnailHeight = 120;

// Packs four channels (each cut to its low 8 bits) into a 0xAARRGGBB word.
uint32_t PackPixel(uint32_t a, uint32_t r, uint32_t g, uint32_t b);

// Drawing into a kThumbnailWidth x kThumbnailHeight row-major array. Points
// outside the picture are skipped; writes replace the pixel word.
void DrawLine(std::vector<uint32_t>& pixels, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
              uint32_t colour);
void DrawCircle(std::vector<uint32_t>& pixels, int32_t cx, int32_t cy, int32_t radius,
                uint32_t colour);
void FillCircle(std::vector<uint32_t>& pixels, int32_t cx, int32_t cy, int32_t radius,
                uint32_t colour);

// Answers the finished lens-flare picture, kThumbnailWidth x kThumbnailHeight words.
std::vector<uint32_t> DrawThumbnail();

// The module's thumbnail: owns its pixel words and registers itself as the
// module-wide thumbnail on construction.
class ThumbnailImage {
  public:
    ThumbnailImage(uint32_t width, uint32_t height, std::vector<uint32_t> pixels);
    ~ThumbnailImage();
    ThumbnailImage(const ThumbnailImage&) = delete;
    ThumbnailImage& operator=(const ThumbnailImage&) = delete;

    uint32_t Width() const { return width_; }
    uint32_t Height() const { return height_; }
    const uint32_t* Pixels() const { return pixelPointer_; }

    // The most recently constructed, still living thumbnail; null if none.
    static const ThumbnailImage* Current();

  private:
    uint32_t width_;
    uint32_t height_;
    std::vector<uint32_t> pixels_;
    const uint32_t* pixelPointer_;
};
