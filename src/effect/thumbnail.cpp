#include "thumbnail.h"

#include <cmath>
#include <cstdlib>
#include <utility>

namespace {

const ThumbnailImage* g_currentThumbnail = nullptr;

void Plot(std::vector<uint32_t>& pixels, int32_t x, int32_t y, uint32_t colour) {
    if (x < 0 || x >= kThumbnailWidth || y < 0 || y >= kThumbnailHeight) {
        return;
    }
    pixels[static_cast<size_t>(y) * kThumbnailWidth + x] = colour;
}

}  // namespace

uint32_t PackPixel(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return (a & 0xFFu) << 24 | (r & 0xFFu) << 16 | (g & 0xFFu) << 8 | (b & 0xFFu);
}

// Bresenham, all octants, both end points included.
void DrawLine(std::vector<uint32_t>& pixels, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
              uint32_t colour) {
    const int32_t ax = std::abs(x1 - x0);
    const int32_t ay = std::abs(y1 - y0);
    const int32_t sx = x0 < x1 ? 1 : -1;
    const int32_t sy = y0 < y1 ? 1 : -1;
    int32_t err = ax - ay;
    int32_t x = x0;
    int32_t y = y0;
    for (;;) {
        Plot(pixels, x, y, colour);
        if (x == x1 && y == y1) {
            break;
        }
        const int32_t e2 = 2 * err;
        if (e2 >= -ay) {
            err -= ay;
            x += sx;
        }
        if (e2 <= ax) {
            err += ax;
            y += sy;
        }
    }
}

// Midpoint circle; coinciding octant points are simply plotted twice.
void DrawCircle(std::vector<uint32_t>& pixels, int32_t cx, int32_t cy, int32_t radius,
                uint32_t colour) {
    if (radius < 0) {
        return;
    }
    int32_t x = radius;
    int32_t y = 0;
    int32_t d = 1 - radius;
    while (x >= y) {
        Plot(pixels, cx + x, cy + y, colour);
        Plot(pixels, cx - x, cy + y, colour);
        Plot(pixels, cx + x, cy - y, colour);
        Plot(pixels, cx - x, cy - y, colour);
        Plot(pixels, cx + y, cy + x, colour);
        Plot(pixels, cx - y, cy + x, colour);
        Plot(pixels, cx + y, cy - x, colour);
        Plot(pixels, cx - y, cy - x, colour);
        ++y;
        if (d < 0) {
            d += 2 * y + 1;
        } else {
            --x;
            d += 2 * (y - x) + 1;
        }
    }
}

void FillCircle(std::vector<uint32_t>& pixels, int32_t cx, int32_t cy, int32_t radius,
                uint32_t colour) {
    for (int32_t dy = -radius; dy <= radius; ++dy) {
        for (int32_t dx = -radius; dx <= radius; ++dx) {
            if (dx * dx + dy * dy <= radius * radius) {
                Plot(pixels, cx + dx, cy + dy, colour);
            }
        }
    }
}

// All arithmetic is single precision: the ray end points and glow values the
// picture is known by depend on it.
std::vector<uint32_t> DrawThumbnail() {
    const int32_t cx = kThumbnailWidth / 2;
    const int32_t cy = kThumbnailHeight / 2;
    std::vector<uint32_t> pixels(static_cast<size_t>(kThumbnailWidth) * kThumbnailHeight,
                                 PackPixel(0, 0, 0, 255));

    // Soft glow fading out at 40 pixels from the centre.
    for (int32_t y = 0; y < kThumbnailHeight; ++y) {
        for (int32_t x = 0; x < kThumbnailWidth; ++x) {
            const float dx = static_cast<float>(x - cx);
            const float dy = static_cast<float>(y - cy);
            const float d = sqrtf(dx * dx + dy * dy);
            if (d < 40.0f) {
                const float t = 1.0f - d / 40.0f;
                const uint32_t e = static_cast<uint32_t>(60.0f * (t * t));
                Plot(pixels, x, y, PackPixel(e, e / 3, e / 2, 255));
            }
        }
    }

    // Twelve rays, long and bright for even i, short and dim for odd i.
    const uint32_t bright = PackPixel(255, 0, 128, 255);
    const uint32_t dim = PackPixel(127, 0, 64, 255);
    for (int32_t i = 0; i < 12; ++i) {
        const float angle = (static_cast<float>(i) / 12.0f) * 6.2831855f;
        const float length = i % 2 == 0 ? 50.0f : 35.0f;
        const int32_t ex = cx + static_cast<int32_t>(cosf(angle) * length);
        const int32_t ey = cy + static_cast<int32_t>(sinf(angle) * length);
        DrawLine(pixels, cx, cy, ex, ey, i % 2 == 0 ? bright : dim);
    }

    // Core, ring, horizontal streak and the secondary spot.
    FillCircle(pixels, cx, cy, 4, PackPixel(255, 220, 255, 255));
    DrawCircle(pixels, cx, cy, 8, bright);
    DrawLine(pixels, 25, cy, 70, cy, dim);
    DrawLine(pixels, 90, cy, 135, cy, dim);
    FillCircle(pixels, 115, cy, 2, dim);
    return pixels;
}

ThumbnailImage::ThumbnailImage(uint32_t width, uint32_t height, std::vector<uint32_t> pixels)
    : width_(width), height_(height), pixels_(std::move(pixels)) {
    pixels_.resize(static_cast<size_t>(width) * height, 0u);
    pixelPointer_ = pixels_.data();
    g_currentThumbnail = this;
}

ThumbnailImage::~ThumbnailImage() {
    if (g_currentThumbnail == this) {
        g_currentThumbnail = nullptr;
    }
}

const ThumbnailImage* ThumbnailImage::Current() {
    return g_currentThumbnail;
}

namespace {

const ThumbnailImage g_thumbnail(kThumbnailWidth, kThumbnailHeight, DrawThumbnail());

}  // namespace
