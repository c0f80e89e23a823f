#include "frei0r_command.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "lib/host_error.h"
#include "lib/worker/bridge_link.h"
#include "lib/worker/worker_client.h"

using ffglhost::HostError;

CLI::App* AddFrei0rCommand(CLI::App& app, Frei0rOptions& options) {
    CLI::App* command =
        app.add_subcommand("frei0r", "Write a frei0r filter module that runs a plug-in");
    command->add_option("PLUGIN", options.plugin, "Path to the plug-in library")->required();
    command->add_option("--out", options.out, "Folder to write the module into")->required();
    command
        ->add_option("--call-timeout", options.callTimeout,
                     "Seconds any one plug-in call may take before it is stopped (0: no limit)")
        ->capture_default_str();
    return command;
}

namespace {

std::string RealPath(const std::string& path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr) {
        throw HostError("cannot find " + path + ": " + std::strerror(errno));
    }
    return resolved;
}

std::string ProgramDirectory() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    const std::string self = length > 0 ? std::string(buffer, static_cast<size_t>(length)) : ".";
    return self.substr(0, self.rfind('/'));
}

// The bridge the module is made from: the installed one, or the build tree's.
std::string BridgeTemplate() {
    const std::string dir = ProgramDirectory();
    for (const std::string& candidate :
         {dir + "/../lib/frei0r-1/quellix_shine.so", dir + "/../frei0r/quellix_shine.so"}) {
        if (access(candidate.c_str(), R_OK) == 0) {
            return candidate;
        }
    }
    throw HostError("cannot find the frei0r bridge (lib/frei0r-1/quellix_shine.so beside " + dir +
                    "/..); build the frei0r target or install ffgl-host");
}

std::vector<char> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw HostError("cannot read " + path);
    }
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes `bytes` to `path` through a hidden name beside it, so a tool never loads half a
// module.
void WriteModule(const std::string& path, const std::vector<char>& bytes) {
    const std::string staged = path.substr(0, path.rfind('/') + 1) + ".ffgl-host-" +
                               std::to_string(getpid()) + "-" + path.substr(path.rfind('/') + 1);
    std::FILE* file = std::fopen(staged.c_str(), "wb");
    bool written =
        file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = file != nullptr && std::fclose(file) == 0 && written;
    if (!written || chmod(staged.c_str(), 0755) != 0 || rename(staged.c_str(), path.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        unlink(staged.c_str());
        throw HostError("cannot write " + path + ": " + reason);
    }
}

}  // namespace

int RunFrei0r(const Frei0rOptions& options) {
    const std::string plugin = RealPath(options.plugin);
    ffglhost::WorkerOptions workerOptions;
    workerOptions.callTimeoutSeconds = options.callTimeout;
    workerOptions.quiet = true;
    ffglhost::WorkerClient client(workerOptions);
    const ffglhost::PluginReport& report = client.Load(plugin);
    client.Stop();
    if (report.type != FF_EFFECT && report.type != FF_SOURCE) {
        throw HostError(plugin + " is not an effect (type " + std::to_string(report.type) +
                        "); frei0r modules are made for effects and sources");
    }
    if (report.type == FF_EFFECT && report.inputsKnown && report.minimumInputs > 1) {
        throw HostError(plugin + " needs " + std::to_string(report.minimumInputs) +
                        " inputs; a frei0r filter has one");
    }
    std::vector<char> module = ReadFile(BridgeTemplate());
    // The block is the marker followed by a "plugin=" line (the marker alone also lies
    // among the module's constants).
    const std::string marker = std::string(ffglhost::kBridgeLinkMarker) + "plugin=";
    auto found = std::search(module.begin(), module.end(), marker.begin(), marker.end());
    if (found == module.end() ||
        static_cast<size_t>(module.end() - found) < ffglhost::kBridgeLinkBytes ||
        std::search(found + 1, module.end(), marker.begin(), marker.end()) != module.end()) {
        throw HostError("the frei0r bridge has no link block to write the plug-in's path into");
    }
    ffglhost::BridgeLink link;
    link.plugin = plugin;
    link.worker = RealPath(ffglhost::DefaultWorkerPath());
    const std::string block = ffglhost::FormatBridgeLink(link);
    std::copy(block.begin(), block.end(), found);

    if (mkdir(options.out.c_str(), 0755) != 0 && errno != EEXIST) {
        throw HostError("cannot make the folder " + options.out + ": " + std::strerror(errno));
    }
    const std::string path =
        RealPath(options.out) + "/" + ffglhost::Frei0rModuleName(report.name) + ".so";
    WriteModule(path, module);
    std::printf("%s\n", path.c_str());
    return 0;
}
