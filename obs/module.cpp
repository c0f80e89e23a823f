// ffgl-obs: every FFGL effect found in the FFGL plug-in folders as an OBS video filter.
// The plug-ins never run inside OBS: each filter drives its plug-in in an ffgl-worker
// process, and OBS's start runs a plug-in only when it is new or changed since the last.
#include <dlfcn.h>
#include <unistd.h>

#include <obs-module.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "lib/worker/worker_client.h"
#include "obs/ffgl_filter.h"
#include "obs/plugin_catalog.h"

OBS_DECLARE_MODULE()
OBS_MODULE_USE_DEFAULT_LOCALE("ffgl-obs", "en-US")

namespace {

constexpr double kDescribeTimeout = 5.0;

std::vector<std::unique_ptr<ffglobs::FilterKind>> kinds;

// $FFGL_OBS_TIMEOUT seconds, else the default.
double CallTimeout() {
    const char* text = std::getenv("FFGL_OBS_TIMEOUT");
    if (text != nullptr) {
        char* end = nullptr;
        const double seconds = std::strtod(text, &end);
        if (end != text && *end == '\0' && seconds >= 0 && std::isfinite(seconds)) {
            return seconds;
        }
        blog(LOG_WARNING,
             "[ffgl-obs] FFGL_OBS_TIMEOUT=%s is not a number of seconds; %g s are used", text,
             ffglhost::kDefaultCallTimeoutSeconds);
    }
    return ffglhost::kDefaultCallTimeoutSeconds;
}

// The worker: $FFGL_WORKER (the client reads it when this is empty), beside the module
// (a per-user install), or in libexec of the prefix the module's folder lies three levels
// under (lib/x86_64-linux-gnu/obs-plugins, NAME/bin/64bit).
std::string WorkerPath() {
    const char* fromEnvironment = std::getenv("FFGL_WORKER");
    if (fromEnvironment != nullptr && *fromEnvironment != '\0') {
        return "";
    }
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&WorkerPath), &info) == 0 || info.dli_fname == nullptr) {
        return "";
    }
    const std::string module = info.dli_fname;
    const std::string folder = module.substr(0, module.rfind('/'));
    for (const std::string& candidate :
         {folder + "/ffgl-worker", folder + "/../../../libexec/ffgl-host/ffgl-worker"}) {
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return ffglhost::DefaultWorkerPath();
}

}  // namespace

const char* obs_module_description() {
    return "FFGL video effects as filters, each run in a process of its own";
}

bool obs_module_load() {
    const std::string worker = WorkerPath();
    const double timeout = CallTimeout();
    const ffglobs::ScanResult scan = ffglobs::ScanPlugins(
        ffglobs::PluginFolders(), ffglobs::CachePath(), [&](const std::string& path) {
            ffglhost::WorkerOptions options;
            options.workerPath = worker;
            options.callTimeoutSeconds = std::min(timeout, kDescribeTimeout);
            options.quiet = true;
            ffglhost::WorkerClient client(options);
            return client.Load(path);
        });
    for (const std::string& line : scan.lines) {
        blog(LOG_WARNING, "[ffgl-obs] %s", line.c_str());
    }
    for (const ffglobs::CatalogEntry& entry : scan.filters) {
        kinds.push_back(
            std::make_unique<ffglobs::FilterKind>(ffglobs::FilterKind{entry, worker, timeout}));
        obs_source_info info = ffglobs::FilterSourceInfo(kinds.back().get());
        obs_register_source(&info);
        blog(LOG_INFO, "[ffgl-obs] %s (%s) is the filter %s", entry.report.name.c_str(),
             entry.path.c_str(), entry.kindId.c_str());
    }
    blog(LOG_INFO,
         "[ffgl-obs] %zu FFGL effects offered as filters; %d plug-in files described, "
         "the others known from %s",
         scan.filters.size(), scan.described, ffglobs::CachePath().c_str());
    return true;
}
