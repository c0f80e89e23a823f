// ffgl-host: runs FFGL 2.x plug-ins without a host application.
#include <signal.h>

#include <cstdio>

#include <CLI/CLI.hpp>

#include "info_command.h"
#include "interrupt.h"
#include "lib/host_error.h"
#include "render_command.h"

int main(int argc, char** argv) {
    // A helper program that exits early must show up as a failed write, not kill us.
    signal(SIGPIPE, SIG_IGN);

    CLI::App app{"Runs FFGL 2.x plug-ins without a host application.", "ffgl-host"};
    app.require_subcommand(1);
    InfoOptions infoOptions;
    RenderOptions renderOptions;
    CLI::App* info = AddInfoCommand(app, infoOptions);
    CLI::App* render = AddRenderCommand(app, renderOptions);
    CLI11_PARSE(app, argc, argv);

    try {
        if (info->parsed()) {
            return RunInfo(infoOptions);
        }
        if (render->parsed()) {
            InstallInterruptHandler();
            return RunRender(renderOptions);
        }
    } catch (const ffglhost::HostError& error) {
        if (Interrupted()) {
            std::fprintf(stderr, "ffgl-host: interrupted; partial outputs were removed\n");
            return 130;
        }
        std::fprintf(stderr, "ffgl-host: %s\n", error.what());
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ffgl-host: unexpected error: %s\n", error.what());
        return 1;
    }
    return 0;
}
