// `ffgl-host play PLUGIN`: the plug-in live in a window over a picture, a looping video
// or a camera, its parameters on a panel and over OSC, presets saved and loaded.
#ifndef FFGLHOST_CLI_PLAY_PLAY_COMMAND_H
#define FFGLHOST_CLI_PLAY_PLAY_COMMAND_H

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "lib/plugin/call_monitor.h"

struct PlayOptions {
    std::string plugin;
    std::string input;  // empty: the built-in test picture
    std::string size;   // WIDTHxHEIGHT, empty for the input's size
    std::string preset;
    std::vector<std::string> settings;  // NAME=VALUE, over the preset
    int oscPort = 0;                    // 0: no OSC
    std::string oscHost;                // empty: the loopback interface only
    bool paused = false;                // the clock starts stopped at 0
    std::string quitAfter = "0";        // frames of the plug-in shown before quitting; 0: never
    bool quiet = false;
    double callTimeout = ffglhost::kDefaultCallTimeoutSeconds;
};

CLI::App* AddPlayCommand(CLI::App& app, PlayOptions& options);
// Opens the window and plays until it is closed; answers the exit status.
int RunPlay(const PlayOptions& options);

#endif  // FFGLHOST_CLI_PLAY_PLAY_COMMAND_H
