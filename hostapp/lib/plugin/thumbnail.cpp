#include "thumbnail.h"

#include <vector>

namespace ffglhost {

namespace {

// Thumbnails are small pictures; larger claimed sizes are taken as a broken answer.
constexpr uint32_t kMaxSide = 1024;

}  // namespace

std::optional<Image> ReadThumbnail(const PluginLibrary& plugin) {
    ThumbnailRecord size{0, 0, nullptr};
    if (PluginLibrary::Low(plugin.Call(FF_GET_THUMBNAIL, &size)) != FF_SUCCESS || size.Width == 0 ||
        size.Height == 0 || size.Width > kMaxSide || size.Height > kMaxSide) {
        return std::nullopt;
    }
    std::vector<uint32_t> words(size_t{size.Width} * size.Height, 0);
    ThumbnailRecord record{size.Width, size.Height, words.data()};
    if (PluginLibrary::Low(plugin.Call(FF_GET_THUMBNAIL, &record)) != FF_SUCCESS ||
        record.Width != size.Width || record.Height != size.Height) {
        return std::nullopt;
    }
    Image image(size.Width, size.Height);
    for (size_t i = 0; i < words.size(); ++i) {
        const uint32_t word = words[i];
        uint8_t* pixel = &image.rgba[i * 4];
        pixel[0] = static_cast<uint8_t>(word >> 16);  // red
        pixel[1] = static_cast<uint8_t>(word >> 8);   // green
        pixel[2] = static_cast<uint8_t>(word);        // blue
        pixel[3] = static_cast<uint8_t>(word >> 24);  // alpha
    }
    return image;
}

}  // namespace ffglhost
