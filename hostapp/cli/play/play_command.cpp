#include "play_command.h"

#include <cstdio>

#include "cli/render_setup.h"
#include "cli/usage_error.h"
#include "lib/host_error.h"
#include "lib/plugin/plugin_text.h"
#include "lib/plugin/preset.h"
#include "lib/worker/worker_client.h"
#include "play_session.h"

using ffglhost::HostError;

CLI::App* AddPlayCommand(CLI::App& app, PlayOptions& options) {
    CLI::App* play = app.add_subcommand("play", "Show a plug-in live in a window");
    play->add_option("PLUGIN", options.plugin, "Path to the plug-in library")->required();
    play->add_option("--input", options.input,
                     "A PNG or JPEG picture, a video (it loops) or a camera such as "
                     "/dev/video0, read through ffmpeg (default: a built-in test picture)");
    play->add_option("--size", options.size,
                     "Output size WIDTHxHEIGHT (default: the input's size, 1280x720 for the "
                     "built-in picture)");
    play->add_option("--preset", options.preset,
                     "Start from a preset file; the panel saves to it (default: PLUGIN's "
                     "name with .json, in the current folder)");
    play->add_option("--set", options.settings,
                     "Set a parameter, NAME=VALUE, over the preset (repeatable)")
        ->allow_extra_args(false);
    play->add_option("--osc-port", options.oscPort,
                     "Take /param/<index> f and /param/<name> f over OSC on this UDP port");
    play->add_option("--osc-host", options.oscHost,
                     "Listen for OSC on this host's addresses instead of the loopback "
                     "interface only (0.0.0.0: every IPv4 interface)");
    play->add_flag("--paused", options.paused, "Start with the clock stopped at 0");
    play->add_option("--quit-after", options.quitAfter,
                     "Quit after showing this many frames of the plug-in (0: never)");
    play->add_flag("-q,--quiet", options.quiet, "No plug-in log lines");
    play->add_option("--call-timeout", options.callTimeout,
                     "Seconds a plug-in call may take before it counts as hung (0: no limit)")
        ->capture_default_str();
    return play;
}

namespace {

std::string DefaultPresetPath(const std::string& plugin) {
    const size_t slash = plugin.find_last_of('/');
    std::string stem = slash == std::string::npos ? plugin : plugin.substr(slash + 1);
    const size_t dot = stem.find('.');
    stem = dot == std::string::npos || dot == 0 ? stem : stem.substr(0, dot);
    return stem + ".json";
}

void PrintAddresses(const PlaySession& session) {
    std::printf("OSC: listening on UDP %s for\n", session.osc->Listening().c_str());
    for (size_t i = 0; i < session.report.parameters.size(); ++i) {
        const ffglhost::ParameterReport& parameter = session.report.parameters[i];
        char range[64];
        std::snprintf(range, sizeof range, "%g..%g", static_cast<double>(parameter.min),
                      static_cast<double>(parameter.max));
        std::printf("  /param/%zu  %s  %s\n", i, OscControl::NameAddress(parameter.name).c_str(),
                    parameter.isText ? "s (text)" : (std::string("f ") + range).c_str());
    }
}

}  // namespace

int RunPlay(const PlayOptions& options) {
    for (const std::string& setting : options.settings) {
        if (setting.find('=') == std::string::npos) {
            throw UsageError("--set needs NAME=VALUE, got \"" + setting + "\"");
        }
    }
    if (!(options.callTimeout >= 0.0 && options.callTimeout <= 1e6)) {
        throw UsageError("--call-timeout needs a number of seconds from 0 (no limit) to 1000000");
    }
    if (options.oscPort < 0 || options.oscPort > 65535) {
        throw UsageError("--osc-port needs a UDP port from 1 to 65535");
    }
    PlaySession session;
    session.quitAfter = ParseCount(options.quitAfter, "--quit-after", 0);
    const std::optional<FrameSize> size =
        options.size.empty() ? std::nullopt
                             : std::optional<FrameSize>(ParseFrameSize(options.size));
    ffglhost::WorkerOptions workerOptions;
    workerOptions.callTimeoutSeconds = options.callTimeout;
    workerOptions.quiet = options.quiet;
    auto client = std::make_unique<ffglhost::WorkerClient>(workerOptions);
    session.report = client->Load(options.plugin);
    session.values = ffglhost::ChooseValues(session.report, options.preset, options.settings);
    session.presetPath =
        options.preset.empty() ? DefaultPresetPath(options.plugin) : options.preset;
    const ffglhost::GlLimits limits = WorkerLimits(*client);
    auto input = std::make_shared<OpenedInput>(OpenInput(options.input, size, limits, false));
    session.width = input->output.width;
    session.height = input->output.height;
    // The first call takes the input opened here; a video that ends is opened again.
    session.openInput = [input, options, size, limits]() {
        if (input->source) {
            return std::move(input->source);
        }
        return OpenInput(options.input, size, limits, false).source;
    };
    session.paused = options.paused;
    session.renderer = MakeWorkerRenderer(std::move(client), session.width, session.height);
    if (options.oscPort != 0) {
        session.osc =
            std::make_unique<OscControl>(options.oscHost, options.oscPort, session.values);
    }
    std::printf("playing %s at %ux%u; the plug-in runs %s\n",
                ffglhost::PrintableText(session.report.name, 60).c_str(), session.width,
                session.height, session.renderer->Where().c_str());
    if (session.osc) {
        PrintAddresses(session);
    }
    std::fflush(stdout);
    return RunPlayWindow(session);
}
