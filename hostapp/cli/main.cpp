// ffgl-host: runs FFGL 2.x plug-ins without a host application.
#include <signal.h>

#include <cstdio>

#include <CLI/CLI.hpp>

#include "cli/play/play_command.h"
#include "frei0r_command.h"
#include "info_command.h"
#include "lib/host_error.h"
#include "lib/plugin/plugin_instance.h"
#include "render_command.h"
#include "staged_run.h"
#include "usage_error.h"

namespace {

// A usage error: one line with the hint, exit status 2.
int ReportUsage(const std::string& message, const CLI::App* command) {
    const std::string help =
        command != nullptr ? "ffgl-host " + command->get_name() + " --help" : "ffgl-host --help";
    PrintError(message + " (see " + help + ")");
    return 2;
}

const CLI::App* ChosenCommand(const CLI::App& app) {
    const auto chosen = app.get_subcommands();
    return chosen.empty() ? nullptr : chosen.front();
}

}  // namespace

int main(int argc, char** argv) {
    // A helper program that exits early must show up as a failed write, not kill us.
    signal(SIGPIPE, SIG_IGN);

    CLI::App app{"Runs FFGL 2.x plug-ins without a host application.", "ffgl-host"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("ffgl-host ") + ffglhost::kHostVersion);
    InfoOptions infoOptions;
    RenderOptions renderOptions;
    Frei0rOptions frei0rOptions;
    CLI::App* info = AddInfoCommand(app, infoOptions);
    CLI::App* render = AddRenderCommand(app, renderOptions);
    CLI::App* frei0r = AddFrei0rCommand(app, frei0rOptions);
    PlayOptions playOptions;
    CLI::App* play = AddPlayCommand(app, playOptions);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) {
            return app.exit(error);  // --help, --version
        }
        const std::string first = argc > 1 ? argv[1] : "";
        if (!first.empty() && first[0] != '-' && first != "info" && first != "render" &&
            first != "frei0r" && first != "play") {
            return ReportUsage(
                "unknown command \"" + first + "\"; the commands are info, render, frei0r and play",
                nullptr);
        }
        return ReportUsage(error.what(), ChosenCommand(app));
    }

    try {
        if (frei0r->parsed()) {
            return RunFrei0r(frei0rOptions);
        }
        if (play->parsed()) {
            return RunPlay(playOptions);
        }
        return info->parsed() ? RunInfo(infoOptions) : RunRender(renderOptions);
    } catch (const UsageError& error) {
        return ReportUsage(error.what(),
                           ChosenCommand(app) != nullptr ? ChosenCommand(app) : render);
    } catch (const ffglhost::HostError& error) {
        PrintError(error.what());
        return 1;
    } catch (const std::exception& error) {
        PrintError(std::string("unexpected error: ") + error.what());
        return 1;
    }
}
