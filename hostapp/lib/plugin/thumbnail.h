// The plug-in's thumbnail (code 42) as an RGBA picture.
#ifndef FFGLHOST_THUMBNAIL_H
#define FFGLHOST_THUMBNAIL_H

#include <optional>

#include "lib/io/image.h"
#include "plugin_library.h"

namespace ffglhost {

// The thumbnail, row 0 first, converted from the plug-in's 0xAARRGGBB words; nothing
// when the plug-in offers none.
std::optional<Image> ReadThumbnail(const PluginLibrary& plugin);

}  // namespace ffglhost

#endif  // FFGLHOST_THUMBNAIL_H
