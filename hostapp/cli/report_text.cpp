#include "report_text.h"

#include <string>

#include "lib/plugin/plugin_text.h"

using ffglhost::FormatFloat;
using ffglhost::PrintableText;

void PrintReportText(std::FILE* out, const PluginSummary& summary) {
    const ffglhost::PluginReport& report = summary.report;
    std::fprintf(out, "%s  %s\n", PrintableText(report.id).c_str(),
                 PrintableText(report.name).c_str());
    std::fprintf(out, "  file:         %s\n", PrintableText(summary.path).c_str());
    std::fprintf(out, "  type:         %s (%u)\n", ffglhost::PluginTypeName(report.type),
                 report.type);
    std::fprintf(out, "  FFGL API:     %u.%u\n", report.apiMajor, report.apiMinor);
    std::fprintf(out, "  version:      %u.%u\n", report.versionMajor, report.versionMinor);
    std::fprintf(out, "  description:  %s\n", PrintableText(report.description).c_str());
    std::fprintf(out, "  about:        %s\n", PrintableText(report.about).c_str());
    if (report.inputsKnown) {
        std::fprintf(out, "  inputs:       %u to %u\n", report.minimumInputs, report.maximumInputs);
    } else {
        std::fprintf(out, "  inputs:       not stated\n");
    }
    std::fprintf(out, "  host time:    %s\n",
                 report.supportsHostTime ? "supported" : "not supported");
    std::fprintf(out, "  log function: %s\n",
                 summary.hasLogCallback ? "SetLogCallback exported" : "none");
    if (summary.thumbnailWidth != 0) {
        std::fprintf(out, "  thumbnail:    %u x %u\n", summary.thumbnailWidth,
                     summary.thumbnailHeight);
    } else {
        std::fprintf(out, "  thumbnail:    none\n");
    }
    std::fprintf(out, "  parameters:   %zu\n", report.parameters.size());
    if (report.parameters.empty()) {
        return;
    }
    std::fprintf(out, "    %-5s %-16s %-5s %-10s %-16s %s\n", "index", "name", "type", "default",
                 "display", "range");
    for (const ffglhost::ParameterReport& p : report.parameters) {
        const std::string defaultText =
            p.isText ? "\"" + PrintableText(p.defaultText, 64) + "\"" : FormatFloat(p.defaultValue);
        const std::string display = p.display.empty() ? "-" : PrintableText(p.display);
        const std::string range = FormatFloat(p.min) + ".." + FormatFloat(p.max);
        std::fprintf(out, "    %-5u %-16s %-5u %-10s %-16s %s\n", p.index,
                     PrintableText(p.name, 64).c_str(), p.type, defaultText.c_str(),
                     display.c_str(), range.c_str());
    }
}
