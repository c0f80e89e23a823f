// The plug-in report as JSON for scripts.
#ifndef FFGLHOST_CLI_REPORT_JSON_H
#define FFGLHOST_CLI_REPORT_JSON_H

#include <cstdio>

#include "plugin_summary.h"

void PrintReportJson(std::FILE* out, const PluginSummary& summary);

#endif  // FFGLHOST_CLI_REPORT_JSON_H
