// `ffgl-host frei0r PLUGIN --out DIR`: writes a frei0r filter module that runs the FFGL
// plug-in (through the worker) into DIR, with the plug-in's description inside it, and
// beside it the editors' files made from that description: kdenlive/frei0r_NAME.xml and
// shotcut/NAME/meta.qml and ui.qml. Prints each path.
// `--into MODULE` (for the build) writes the description into MODULE itself, whose
// paths stay as they are, and the editors' files into --out when given.
#ifndef FFGLHOST_CLI_FREI0R_COMMAND_H
#define FFGLHOST_CLI_FREI0R_COMMAND_H

#include <string>

#include <CLI/CLI.hpp>

#include "lib/plugin/call_monitor.h"

struct Frei0rOptions {
    std::string plugin;
    std::string out;
    std::string into;
    double callTimeout = ffglhost::kDefaultCallTimeoutSeconds;
};

CLI::App* AddFrei0rCommand(CLI::App& app, Frei0rOptions& options);
// Reads the plug-in's description in a worker, writes the module and the editors'
// files; answers the exit status.
// Throws HostError.
int RunFrei0r(const Frei0rOptions& options);

#endif  // FFGLHOST_CLI_FREI0R_COMMAND_H
