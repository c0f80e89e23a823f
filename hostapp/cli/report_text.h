// The plug-in report as text for people.
#ifndef FFGLHOST_CLI_REPORT_TEXT_H
#define FFGLHOST_CLI_REPORT_TEXT_H

#include <cstdio>

#include "plugin_summary.h"

void PrintReportText(std::FILE* out, const PluginSummary& summary);

#endif  // FFGLHOST_CLI_REPORT_TEXT_H
