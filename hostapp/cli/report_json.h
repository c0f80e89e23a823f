// The plug-in report as JSON for scripts.
#ifndef FFGLHOST_CLI_REPORT_JSON_H
#define FFGLHOST_CLI_REPORT_JSON_H

#include <cstdio>
#include <string>

#include "plugin_summary.h"

// A JSON string literal for `text`, quotes included.
std::string JsonString(const std::string& text);

void PrintReportJson(std::FILE* out, const PluginSummary& summary);

#endif  // FFGLHOST_CLI_REPORT_JSON_H
