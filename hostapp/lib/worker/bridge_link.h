// How a frei0r bridge module knows its FFGL plug-in and the worker: a fixed-size block
// of text inside the module's own file, starting with a marker line, then "plugin=PATH"
// and "worker=PATH" lines, then zero bytes. Relative paths count from the directory the
// module lies in. The built module carries the paths of the installed layout;
// `ffgl-host frei0r` writes a copy with absolute paths into the block.
#ifndef FFGLHOST_BRIDGE_LINK_H
#define FFGLHOST_BRIDGE_LINK_H

#include <cstddef>
#include <string>

namespace ffglhost {

constexpr char kBridgeLinkMarker[] = "FFGL-FREI0R-LINK v1\n";
constexpr size_t kBridgeLinkBytes = 8192;  // the whole block, marker included

struct BridgeLink {
    std::string plugin;
    std::string worker;
};

// The block's text for `link`; throws HostError when it does not fit or a path holds a
// line break.
std::string FormatBridgeLink(const BridgeLink& link);
// Reads a block (which need not be terminated within kBridgeLinkBytes).
BridgeLink ParseBridgeLink(const char* block);

// A frei0r module's file name for an FFGL plug-in's name: lowercase letters and digits
// kept, every other character '_' ("Quellix Shine" -> "quellix_shine"); "ffgl_plugin" when
// nothing is left.
std::string Frei0rModuleName(const std::string& pluginName);

}  // namespace ffglhost

#endif  // FFGLHOST_BRIDGE_LINK_H
