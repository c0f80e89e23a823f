// A 5 x 7 pixel font for labels drawn into pictures: digits, 'x', '#', ':' and space.
#ifndef FFGLHOST_BITMAP_FONT_H
#define FFGLHOST_BITMAP_FONT_H

#include <array>
#include <cstdint>
#include <string>

#include "image.h"

namespace ffglhost {

using Rgba = std::array<uint8_t, 4>;

// Draws `text` with its top-left corner at (x, y), each font pixel as a square of
// `scale` pixels; characters the font lacks advance like a space. Pixels outside the
// picture are skipped.
void DrawText(Image& image, int x, int y, const std::string& text, int scale, Rgba colour);

// Width and height in pixels that DrawText covers for `text` at `scale`.
int TextWidth(const std::string& text, int scale);
inline int TextHeight(int scale) {
    return 7 * scale;
}

}  // namespace ffglhost

#endif  // FFGLHOST_BITMAP_FONT_H
