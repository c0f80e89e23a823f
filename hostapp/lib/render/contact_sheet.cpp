#include "contact_sheet.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "lib/io/bitmap_font.h"

namespace ffglhost {

namespace {

constexpr uint8_t kBackground[4] = {24, 24, 28, 255};
constexpr Rgba kLabelColour = {200, 200, 200, 255};

}  // namespace

std::vector<uint64_t> EvenlySpacedFrames(uint64_t frameCount, size_t count) {
    std::vector<uint64_t> frames;
    if (frameCount == 0 || count == 0) {
        return frames;
    }
    if (frameCount <= count) {
        for (uint64_t i = 0; i < frameCount; ++i) {
            frames.push_back(i);
        }
        return frames;
    }
    if (count == 1) {
        return {0};
    }
    for (size_t k = 0; k < count; ++k) {
        const double position = static_cast<double>(k) * (frameCount - 1) / (count - 1);
        frames.push_back(static_cast<uint64_t>(std::llround(position)));
    }
    return frames;
}

ContactSheetLayout PlanContactSheet(const std::vector<uint64_t>& frames, uint32_t frameWidth,
                                    uint32_t frameHeight) {
    ContactSheetLayout layout;
    layout.frames = frames;
    const uint32_t count = static_cast<uint32_t>(frames.size());
    if (count == 0 || frameWidth == 0 || frameHeight == 0) {
        return layout;
    }
    layout.columns = std::min(count, kSheetColumns);
    layout.rows = (count + layout.columns - 1) / layout.columns;
    layout.thumbnailWidth = std::min(frameWidth, kSheetThumbnailWidth);
    layout.thumbnailHeight = std::max<uint32_t>(
        1, static_cast<uint32_t>(
               std::lround(static_cast<double>(layout.thumbnailWidth) * frameHeight / frameWidth)));
    layout.gap = 8;
    layout.labelScale = 2;
    layout.labelHeight = static_cast<uint32_t>(TextHeight(layout.labelScale)) + 6;
    layout.width = layout.columns * layout.thumbnailWidth + (layout.columns + 1) * layout.gap;
    layout.height = layout.rows * (layout.thumbnailHeight + layout.labelHeight) +
                    (layout.rows + 1) * layout.gap;
    return layout;
}

uint32_t ContactSheetLayout::ThumbnailX(size_t k) const {
    const uint32_t column = static_cast<uint32_t>(k % columns);
    return gap + column * (thumbnailWidth + gap);
}

uint32_t ContactSheetLayout::ThumbnailY(size_t k) const {
    const uint32_t row = static_cast<uint32_t>(k / columns);
    return gap + row * (thumbnailHeight + labelHeight + gap);
}

Image ComposeContactSheet(const ContactSheetLayout& layout, const std::vector<Image>& thumbnails) {
    Image sheet(layout.width, layout.height);
    for (size_t i = 0; i < sheet.rgba.size(); i += 4) {
        std::memcpy(&sheet.rgba[i], kBackground, 4);
    }
    const size_t count = std::min(layout.frames.size(), thumbnails.size());
    for (size_t k = 0; k < count; ++k) {
        const Image& thumbnail = thumbnails[k];
        const uint32_t x = layout.ThumbnailX(k);
        const uint32_t y = layout.ThumbnailY(k);
        const uint32_t width = std::min(thumbnail.width, layout.thumbnailWidth);
        const uint32_t height = std::min(thumbnail.height, layout.thumbnailHeight);
        for (uint32_t row = 0; row < height; ++row) {
            std::memcpy(sheet.Pixel(x, y + row), thumbnail.Row(row), size_t{width} * 4);
        }
        const std::string label = "#" + std::to_string(layout.frames[k]);
        DrawText(sheet, static_cast<int>(x), static_cast<int>(y + layout.thumbnailHeight + 3),
                 label, layout.labelScale, kLabelColour);
    }
    return sheet;
}

}  // namespace ffglhost
