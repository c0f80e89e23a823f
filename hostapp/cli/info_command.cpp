#include "info_command.h"

#include <cstdio>
#include <memory>

#include "lib/gl/gl_context.h"
#include "lib/host_error.h"
#include "lib/io/pending_file.h"
#include "lib/io/png_file.h"
#include "lib/plugin/plugin_instance.h"
#include "lib/plugin/plugin_library.h"
#include "lib/plugin/plugin_log.h"
#include "lib/plugin/thumbnail.h"
#include "plugin_summary.h"
#include "report_json.h"
#include "report_text.h"

using ffglhost::HostError;

CLI::App* AddInfoCommand(CLI::App& app, InfoOptions& options) {
    CLI::App* info = app.add_subcommand("info", "Show what a plug-in says about itself");
    info->add_option("PLUGIN", options.plugin, "Path to the plug-in library")->required();
    info->add_flag("--json", options.json, "Print the report as JSON");
    info->add_option("--thumbnail", options.thumbnail,
                     "Write the plug-in's thumbnail to this PNG file");
    return info;
}

namespace {

// Display texts belong to instances, and instances need a GL context; without either
// the report goes on without them, saying why on standard error.
void ReadWithInstance(const ffglhost::PluginLibrary& plugin, PluginSummary& summary) {
    std::unique_ptr<ffglhost::GlContext> context;
    try {
        context = std::make_unique<ffglhost::GlContext>();
    } catch (const HostError& error) {
        std::fprintf(stderr, "ffgl-host: note: no display texts: %s\n", error.what());
        summary.report = ffglhost::ReadPluginReport(plugin);
        return;
    }
    ffglhost::PluginLog log(plugin, stderr);
    log.Hold();
    std::unique_ptr<ffglhost::PluginInstance> instance;
    try {
        instance = std::make_unique<ffglhost::PluginInstance>(plugin, 640, 360);
    } catch (const HostError& error) {
        std::fprintf(stderr, "ffgl-host: note: no display texts: %s%s\n", error.what(),
                     log.HeldSummary().c_str());
        summary.report = ffglhost::ReadPluginReport(plugin);
        return;
    }
    log.Release();
    summary.report = ffglhost::ReadPluginReport(plugin, instance->Handle());
    summary.hasDisplayTexts = true;
}

void WriteThumbnail(const ffglhost::PluginLibrary& plugin, const std::string& path) {
    const std::optional<ffglhost::Image> thumbnail = ffglhost::ReadThumbnail(plugin);
    if (!thumbnail) {
        throw HostError("the plug-in has no thumbnail to write to " + path);
    }
    ffglhost::PendingFile file(path);
    ffglhost::WritePng(file.TemporaryPath(), *thumbnail);
    file.Commit();
}

}  // namespace

int RunInfo(const InfoOptions& options) {
    ffglhost::PluginLibrary plugin(options.plugin);
    PluginSummary summary;
    summary.path = options.plugin;
    summary.hasLogCallback = plugin.HasSetLogCallback();
    ReadWithInstance(plugin, summary);
    if (const std::optional<ffglhost::Image> thumbnail = ffglhost::ReadThumbnail(plugin)) {
        summary.thumbnailWidth = thumbnail->width;
        summary.thumbnailHeight = thumbnail->height;
    }
    if (!options.thumbnail.empty()) {
        WriteThumbnail(plugin, options.thumbnail);
    }
    if (options.json) {
        PrintReportJson(stdout, summary);
    } else {
        PrintReportText(stdout, summary);
        if (!options.thumbnail.empty()) {
            std::printf("thumbnail written to %s\n", options.thumbnail.c_str());
        }
    }
    return 0;
}
