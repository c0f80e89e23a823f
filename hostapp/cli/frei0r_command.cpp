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

#include "editor_files.h"
#include "lib/host_error.h"
#include "lib/worker/bridge_link.h"
#include "lib/worker/worker_client.h"

using ffglhost::HostError;

CLI::App* AddFrei0rCommand(CLI::App& app, Frei0rOptions& options) {
    CLI::App* command =
        app.add_subcommand("frei0r", "Write a frei0r filter module that runs a plug-in");
    command->add_option("PLUGIN", options.plugin, "Path to the plug-in library")->required();
    command->add_option("--out", options.out,
                        "Folder to write the module and the editors' files into");
    command->add_option("--into", options.into,
                        "Write the description into this module instead, keeping its paths "
                        "(for the build)");
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

void WriteText(const std::string& path, const std::string& text) {
    WriteModule(path, std::vector<char>(text.begin(), text.end()));
    chmod(path.c_str(), 0644);
}

void MakeFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        throw HostError("cannot make the folder " + path + ": " + std::strerror(errno));
    }
}

// The one link block in a module's bytes: the marker followed by a "plugin=" line (the
// marker alone also lies among the module's constants).
std::vector<char>::iterator LinkBlock(std::vector<char>& module, const std::string& path) {
    const std::string marker = std::string(ffglhost::kBridgeLinkMarker) + "plugin=";
    auto found = std::search(module.begin(), module.end(), marker.begin(), marker.end());
    if (found == module.end() ||
        static_cast<size_t>(module.end() - found) < ffglhost::kBridgeLinkBytes ||
        std::search(found + 1, module.end(), marker.begin(), marker.end()) != module.end()) {
        throw HostError(path +
                        " has no link block to write the plug-in's path into (a frei0r "
                        "bridge of another version?)");
    }
    return found;
}

void WriteEditorFiles(const std::string& out, const ffglhost::PluginReport& report,
                      const std::string& module) {
    MakeFolder(out);
    const std::string folder = RealPath(out);
    MakeFolder(folder + "/kdenlive");
    MakeFolder(folder + "/shotcut");
    MakeFolder(folder + "/shotcut/" + module);
    const std::pair<std::string, std::string> files[] = {
        {folder + "/kdenlive/frei0r_" + module + ".xml", KdenliveEffect(report, module)},
        {folder + "/shotcut/" + module + "/meta.qml", ShotcutMeta(report, module)},
        {folder + "/shotcut/" + module + "/ui.qml", ShotcutUi(report)},
    };
    for (const auto& [path, text] : files) {
        WriteText(path, text);
        std::printf("%s\n", path.c_str());
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
    ffglhost::BridgeLink link;
    link.described = true;
    link.report = report;
    for (ffglhost::ParameterReport& parameter : link.report.parameters) {
        parameter.display.clear();
    }
    const std::string name = ffglhost::Frei0rModuleName(report.name);
    if (!options.into.empty()) {
        std::vector<char> module = ReadFile(options.into);
        const auto found = LinkBlock(module, options.into);
        const ffglhost::BridgeLink paths = ffglhost::ParseBridgeLink(&*found);
        link.plugin = paths.plugin;
        link.worker = paths.worker;
        const std::string block = ffglhost::FormatBridgeLink(link);
        std::copy(block.begin(), block.end(), found);
        WriteModule(options.into, module);
        if (!options.out.empty()) {
            WriteEditorFiles(options.out, report, name);
        }
        return 0;
    }
    if (options.out.empty()) {
        throw HostError("--out is needed: the folder to write the module into");
    }
    std::vector<char> module = ReadFile(BridgeTemplate());
    const auto found = LinkBlock(module, BridgeTemplate());
    struct stat status {};
    if (stat(plugin.c_str(), &status) != 0) {
        throw HostError("cannot read " + plugin + ": " + std::strerror(errno));
    }
    link.plugin = plugin;
    link.worker = RealPath(ffglhost::DefaultWorkerPath());
    link.pluginBytes = static_cast<uint64_t>(status.st_size);
    link.pluginNanoseconds = int64_t{status.st_mtim.tv_sec} * 1000000000 + status.st_mtim.tv_nsec;
    const std::string block = ffglhost::FormatBridgeLink(link);
    std::copy(block.begin(), block.end(), found);

    MakeFolder(options.out);
    const std::string path = RealPath(options.out) + "/" + name + ".so";
    WriteModule(path, module);
    std::printf("%s\n", path.c_str());
    WriteEditorFiles(options.out, report, name);
    return 0;
}
