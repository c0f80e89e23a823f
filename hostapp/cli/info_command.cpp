#include "info_command.h"

#include <unistd.h>

#include <cstdio>
#include <memory>

#include "lib/gl/gl_context.h"
#include "lib/host_error.h"
#include "lib/io/file_names.h"
#include "lib/io/staged_outputs.h"
#include "lib/plugin/plugin_instance.h"
#include "lib/plugin/plugin_library.h"
#include "lib/plugin/plugin_log.h"
#include "lib/plugin/thumbnail.h"
#include "lib/render/frame_sink.h"
#include "plugin_summary.h"
#include "report_json.h"
#include "report_text.h"
#include "supervisor.h"
#include "usage_error.h"

using ffglhost::HostError;

CLI::App* AddInfoCommand(CLI::App& app, InfoOptions& options) {
    CLI::App* info = app.add_subcommand("info", "Show what a plug-in says about itself");
    info->add_option("PLUGIN", options.plugin, "Path to the plug-in library")->required();
    info->add_flag("--json", options.json, "Print the report as JSON");
    info->add_option("--thumbnail", options.thumbnail,
                     "Write the plug-in's thumbnail to this PNG file");
    info->add_option("--call-timeout", options.callTimeout,
                     "Seconds any one plug-in call may take before it is stopped (0: no limit)")
        ->capture_default_str();
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

void WriteThumbnail(const ffglhost::PluginLibrary& plugin, const ffglhost::StagedOutput& output) {
    const std::optional<ffglhost::Image> thumbnail = ffglhost::ReadThumbnail(plugin);
    if (!thumbnail) {
        throw HostError("the plug-in has no thumbnail to write to " + output.finalPath);
    }
    ffglhost::WriteOutputPng(output.stagedPath, output.finalPath, *thumbnail);
}

int InfoInWorker(const InfoOptions& options, const ffglhost::StagedOutput* thumbnailOutput) {
    ffglhost::PluginLibrary plugin(options.plugin);
    PluginSummary summary;
    summary.path = options.plugin;
    summary.hasLogCallback = plugin.HasSetLogCallback();
    ReadWithInstance(plugin, summary);
    if (const std::optional<ffglhost::Image> thumbnail = ffglhost::ReadThumbnail(plugin)) {
        summary.thumbnailWidth = thumbnail->width;
        summary.thumbnailHeight = thumbnail->height;
    }
    if (thumbnailOutput != nullptr) {
        WriteThumbnail(plugin, *thumbnailOutput);
    }
    if (options.json) {
        PrintReportJson(HostOutput(), summary);
    } else {
        PrintReportText(HostOutput(), summary);
    }
    return 0;
}

}  // namespace

int RunInfo(const InfoOptions& options) {
    if (!options.thumbnail.empty() && ffglhost::LowercaseExtension(options.thumbnail) != ".png") {
        throw UsageError("--thumbnail needs a .png file name, got " + options.thumbnail);
    }
    if (!(options.callTimeout >= 0.0 && options.callTimeout <= 1e6)) {
        throw UsageError("--call-timeout needs a number of seconds from 0 (no limit) to 1000000");
    }
    ffglhost::StagedOutputs outputs(std::to_string(getpid()));
    const ffglhost::StagedOutput* thumbnail =
        options.thumbnail.empty() ? nullptr : &outputs.Add(options.thumbnail, false);
    Supervision supervision;
    supervision.callTimeoutSeconds = options.callTimeout;
    supervision.work = [&](WorkerPage&) { return InfoInWorker(options, thumbnail); };
    supervision.afterCommit = [&](const WorkerPage&) {
        if (thumbnail != nullptr && !options.json) {
            std::printf("thumbnail written to %s\n", thumbnail->finalPath.c_str());
        }
    };
    return Supervise(outputs, supervision);
}
