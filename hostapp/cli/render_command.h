// `ffgl-host render PLUGIN`: runs the plug-in over a picture or a video for a number of
// frames and writes the result as PNGs, a video and/or a contact sheet.
#ifndef FFGLHOST_CLI_RENDER_COMMAND_H
#define FFGLHOST_CLI_RENDER_COMMAND_H

#include <cstdint>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "lib/plugin/call_monitor.h"

struct RenderOptions {
    std::string plugin;
    std::string frames = "120";  // checked by ParseCount
    std::string input;           // empty: the built-in test picture
    std::string out;
    std::string sheet;
    std::string preset;                 // a preset file; the settings override it
    std::vector<std::string> settings;  // NAME=VALUE
    std::string size;                   // WIDTHxHEIGHT, empty for the input's size
    double fps = 0.0;                   // when not given: the input video's rate, else 60
    bool fpsGiven = false;
    std::string start = "0";
    bool pad = false;
    bool quiet = false;
    bool noAudio = false;  // a video output leaves the input's sound out
    double callTimeout = ffglhost::kDefaultCallTimeoutSeconds;  // 0: no limit
};

CLI::App* AddRenderCommand(CLI::App& app, RenderOptions& options);
// Checks the options (UsageError) and the tools (HostError), then renders in a supervised
// worker; answers the exit status.
int RunRender(const RenderOptions& options);

#endif  // FFGLHOST_CLI_RENDER_COMMAND_H
