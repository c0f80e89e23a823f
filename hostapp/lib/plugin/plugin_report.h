// What a plug-in says about itself, gathered through its entry point.
#ifndef FFGLHOST_PLUGIN_REPORT_H
#define FFGLHOST_PLUGIN_REPORT_H

#include <string>
#include <vector>

#include "plugin_library.h"

namespace ffglhost {

struct ParameterReport {
    uint32_t index = 0;
    std::string name;
    uint32_t type = 0;
    bool isText = false;
    float defaultValue = 0.0f;
    std::string defaultText;
    std::string display;  // empty when no instance was available to ask
    float min = 0.0f;
    float max = 1.0f;
};

struct PluginReport {
    std::string id;
    std::string name;
    uint32_t type = 0;
    uint32_t apiMajor = 0;
    uint32_t apiMinor = 0;
    uint32_t versionMajor = 0;
    uint32_t versionMinor = 0;
    std::string description;
    std::string about;
    bool inputsKnown = false;  // false when the plug-in does not answer the input counts
    uint32_t minimumInputs = 0;
    uint32_t maximumInputs = 0;
    bool supportsHostTime = false;
    std::vector<ParameterReport> parameters;
};

// Plug-ins claiming more parameters than this are refused.
constexpr uint32_t kMaxParameters = 4096;

// Reads the information records, capabilities and parameter definitions. With `instance`
// (a live handle) the display texts are read too. Texts are read up to kMaxPluginText
// bytes. Throws HostError when the plug-in gives no information record or too many
// parameters.
PluginReport ReadPluginReport(const PluginLibrary& plugin, FFInstanceID instance = nullptr);

const char* PluginTypeName(uint32_t type);

}  // namespace ffglhost

#endif  // FFGLHOST_PLUGIN_REPORT_H
