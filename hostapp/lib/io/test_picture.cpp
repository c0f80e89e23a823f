#include "test_picture.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "bitmap_font.h"

namespace ffglhost {

namespace {

// Vertical bands, as fractions of the height from the top.
constexpr double kBarsEnd = 0.30;
constexpr double kCastellationStart = 0.25;
constexpr double kSpectrumEnd = 0.36;
constexpr double kRampEnd = 0.42;

struct Colour {
    double r, g, b;  // 0..255
};

uint8_t ToByte(double value) {
    return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
}

void Put(Image& image, uint32_t x, uint32_t y, Colour c) {
    uint8_t* p = image.Pixel(x, y);
    p[0] = ToByte(c.r);
    p[1] = ToByte(c.g);
    p[2] = ToByte(c.b);
    p[3] = 255;
}

Colour Mix(Colour a, Colour b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// Hue 0..1 at full saturation and value.
Colour Hue(double h) {
    const double k = h * 6.0;
    auto channel = [k](double offset) {
        const double d = std::fmod(k + offset, 6.0);
        return 255.0 * std::clamp(std::min(d, 4.0 - d), 0.0, 1.0);
    };
    return {channel(5.0), channel(3.0), channel(1.0)};
}

// Seven bars at 75 %, and below them the reversed "castellation" row of studio charts.
Colour Bars(double u, double v) {
    static const Colour kBars[7] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                                    {191, 0, 191},   {191, 0, 0},   {0, 0, 191}};
    static const Colour kCastellations[7] = {{0, 0, 191},    {19, 19, 19},  {191, 0, 191},
                                             {19, 19, 19},   {0, 191, 191}, {19, 19, 19},
                                             {191, 191, 191}};
    const int bar = std::min(6, static_cast<int>(u * 7.0));
    return v < kCastellationStart ? kBars[bar] : kCastellations[bar];
}

// A smooth grey ramp over 16 steps.
Colour GreyRamp(double u, double v) {
    const double middle = (kSpectrumEnd + kRampEnd) / 2.0;
    const double level = v < middle ? u : std::floor(u * 16.0) / 15.0;
    return {255.0 * level, 255.0 * level, 255.0 * level};
}

Colour Background(double u, double v) {
    const double t = (v - kRampEnd) / (1.0 - kRampEnd);
    return {30.0 + 70.0 * u, 20.0 + 40.0 * (1.0 - t), 70.0 + 90.0 * t};
}

void DrawBands(Image& image) {
    const uint32_t w = image.width;
    const uint32_t h = image.height;
    for (uint32_t y = 0; y < h; ++y) {
        const double v = (y + 0.5) / h;
        for (uint32_t x = 0; x < w; ++x) {
            const double u = (x + 0.5) / w;
            if (v < kBarsEnd) {
                Put(image, x, y, Bars(u, v));
            } else if (v < kSpectrumEnd) {
                Put(image, x, y, Hue(u));
            } else if (v < kRampEnd) {
                Put(image, x, y, GreyRamp(u, v));
            } else {
                Put(image, x, y, Background(u, v));
            }
        }
    }
}

// Light lines every sixteenth of the width over the lower part.
void DrawGrid(Image& image) {
    const uint32_t spacing = std::max(4u, image.width / 16);
    const uint32_t top = static_cast<uint32_t>(kRampEnd * image.height);
    for (uint32_t y = top; y < image.height; ++y) {
        for (uint32_t x = 0; x < image.width; ++x) {
            if (x % spacing == 0 || (y - top) % spacing == 0) {
                uint8_t* p = image.Pixel(x, y);
                for (int c = 0; c < 3; ++c) {
                    p[c] = static_cast<uint8_t>((p[c] + 255 * 2) / 3);
                }
            }
        }
    }
}

// Calls shade(x, y, dx, dy) for every pixel of the box around (cx, cy) with half-size
// `radius`; dx, dy are the offsets of the pixel centre from (cx, cy).
template <typename Shade>
void ForBox(Image& image, double cx, double cy, double radius, Shade shade) {
    const long x0 = std::max(0L, std::lround(cx - radius - 1));
    const long x1 = std::min<long>(image.width - 1, std::lround(cx + radius + 1));
    const long y0 = std::max(0L, std::lround(cy - radius - 1));
    const long y1 = std::min<long>(image.height - 1, std::lround(cy + radius + 1));
    for (long y = y0; y <= y1; ++y) {
        for (long x = x0; x <= x1; ++x) {
            shade(static_cast<uint32_t>(x), static_cast<uint32_t>(y), x + 0.5 - cx, y + 0.5 - cy);
        }
    }
}

// An orange ball lit from the upper left, with a white ring around it.
void DrawBall(Image& image, double cx, double cy, double radius) {
    ForBox(image, cx, cy, radius * 1.12, [&](uint32_t x, uint32_t y, double dx, double dy) {
        const double r = std::sqrt(dx * dx + dy * dy);
        if (r <= radius) {
            const double light = std::hypot(dx + radius * 0.35, dy + radius * 0.35) / radius;
            Put(image, x, y, Mix({255, 190, 60}, {150, 50, 0}, std::clamp(light * 0.7, 0.0, 1.0)));
        } else if (r >= radius * 1.05 && r <= radius * 1.12) {
            Put(image, x, y, {255, 255, 255});
        }
    });
}

// A black and white checkerboard square, the finest detail of the picture.
void DrawCheckerboard(Image& image, double left, double top, double side, double check) {
    const long x0 = std::lround(left);
    const long y0 = std::lround(top);
    const long size = std::lround(side);
    const long cell = std::max(1L, std::lround(check));
    for (long y = y0; y < y0 + size && y < static_cast<long>(image.height); ++y) {
        for (long x = x0; x < x0 + size && x < static_cast<long>(image.width); ++x) {
            const bool white = (((x - x0) / cell) + ((y - y0) / cell)) % 2 == 0;
            Put(image, static_cast<uint32_t>(x), static_cast<uint32_t>(y),
                white ? Colour{240, 240, 240} : Colour{15, 15, 15});
        }
    }
}

// A triangle pointing up, shaded from green at the base to yellow at the tip.
void DrawTriangle(Image& image, double cx, double top, double bottom, double halfBase) {
    const long y0 = std::max(0L, std::lround(top));
    const long y1 = std::min<long>(image.height - 1, std::lround(bottom));
    for (long y = y0; y <= y1; ++y) {
        const double t = (y + 0.5 - top) / (bottom - top);
        const double half = halfBase * t;
        const long x0 = std::max(0L, std::lround(cx - half));
        const long x1 = std::min<long>(image.width - 1, std::lround(cx + half));
        for (long x = x0; x < x1; ++x) {
            Put(image, static_cast<uint32_t>(x), static_cast<uint32_t>(y),
                Mix({255, 240, 80}, {20, 170, 60}, t));
        }
    }
}

// Concentric rings that grow finer towards the rim (a zone plate), which shows any
// resampling or misplaced pixels at once.
void DrawZonePlate(Image& image, double cx, double cy, double radius) {
    ForBox(image, cx, cy, radius, [&](uint32_t x, uint32_t y, double dx, double dy) {
        const double r = std::sqrt(dx * dx + dy * dy) / radius;
        if (r <= 1.0) {
            const double level = 0.5 + 0.5 * std::cos(60.0 * r * r);
            Put(image, x, y, Mix({20, 0, 60}, {255, 230, 255}, level));
        }
    });
}

}  // namespace

Image MakeTestPicture(uint32_t width, uint32_t height) {
    Image image(width, height);
    if (width == 0 || height == 0) {
        return image;
    }
    DrawBands(image);
    DrawGrid(image);
    const double w = width;
    const double h = height;
    const double shapeSize = h * 0.36;  // shapes span 0.53 .. 0.89 of the height
    const double middle = h * 0.71;
    DrawBall(image, w * 0.14, middle, shapeSize / 2.0);
    DrawCheckerboard(image, w * 0.30, middle - shapeSize / 2.0, shapeSize, h / 90.0);
    DrawTriangle(image, w * 0.62, middle - shapeSize / 2.0, middle + shapeSize / 2.0, w * 0.10);
    DrawZonePlate(image, w * 0.86, middle, shapeSize / 2.0);
    const int scale = std::max(1, static_cast<int>(height / 240));
    const std::string label = std::to_string(width) + "x" + std::to_string(height);
    DrawText(image, scale * 4, static_cast<int>(kRampEnd * h) + scale * 4, label, scale,
             {255, 255, 255, 255});
    return image;
}

}  // namespace ffglhost
