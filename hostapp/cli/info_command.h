// `ffgl-host info PLUGIN`: what a plug-in says about itself, as text or JSON, and its
// thumbnail as a PNG.
#ifndef FFGLHOST_CLI_INFO_COMMAND_H
#define FFGLHOST_CLI_INFO_COMMAND_H

#include <string>

#include <CLI/CLI.hpp>

struct InfoOptions {
    std::string plugin;
    bool json = false;
    std::string thumbnail;  // PNG path, empty for none
};

CLI::App* AddInfoCommand(CLI::App& app, InfoOptions& options);
// Throws HostError on failure.
int RunInfo(const InfoOptions& options);

#endif  // FFGLHOST_CLI_INFO_COMMAND_H
