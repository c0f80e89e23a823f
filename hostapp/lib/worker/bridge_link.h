// How a frei0r bridge module knows its FFGL plug-in, the worker and what the plug-in says
// about itself: a fixed-size block of text inside the module's own file, starting with a
// marker line, then "key=value" lines, then zero bytes. Relative paths count from the
// directory the module lies in. The module answers a tool's questions (name, parameters)
// from the block alone, so listing filters starts no process. The built module carries
// the paths of the installed layout and the description of the plug-in it ships with;
// `ffgl-host frei0r` writes a copy with absolute paths, the plug-in file's size and time
// and its description into the block.
#ifndef FFGLHOST_BRIDGE_LINK_H
#define FFGLHOST_BRIDGE_LINK_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "lib/plugin/plugin_report.h"

namespace ffglhost {

constexpr char kBridgeLinkMarker[] = "FFGL-FREI0R-LINK v2\n";
constexpr size_t kBridgeLinkBytes = 65536;  // the whole block, marker included

struct BridgeLink {
    BridgeLink() = default;
    BridgeLink(std::string pluginPath, std::string workerPath)
        : plugin(std::move(pluginPath)), worker(std::move(workerPath)) {}

    std::string plugin;
    std::string worker;
    // The plug-in file when the description was read; 0: not recorded (a module shipped
    // with its plug-in, which packaging strips and copies).
    uint64_t pluginBytes = 0;
    int64_t pluginNanoseconds = 0;  // modification time since the epoch
    bool described = false;         // `report` holds the plug-in's description
    PluginReport report;            // display texts are not kept
};

// The block's text for `link`; throws HostError when it does not fit or a path holds a
// line break.
std::string FormatBridgeLink(const BridgeLink& link);
// Reads a block (which need not be terminated within kBridgeLinkBytes). Lines it does
// not know are skipped; a description that cannot be read leaves `described` false.
BridgeLink ParseBridgeLink(const char* block);

// What differs between two descriptions of a plug-in, as a short phrase ("parameter 2 is
// now "Scale" (was "Size"), 7 parameters (was 6)"); empty when nothing a frei0r tool sees
// differs.
std::string DescribeChanges(const PluginReport& before, const PluginReport& now);

// A frei0r module's file name for an FFGL plug-in's name: lowercase letters and digits
// kept, every other character '_' ("Quellix Shine" -> "quellix_shine"); "ffgl_plugin" when
// nothing is left.
std::string Frei0rModuleName(const std::string& pluginName);

}  // namespace ffglhost

#endif  // FFGLHOST_BRIDGE_LINK_H
