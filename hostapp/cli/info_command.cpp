#include "info_command.h"

#include <unistd.h>

#include <cstdio>
#include <memory>

#include "lib/host_error.h"
#include "lib/io/file_names.h"
#include "lib/io/staged_outputs.h"
#include "lib/render/frame_sink.h"
#include "lib/worker/worker_client.h"
#include "plugin_summary.h"
#include "report_json.h"
#include "report_text.h"
#include "staged_run.h"
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
// the report goes on without them, saying why on standard error. A crash or a hang is
// not a missing text: it fails the command.
void ReadDisplays(ffglhost::WorkerClient& client, PluginSummary& summary) {
    std::vector<std::string> displays;
    try {
        displays = client.ParameterDisplays(640, 360);
    } catch (const ffglhost::WorkerError& error) {
        if (error.Fault() != ffglhost::WorkerFault::kCannotStart &&
            error.Fault() != ffglhost::WorkerFault::kRefused) {
            throw;
        }
        std::fprintf(stderr, "ffgl-host: note: no display texts: %s\n", error.what());
        return;
    }
    for (size_t i = 0; i < displays.size() && i < summary.report.parameters.size(); ++i) {
        summary.report.parameters[i].display = displays[i];
    }
    summary.hasDisplayTexts = true;
}

void WriteThumbnail(const ffglhost::LoadAnswer& details, const ffglhost::StagedOutput& output) {
    if (details.thumbnailWidth == 0) {
        throw HostError("the plug-in has no thumbnail to write to " + output.finalPath);
    }
    ffglhost::Image thumbnail(details.thumbnailWidth, details.thumbnailHeight);
    thumbnail.rgba = details.thumbnail;
    ffglhost::WriteOutputPng(output.stagedPath, output.finalPath, thumbnail);
}

void Inspect(const InfoOptions& options, const ffglhost::StagedOutput* thumbnailOutput,
             StopRequests& stop) {
    WatchedWorker worker(stop, options.callTimeout, false);
    ffglhost::WorkerClient& client = worker.client;
    client.Load(options.plugin);
    const ffglhost::LoadAnswer& details = client.Details();
    PluginSummary summary;
    summary.path = options.plugin;
    summary.report = details.report;
    summary.hasLogCallback = details.hasLogCallback != 0;
    ReadDisplays(client, summary);
    client.Release();
    summary.thumbnailWidth = details.thumbnailWidth;
    summary.thumbnailHeight = details.thumbnailHeight;
    if (thumbnailOutput != nullptr) {
        WriteThumbnail(details, *thumbnailOutput);
    }
    if (options.json) {
        PrintReportJson(stdout, summary);
    } else {
        PrintReportText(stdout, summary);
    }
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
    const auto work = [&](StopRequests& stop) { Inspect(options, thumbnail, stop); };
    const auto afterCommit = [&] {
        if (thumbnail != nullptr && !options.json) {
            std::printf("thumbnail written to %s\n", thumbnail->finalPath.c_str());
        }
    };
    return RunStaged(outputs, work, afterCommit);
}
