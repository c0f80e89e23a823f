// The FFGL effects that OBS is offered as filters: the plug-in folders are scanned at
// module load, and each plug-in file is described once (through a short-lived worker)
// and remembered in a cache keyed by path, size and modification time, so that OBS's
// start runs no plug-in that it has seen before unchanged.
#ifndef FFGL_OBS_PLUGIN_CATALOG_H
#define FFGL_OBS_PLUGIN_CATALOG_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "lib/plugin/plugin_report.h"

namespace ffglobs {

// One plug-in file as the catalog knows it.
struct CatalogEntry {
    std::string path;
    int64_t size = 0;
    int64_t mtimeNs = 0;
    std::string problem;  // why it is not offered as a filter; empty when it is
    ffglhost::PluginReport report;
    std::string kindId;  // "ffgl_" + the frei0r-style name; set when offered
};

struct ScanResult {
    std::vector<CatalogEntry> filters;  // offered, in folder order, ids unique
    std::vector<std::string> lines;     // one line for each thing the user should know
    int described = 0;                  // plug-ins run to describe them (not cached)
};

struct PluginFolder {
    std::string path;
    bool listed = false;  // named by the user: its absence is worth a line
};

// The folders searched, in order: those in $FFGL_PLUGIN_PATH (colon-separated), then
// ~/.local/lib/ffgl, /usr/local/lib/ffgl and /usr/lib/ffgl. Where two files give the
// same filter id, the first folder wins.
std::vector<PluginFolder> PluginFolders();

// The cache file: $XDG_CACHE_HOME/ffgl-obs/plugins.json, else ~/.cache/ffgl-obs/....
std::string CachePath();

// Describes the plug-in at `path`; throws on failure (a WorkerError from the worker).
using Describer = std::function<ffglhost::PluginReport(const std::string& path)>;

// Scans `folders`, describing through `describe` only what `cachePath` does not hold
// unchanged, and writes the cache back when anything was described.
ScanResult ScanPlugins(const std::vector<PluginFolder>& folders, const std::string& cachePath,
                       const Describer& describe);

// The filter id for a plug-in name: "Quellix Shine" -> "ffgl_quellix_shine".
std::string FilterKindId(const std::string& pluginName);

}  // namespace ffglobs

#endif  // FFGL_OBS_PLUGIN_CATALOG_H
