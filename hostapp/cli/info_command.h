// `ffgl-host info PLUGIN`: what a plug-in says about itself, as text or JSON, and its
// thumbnail as a PNG.
#ifndef FFGLHOST_CLI_INFO_COMMAND_H
#define FFGLHOST_CLI_INFO_COMMAND_H

#include <string>

#include <CLI/CLI.hpp>

#include "lib/plugin/call_monitor.h"

struct InfoOptions {
    std::string plugin;
    bool json = false;
    std::string thumbnail;  // PNG path, empty for none
    double callTimeout = ffglhost::kDefaultCallTimeoutSeconds;
};

CLI::App* AddInfoCommand(CLI::App& app, InfoOptions& options);
// Checks the options (UsageError), then reads the plug-in in a supervised worker;
// answers the exit status.
int RunInfo(const InfoOptions& options);

#endif  // FFGLHOST_CLI_INFO_COMMAND_H
