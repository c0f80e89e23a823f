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

#include "parameter_values.h"
#include "plugin_report.h"

namespace ffglhost {

// Sets the values a preset file holds into `values`, in the file's order, each checked as
// a value a person typed: a preset for another plug-in, an unknown name, a value of the
// wrong kind or outside the parameter's range, or a file that is not such JSON throws
// HostError on one line naming the file, and leaves `values` as they were.
void ReadPreset(const std::string& path, const PluginReport& report, ParameterValues& values);

// The values a command starts from: the plug-in's defaults, then the preset's (when
// `preset` is not empty), then each "NAME=VALUE" of `assignments`. Throws HostError.
ParameterValues ChooseValues(const PluginReport& report, const std::string& preset,
                             const std::vector<std::string>& assignments);

// The preset text for `values`.
std::string PresetText(const PluginReport& report, const ParameterValues& values);

// Writes the preset to `path` through a temporary file beside it, so an existing preset
// is replaced whole or not at all. Throws HostError with the system's reason.
void WritePreset(const std::string& path, const PluginReport& report,
                 const ParameterValues& values);

}  // namespace ffglhost

#endif  // FFGLHOST_PRESET_H
