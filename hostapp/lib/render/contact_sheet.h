// A contact sheet: a grid of small copies of chosen frames, each labelled with its frame
// number, on a dark background.
#ifndef FFGLHOST_CONTACT_SHEET_H
#define FFGLHOST_CONTACT_SHEET_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "lib/io/image.h"

namespace ffglhost {

constexpr size_t kSheetFrames = 12;
constexpr uint32_t kSheetColumns = 4;
constexpr uint32_t kSheetThumbnailWidth = 320;

struct ContactSheetLayout {
    std::vector<uint64_t> frames;  // frame numbers shown, in reading order
    uint32_t columns = 0;
    uint32_t rows = 0;
    uint32_t thumbnailWidth = 0;
    uint32_t thumbnailHeight = 0;
    uint32_t gap = 0;          // around and between cells
    uint32_t labelHeight = 0;  // below each thumbnail
    int labelScale = 1;
    uint32_t width = 0;
    uint32_t height = 0;

    // Top-left corner of the k-th thumbnail.
    uint32_t ThumbnailX(size_t k) const;
    uint32_t ThumbnailY(size_t k) const;
};

// `count` frame numbers spread evenly over 0 .. frameCount - 1, first and last included
// (all of them when there are no more than `count`).
std::vector<uint64_t> EvenlySpacedFrames(uint64_t frameCount, size_t count);

// A grid for `frames` taken from frames of frameWidth x frameHeight: up to four columns,
// thumbnails 320 pixels wide (or the frame's width when smaller), aspect kept.
ContactSheetLayout PlanContactSheet(const std::vector<uint64_t>& frames, uint32_t frameWidth,
                                    uint32_t frameHeight);

// Draws the sheet; thumbnails[k] shows layout.frames[k] and has the layout's thumbnail
// size (see ScaleImage).
Image ComposeContactSheet(const ContactSheetLayout& layout, const std::vector<Image>& thumbnails);

}  // namespace ffglhost

#endif  // FFGLHOST_CONTACT_SHEET_H
