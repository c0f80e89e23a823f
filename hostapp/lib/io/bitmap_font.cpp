#include "bitmap_font.h"

namespace ffglhost {

namespace {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kAdvance = kGlyphWidth + 1;

// Each row is five bits, the leftmost pixel in bit 4.
const uint8_t* GlyphFor(char c) {
    static const uint8_t kDigits[10][kGlyphHeight] = {
        {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
        {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
        {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
        {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
        {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
    };
    static const uint8_t kTimes[kGlyphHeight] = {0x00, 0x00, 0x11, 0x0A, 0x04, 0x0A, 0x11};
    static const uint8_t kHash[kGlyphHeight] = {0x0A, 0x0A, 0x1F, 0x0A, 0x1F, 0x0A, 0x0A};
    static const uint8_t kColon[kGlyphHeight] = {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00};
    if (c >= '0' && c <= '9') {
        return kDigits[c - '0'];
    }
    switch (c) {
        case 'x':
            return kTimes;
        case '#':
            return kHash;
        case ':':
            return kColon;
        default:
            return nullptr;
    }
}

void FillSquare(Image& image, int x, int y, int size, Rgba colour) {
    for (int py = y; py < y + size; ++py) {
        for (int px = x; px < x + size; ++px) {
            if (px >= 0 && py >= 0 && px < static_cast<int>(image.width) &&
                py < static_cast<int>(image.height)) {
                uint8_t* p = image.Pixel(static_cast<uint32_t>(px), static_cast<uint32_t>(py));
                p[0] = colour[0];
                p[1] = colour[1];
                p[2] = colour[2];
                p[3] = colour[3];
            }
        }
    }
}

}  // namespace

void DrawText(Image& image, int x, int y, const std::string& text, int scale, Rgba colour) {
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8_t* glyph = GlyphFor(text[i]);
        if (glyph == nullptr) {
            continue;
        }
        const int left = x + static_cast<int>(i) * kAdvance * scale;
        for (int row = 0; row < kGlyphHeight; ++row) {
            for (int column = 0; column < kGlyphWidth; ++column) {
                if (glyph[row] & (0x10 >> column)) {
                    FillSquare(image, left + column * scale, y + row * scale, scale, colour);
                }
            }
        }
    }
}

int TextWidth(const std::string& text, int scale) {
    if (text.empty()) {
        return 0;
    }
    return (static_cast<int>(text.size()) * kAdvance - 1) * scale;
}

}  // namespace ffglhost
