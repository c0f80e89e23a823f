#include "orientation.h"

#include <algorithm>
#include <cstdlib>

namespace ffglhost {

Orientation OrientationFromExif(int value) {
    switch (value) {
        case 2:
            return {false, true, false};  // mirrored left to right
        case 3:
            return {false, true, true};  // turned 180 degrees
        case 4:
            return {false, false, true};  // mirrored top to bottom
        case 5:
            return {true, false, false};  // stored rows are the shown columns
        case 6:
            return {true, true, false};  // shown turned 90 degrees clockwise
        case 7:
            return {true, true, true};  // both: turned and mirrored
        case 8:
            return {true, false, true};  // shown turned 90 degrees counterclockwise
        default:
            return {};
    }
}

int ExifOrientation(const uint8_t* data, size_t size) {
    const uint8_t prefix[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (size >= 6 && std::equal(prefix, prefix + 6, data)) {
        data += 6;
        size -= 6;
    }
    if (size < 8 || data[0] != data[1] || (data[0] != 'I' && data[0] != 'M')) {
        return 1;
    }
    const bool bigEndian = data[0] == 'M';
    const auto read16 = [&](size_t at) {
        return bigEndian ? uint32_t{data[at]} << 8 | data[at + 1]
                         : uint32_t{data[at + 1]} << 8 | data[at];
    };
    const auto read32 = [&](size_t at) {
        return bigEndian ? read16(at) << 16 | read16(at + 2) : read16(at + 2) << 16 | read16(at);
    };
    const size_t directory = read32(4);
    if (read16(2) != 42 || directory > size - 2) {
        return 1;
    }
    const size_t entries = read16(directory);
    for (size_t i = 0; i < entries && directory + 2 + 12 * (i + 1) <= size; ++i) {
        const size_t entry = directory + 2 + 12 * i;
        constexpr uint32_t kOrientationTag = 0x0112;
        constexpr uint32_t kShort = 3;
        if (read16(entry) == kOrientationTag && read16(entry + 2) == kShort) {
            const uint32_t value = read16(entry + 8);
            return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
        }
    }
    return 1;
}

Orientation OrientationFromDisplayMatrix(const int32_t matrix[9]) {
    const double a = matrix[0];
    const double b = matrix[1];
    const double c = matrix[3];
    const double d = matrix[4];
    Orientation orientation;
    if (std::abs(a) + std::abs(d) >= std::abs(b) + std::abs(c)) {
        orientation.flipX = a < 0;  // shown x = a p
        orientation.flipY = d < 0;  // shown y = d q
    } else {
        orientation.transpose = true;  // shown x = c q, shown y = b p
        orientation.flipX = c < 0;
        orientation.flipY = b < 0;
    }
    return orientation;
}

void OrientedSize(Orientation orientation, uint32_t width, uint32_t height, uint32_t* shownWidth,
                  uint32_t* shownHeight) {
    *shownWidth = orientation.transpose ? height : width;
    *shownHeight = orientation.transpose ? width : height;
}

Image ApplyOrientation(const Image& stored, Orientation orientation) {
    if (orientation.IsIdentity()) {
        return stored;
    }
    Image shown;
    OrientedSize(orientation, stored.width, stored.height, &shown.width, &shown.height);
    shown.rgba.resize(stored.rgba.size());
    for (uint32_t y = 0; y < shown.height; ++y) {
        const uint32_t my = orientation.flipY ? shown.height - 1 - y : y;
        uint8_t* target = shown.Row(y);
        for (uint32_t x = 0; x < shown.width; ++x, target += 4) {
            const uint32_t mx = orientation.flipX ? shown.width - 1 - x : x;
            const uint8_t* source =
                orientation.transpose ? stored.Pixel(my, mx) : stored.Pixel(mx, my);
            target[0] = source[0];
            target[1] = source[1];
            target[2] = source[2];
            target[3] = source[3];
        }
    }
    return shown;
}

std::string OrientationFilters(Orientation orientation) {
    if (orientation.transpose) {
        // transpose's directions: a transpose, then mirrors as named.
        if (orientation.flipX) {
            return orientation.flipY ? "transpose=clock_flip" : "transpose=clock";
        }
        return orientation.flipY ? "transpose=cclock" : "transpose=cclock_flip";
    }
    std::string filters = orientation.flipX ? "hflip" : "";
    if (orientation.flipY) {
        filters += filters.empty() ? "vflip" : ",vflip";
    }
    return filters;
}

std::string DescribeOrientation(Orientation orientation) {
    const int exifEquivalent[2][2][2] = {{{1, 4}, {2, 3}}, {{5, 8}, {6, 7}}};
    switch (exifEquivalent[orientation.transpose][orientation.flipX][orientation.flipY]) {
        case 2:
            return "mirrored left to right";
        case 3:
            return "rotated 180 degrees";
        case 4:
            return "mirrored top to bottom";
        case 5:
            return "rotated 90 degrees clockwise and mirrored left to right";
        case 6:
            return "rotated 90 degrees clockwise";
        case 7:
            return "rotated 90 degrees counterclockwise and mirrored left to right";
        case 8:
            return "rotated 90 degrees counterclockwise";
        default:
            return "";
    }
}

}  // namespace ffglhost
