// Presets: a plug-in's parameter values saved by name in a small JSON file, with the
// plug-in's identifier, so that a look tuned in `play` renders the same in `render`.
//
//   {
//     "plugin": "QX01",
//     "name": "Quellix Shine",
//     "values": {
//       "Flare X": 0.2,
//       "Text": "a text parameter's value"
//     }
//   }
#ifndef FFGLHOST_PRESET_H
#define FFGLHOST_PRESET_H

#include <string>
#include <vector>

#include "parameter_settings.h"
#include "plugin_report.h"

namespace ffglhost {

// The settings a preset file holds, in the file's order, checked against the plug-in:
// a preset for another plug-in, an unknown name, a value of the wrong kind or outside
// the parameter's range, or a file that is not such JSON throws HostError on one line
// naming the file.
std::vector<ParameterSetting> ReadPreset(const std::string& path, const PluginReport& report);

// The preset text for `values` (one per parameter, in index order).
std::string PresetText(const PluginReport& report, const std::vector<ParameterSetting>& values);

// Writes the preset to `path` through a temporary file beside it, so an existing preset
// is replaced whole or not at all. Throws HostError with the system's reason.
void WritePreset(const std::string& path, const PluginReport& report,
                 const std::vector<ParameterSetting>& values);

}  // namespace ffglhost

#endif  // FFGLHOST_PRESET_H
