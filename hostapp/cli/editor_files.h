// The files the video editors need to offer a frei0r module's filter, made from the
// plug-in's description: Kdenlive's effect description (an XML file in its effects
// folder) and Shotcut's filter folder (meta.qml and ui.qml). Shotcut names the filter's
// properties by index, as its own frei0r filters do, and every numeric parameter can be
// keyframed in both editors.
#ifndef FFGLHOST_CLI_EDITOR_FILES_H
#define FFGLHOST_CLI_EDITOR_FILES_H

#include <string>

#include "lib/plugin/plugin_report.h"

// `module` is the frei0r module's name ("quellix_shine"); the filter is
// "frei0r.<module>".
std::string KdenliveEffect(const ffglhost::PluginReport& report, const std::string& module);
std::string ShotcutMeta(const ffglhost::PluginReport& report, const std::string& module);
std::string ShotcutUi(const ffglhost::PluginReport& report);
// The name Shotcut keeps in projects for the filter: "frei0r" and the plug-in's name
// in camel case ("Quellix Shine" -> "frei0rQuellixShine").
std::string ShotcutObjectName(const std::string& pluginName);

#endif  // FFGLHOST_CLI_EDITOR_FILES_H
