// Everything `info` shows about a plug-in: its report plus what the library and the
// thumbnail add.
#ifndef FFGLHOST_CLI_PLUGIN_SUMMARY_H
#define FFGLHOST_CLI_PLUGIN_SUMMARY_H

#include <cstdint>
#include <string>

#include "lib/plugin/plugin_report.h"

struct PluginSummary {
    std::string path;
    ffglhost::PluginReport report;
    bool hasLogCallback = false;
    uint32_t thumbnailWidth = 0;  // 0 when the plug-in has no thumbnail
    uint32_t thumbnailHeight = 0;
    bool hasDisplayTexts = false;  // an instance could be made to ask for them
};

#endif  // FFGLHOST_CLI_PLUGIN_SUMMARY_H
