// ffgl-host: runs FFGL 2.x plug-ins without a host application.
#include <cstdio>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "gl_context.h"
#include "host_error.h"
#include "plugin_library.h"
#include "plugin_report.h"

namespace {

void PrintReport(const ffglhost::PluginReport& report) {
    std::printf("%s  %s\n", report.id.c_str(), report.name.c_str());
    std::printf("  type:         %s (%u)\n", ffglhost::PluginTypeName(report.type), report.type);
    std::printf("  FFGL API:     %u.%u\n", report.apiMajor, report.apiMinor);
    std::printf("  version:      %u.%u\n", report.versionMajor, report.versionMinor);
    std::printf("  description:  %s\n", report.description.c_str());
    std::printf("  about:        %s\n", report.about.c_str());
    std::printf("  inputs:       %u to %u\n", report.minimumInputs, report.maximumInputs);
    std::printf("  host time:    %s\n", report.supportsHostTime ? "supported" : "not supported");
    std::printf("  parameters:   %zu\n", report.parameters.size());
    std::printf("    %-5s %-16s %-5s %-10s %-16s %s\n", "index", "name", "type", "default",
                "display", "range");
    for (const ffglhost::ParameterReport& p : report.parameters) {
        const std::string defaultText =
            p.isText ? "\"" + p.defaultText + "\"" : std::to_string(p.defaultValue);
        std::printf("    %-5u %-16s %-5u %-10s %-16s %g..%g\n", p.index, p.name.c_str(), p.type,
                    defaultText.c_str(), p.display.empty() ? "-" : p.display.c_str(), p.min, p.max);
    }
}

int RunInfo(const std::string& pluginPath) {
    ffglhost::PluginLibrary plugin(pluginPath);
    // Display texts need a live instance, and instances need a GL context.
    std::unique_ptr<ffglhost::GlContext> context;
    FFInstanceID instance = nullptr;
    try {
        context = std::make_unique<ffglhost::GlContext>();
        FFGLViewportStruct viewport{0, 0, 640, 360};
        const FFResult handle = plugin.Call(FF_INSTANTIATE_GL, &viewport);
        if (handle != FF_FAIL && handle != 0) {
            instance = ffglhost::PluginLibrary::AsPointer<void>(handle);
        }
    } catch (const ffglhost::HostError&) {
        // No context: the report goes on without display texts.
    }
    const ffglhost::PluginReport report = ffglhost::ReadPluginReport(plugin, instance);
    if (instance != nullptr) {
        plugin.Call(FF_DEINSTANTIATE_GL, 0, instance);
    }
    PrintReport(report);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Runs FFGL 2.x plug-ins without a host application."};
    app.require_subcommand(1);
    std::string pluginPath;
    CLI::App* info = app.add_subcommand("info", "Print what a plug-in says about itself");
    info->add_option("PLUGIN", pluginPath, "Path to the plug-in library")->required();
    CLI11_PARSE(app, argc, argv);
    try {
        if (info->parsed()) {
            return RunInfo(pluginPath);
        }
    } catch (const ffglhost::HostError& error) {
        std::fprintf(stderr, "ffgl-host: %s\n", error.what());
        return 1;
    }
    return 0;
}
