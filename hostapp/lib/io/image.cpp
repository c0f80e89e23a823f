#include "image.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ffglhost {

void FlipRowsInto(const uint8_t* source, uint8_t* target, size_t rowBytes, uint32_t height) {
    for (uint32_t y = 0; y < height; ++y) {
        std::memcpy(target + size_t{height - 1 - y} * rowBytes, source + size_t{y} * rowBytes,
                    rowBytes);
    }
}

namespace {

// The source pixels covering one target pixel along an axis, with the fraction of each
// that lies under it.
struct Span {
    uint32_t first;
    uint32_t last;  // inclusive
    double firstWeight;
    double lastWeight;
};

Span SpanFor(uint32_t target, double scale, uint32_t sourceSize) {
    const double begin = target * scale;
    const double end = std::min((target + 1) * scale, static_cast<double>(sourceSize));
    Span span{};
    span.first = static_cast<uint32_t>(begin);
    span.last = std::min(static_cast<uint32_t>(std::ceil(end)) - 1, sourceSize - 1);
    span.firstWeight = std::min(end, span.first + 1.0) - begin;
    span.lastWeight = span.last == span.first ? span.firstWeight : end - span.last;
    return span;
}

double WeightAt(const Span& span, uint32_t i) {
    if (i == span.first) {
        return span.firstWeight;
    }
    return i == span.last ? span.lastWeight : 1.0;
}

}  // namespace

Image ScaleImage(const Image& image, uint32_t width, uint32_t height) {
    Image scaled(width, height);
    if (image.width == 0 || image.height == 0 || width == 0 || height == 0) {
        return scaled;
    }
    const double scaleX = static_cast<double>(image.width) / width;
    const double scaleY = static_cast<double>(image.height) / height;
    std::vector<Span> columns(width);
    for (uint32_t x = 0; x < width; ++x) {
        columns[x] = SpanFor(x, scaleX, image.width);
    }
    for (uint32_t y = 0; y < height; ++y) {
        const Span rows = SpanFor(y, scaleY, image.height);
        for (uint32_t x = 0; x < width; ++x) {
            const Span& cols = columns[x];
            double sum[4] = {0, 0, 0, 0};
            double total = 0;
            for (uint32_t sy = rows.first; sy <= rows.last; ++sy) {
                const double wy = WeightAt(rows, sy);
                for (uint32_t sx = cols.first; sx <= cols.last; ++sx) {
                    const double w = wy * WeightAt(cols, sx);
                    const uint8_t* p = image.Pixel(sx, sy);
                    for (int c = 0; c < 4; ++c) {
                        sum[c] += w * p[c];
                    }
                    total += w;
                }
            }
            uint8_t* out = scaled.Pixel(x, y);
            for (int c = 0; c < 4; ++c) {
                out[c] = static_cast<uint8_t>(std::lround(sum[c] / total));
            }
        }
    }
    return scaled;
}

}  // namespace ffglhost
