// `ffgl-host frei0r PLUGIN --out DIR`: writes a frei0r filter module that runs the FFGL
// plug-in (through the worker) into DIR and prints its path.
#ifndef FFGLHOST_CLI_FREI0R_COMMAND_H
#define FFGLHOST_CLI_FREI0R_COMMAND_H

#include <string>

#include <CLI/CLI.hpp>

#include "lib/plugin/call_monitor.h"

struct Frei0rOptions {
    std::string plugin;
    std::string out;
    double callTimeout = ffglhost::kDefaultCallTimeoutSeconds;
};

CLI::App* AddFrei0rCommand(CLI::App& app, Frei0rOptions& options);
// Reads the plug-in's name in a worker, writes the module; answers the exit status.
// Throws HostError.
int RunFrei0r(const Frei0rOptions& options);

#endif  // FFGLHOST_CLI_FREI0R_COMMAND_H
