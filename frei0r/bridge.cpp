// A frei0r filter that runs an FFGL plug-in. The plug-in never runs inside the video
// tool: each instance drives it in a worker process of its own through the host
// library's worker client, started at the instance's first frame. The module finds its
// plug-in, the worker and the plug-in's description in the link block in its own file
// (bridge_link.h), so a tool listing its filters starts no process. An instance whose
// plug-in cannot be used copies its input to its output.
//
// Copyright the Quellix Shine authors. Licensed under the GNU General Public License,
// version 2 or (at your option) any later version; see LICENSE in this folder.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

extern "C" {
#include <frei0r.h>
}

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "lib/plugin/parameter_values.h"
#include "lib/worker/bridge_link.h"
#include "lib/worker/worker_client.h"

using ffglhost::WorkerClient;
using ffglhost::WorkerError;

// The link block; the build writes the plug-in's description into it and `ffgl-host
// frei0r` rewrites it in a copy of this file. Not const, so the compiler cannot fold its
// contents into the code that reads it.
extern "C" {
__attribute__((used, visibility("hidden"))) char ffgl_frei0r_link[65536] =
    "FFGL-FREI0R-LINK v2\n"
    "plugin=../ffgl/Quellix.so\n"
    "worker=../../libexec/ffgl-host/ffgl-worker\n";
}
static_assert(sizeof ffgl_frei0r_link == ffglhost::kBridgeLinkBytes, "link block size");

namespace {

// What the module knows about its plug-in: read from the link block, or (a module
// without a description) once through a short-lived worker.
struct Description {
    bool ready = false;
    std::string moduleName;  // the file name up to its first dot
    std::string pluginPath;
    std::string workerPath;
    std::string problem;  // why the plug-in cannot be used; empty when it can
    ffglhost::BridgeLink link;
    ffglhost::PluginReport report;
    std::string name;
    std::string explanation;
    std::vector<std::string> parameterExplanations;
    std::vector<int> parameterTypes;
};

std::mutex descriptionMutex;
Description description;

std::mutex messageMutex;
std::set<std::string> messagesShown;

void Say(const std::string& line) {
    std::fprintf(stderr, "%s: %s\n", description.moduleName.c_str(), line.c_str());
    std::fflush(stderr);
}

// Says a line once per process: a tool may construct many instances that all fail alike.
void SayOnce(const std::string& line) {
    std::lock_guard<std::mutex> lock(messageMutex);
    if (messagesShown.insert(line).second) {
        Say(line);
    }
}

std::string Directory(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string Resolve(const std::string& path, const std::string& base) {
    if (path.empty() || path[0] == '/') {
        return path;
    }
    const std::string joined = base + "/" + path;
    char resolved[PATH_MAX];
    return realpath(joined.c_str(), resolved) != nullptr ? std::string(resolved) : joined;
}

double WorkerTimeout() {
    const char* text = std::getenv("FFGL_BRIDGE_TIMEOUT");
    if (text != nullptr) {
        char* end = nullptr;
        const double seconds = std::strtod(text, &end);
        if (end != text && seconds >= 0 && std::isfinite(seconds)) {
            return seconds;
        }
    }
    return ffglhost::kDefaultCallTimeoutSeconds;
}

int Frei0rType(const ffglhost::ParameterReport& parameter) {
    if (parameter.isText) {
        return F0R_PARAM_STRING;
    }
    return ffglhost::IsSwitch(parameter) ? F0R_PARAM_BOOL : F0R_PARAM_DOUBLE;
}

// Why a plug-in so described cannot run as a frei0r filter; empty when it can.
std::string Unusable(const std::string& path, const ffglhost::PluginReport& report) {
    if (report.type != FF_EFFECT && report.type != FF_SOURCE) {
        return "the FFGL plug-in " + path + " is not an effect (type " +
               std::to_string(report.type) + "; frei0r takes effects and sources)";
    }
    if (report.type == FF_EFFECT && report.inputsKnown && report.minimumInputs > 1) {
        return "the FFGL plug-in " + path + " needs " + std::to_string(report.minimumInputs) +
               " inputs; a frei0r filter has one";
    }
    return "";
}

// Reads the plug-in's description through a worker: for a module whose link block
// carries none.
void DescribeThroughWorker(Description& d) {
    try {
        ffglhost::WorkerOptions options;
        options.workerPath = d.workerPath;
        options.callTimeoutSeconds = WorkerTimeout();
        options.quiet = true;
        WorkerClient client(options);
        d.report = client.Load(d.pluginPath);
    } catch (const std::exception& error) {
        d.problem = "cannot use the FFGL plug-in " + d.pluginPath + ": " + error.what();
        d.report = ffglhost::PluginReport();
    }
}

void Describe(Description& d) {
    Dl_info info{};
    std::string self = "ffgl_bridge.so";
    if (dladdr(reinterpret_cast<void*>(&Describe), &info) != 0 && info.dli_fname != nullptr) {
        char resolved[PATH_MAX];
        self = realpath(info.dli_fname, resolved) != nullptr ? resolved : info.dli_fname;
    }
    const std::string file = self.substr(self.rfind('/') + 1);
    d.moduleName = file.substr(0, file.find('.'));
    d.link = ffglhost::ParseBridgeLink(ffgl_frei0r_link);
    d.pluginPath = Resolve(d.link.plugin, Directory(self));
    d.workerPath = Resolve(d.link.worker, Directory(self));
    d.name = d.moduleName;
    if (d.link.described) {
        // Known without running anything; whether the file is still there is all that is
        // checked now, the rest at the first frame.
        d.report = d.link.report;
        struct stat status {};
        if (stat(d.pluginPath.c_str(), &status) != 0) {
            d.problem = "cannot use the FFGL plug-in " + d.pluginPath + ": " +
                        std::strerror(errno) + " (moved or removed?)";
        }
    } else {
        DescribeThroughWorker(d);
    }
    if (d.problem.empty()) {
        d.problem = Unusable(d.pluginPath, d.report);
    }
    // A described plug-in keeps its name and parameters even when it cannot be used, so
    // that a project holding the filter opens with its values.
    if (!d.report.name.empty()) {
        d.name = d.report.name;
    }
    d.explanation = d.report.description.empty() ? "FFGL plug-in " + d.name : d.report.description;
    if (d.report.parameters.empty() && !d.problem.empty()) {
        d.explanation = "unavailable: " + d.problem;
    }
    const ffglhost::ParameterValues described(d.report.parameters);
    for (size_t i = 0; i < described.Size(); ++i) {
        const ffglhost::ParameterReport& parameter = described.Parameter(i);
        d.parameterTypes.push_back(Frei0rType(parameter));
        const bool mapped = !parameter.isText && (parameter.min != 0.0f || parameter.max != 1.0f);
        d.parameterExplanations.push_back(
            parameter.name + (mapped ? " (" + described.RangeText(i) + ", as 0 to 1)" : ""));
    }
    d.ready = true;
}

const Description& Get() {
    std::lock_guard<std::mutex> lock(descriptionMutex);
    if (!description.ready) {
        Describe(description);
    }
    return description;
}

// The unit of the times the calling tool passes, in seconds: ffmpeg's frei0r filter
// (in libavfilter) passes milliseconds, MLT and GStreamer seconds. Told by the shared
// object the call comes from, once per process.
double SecondsPerTimeUnit(const void* caller) {
    static const double unit = [caller] {
        Dl_info info{};
        if (dladdr(caller, &info) != 0 && info.dli_fname != nullptr) {
            const char* slash = std::strrchr(info.dli_fname, '/');
            const char* base = slash != nullptr ? slash + 1 : info.dli_fname;
            if (std::strncmp(base, "libavfilter", 11) == 0) {
                return 0.001;
            }
        }
        return 1.0;
    }();
    return unit;
}

struct Instance {
    unsigned width = 0;
    unsigned height = 0;
    std::unique_ptr<WorkerClient> client;
    // As the module describes the plug-in; the worker's client takes them by position
    // onto the plug-in as it is now.
    ffglhost::ParameterValues values;
    bool retried = false;      // a new worker was started after a failure
    bool passThrough = false;  // the plug-in cannot be used: frames pass unchanged
    bool restartPending = false;
    uint64_t updates = 0;
};

std::string FileTime(int64_t nanoseconds) {
    const time_t seconds = static_cast<time_t>(nanoseconds / 1000000000);
    struct tm utc {};
    char text[40] = "?";
    if (gmtime_r(&seconds, &utc) != nullptr) {
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
    }
    return text;
}

// After the first load in this process: says once what changed in the plug-in since
// the module was written. Throws when the plug-in is no longer one a filter can run.
void CheckChanged(const ffglhost::PluginReport& live) {
    const Description& d = Get();
    const std::string problem = Unusable(d.pluginPath, live);
    if (!problem.empty()) {
        throw ffglhost::WorkerError(ffglhost::WorkerFault::kRefused, problem);
    }
    std::string file;
    struct stat status {};
    if (d.link.pluginBytes != 0 && stat(d.pluginPath.c_str(), &status) == 0) {
        const int64_t nanoseconds =
            int64_t{status.st_mtim.tv_sec} * 1000000000 + status.st_mtim.tv_nsec;
        if (static_cast<uint64_t>(status.st_size) != d.link.pluginBytes) {
            file += "size " + std::to_string(d.link.pluginBytes) + " bytes, now " +
                    std::to_string(status.st_size);
        }
        if (nanoseconds != d.link.pluginNanoseconds) {
            file += (file.empty() ? "" : "; ") + std::string("modified ") +
                    FileTime(d.link.pluginNanoseconds) + ", now " + FileTime(nanoseconds);
        }
    }
    const std::string changes = ffglhost::DescribeChanges(d.report, live);
    if (file.empty() && changes.empty()) {
        return;
    }
    SayOnce("the FFGL plug-in " + d.pluginPath + " has changed since this module was written" +
            (file.empty() ? "" : " (" + file + ")") + ": " +
            (changes.empty() ? "its description is the same"
                             : "described again, " + changes +
                                   "; values go to its parameters by position; run "
                                   "`ffgl-host frei0r` again so that the tools see them"));
}

void Draw(Instance& instance, double seconds, const uint32_t* in, uint32_t* out) {
    const Description& d = Get();
    if (!instance.client->Loaded()) {
        CheckChanged(instance.client->Load(d.pluginPath));
    }
    instance.client->SetValues(instance.values);
    ffglhost::WorkerFrame frame;
    frame.width = instance.width;
    frame.height = instance.height;
    frame.input = reinterpret_cast<const uint8_t*>(in);
    frame.output = reinterpret_cast<uint8_t*>(out);
    frame.hostSeconds = seconds;
    frame.frameIndex = ffglhost::StepAt(std::max(seconds, 0.0));
    instance.client->Render(frame);
}

void CopyThrough(const Instance& instance, const uint32_t* in, uint32_t* out) {
    const size_t pixels = size_t{instance.width} * instance.height;
    if (in != nullptr) {
        std::memmove(out, in, pixels * 4);
    } else {
        std::memset(out, 0, pixels * 4);
    }
}

// The instance behind `handle` when `param` and `index` name one of its parameters, with
// the index as a position in *position; null otherwise.
Instance* ParameterOf(f0r_instance_t handle, f0r_param_t param, int index, size_t* position) {
    auto* instance = static_cast<Instance*>(handle);
    if (instance == nullptr || param == nullptr || index < 0 ||
        static_cast<size_t>(index) >= instance->values.Size()) {
        return nullptr;
    }
    *position = static_cast<size_t>(index);
    return instance;
}

void Update(f0r_instance_t handle, double time, const uint32_t* in, uint32_t* out,
            const void* caller) {
    auto* instance = static_cast<Instance*>(handle);
    if (instance == nullptr || out == nullptr) {
        return;
    }
    const double seconds = std::isfinite(time) ? time * SecondsPerTimeUnit(caller) : 0.0;
    const uint64_t number = instance->updates++;
    if (instance->passThrough) {
        CopyThrough(*instance, in, out);
        return;
    }
    try {
        if (instance->restartPending) {
            instance->restartPending = false;
            instance->client->Stop();
        }
        Draw(*instance, seconds, in, out);
    } catch (const std::exception& error) {
        CopyThrough(*instance, in, out);
        const auto* failure = dynamic_cast<const WorkerError*>(&error);
        const bool lasting =
            failure != nullptr && (failure->Fault() == ffglhost::WorkerFault::kCannotStart ||
                                   failure->Fault() == ffglhost::WorkerFault::kRefused);
        if (lasting) {
            // No worker, no GL, or a plug-in that will not load: another worker would
            // fail alike.
            instance->passThrough = true;
            SayOnce(std::string(error.what()) + "; frames pass through unchanged");
        } else if (!instance->retried) {
            instance->retried = true;
            instance->restartPending = true;
            Say(std::string(error.what()) + "; frame " + std::to_string(number) +
                " passes through unchanged and a new worker starts for the next");
        } else {
            instance->passThrough = true;
            Say(std::string(error.what()) + "; frames pass through unchanged from frame " +
                std::to_string(number) + " on");
        }
    }
}

}  // namespace

// The frei0r entry points, the only symbols the module exports (exports.map).
#pragma GCC visibility push(default)
extern "C" {

int f0r_init() {
    Get();
    return 1;
}

void f0r_deinit() {
    // The description stays: tools call f0r_init again without f0r_deinit, and
    // others ask for the plug-in's information after f0r_deinit.
}

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    const Description& d = Get();
    info->name = d.name.c_str();
    info->author = d.report.about.empty() ? "FFGL plug-in via ffgl-host" : d.report.about.c_str();
    info->plugin_type =
        d.report.type == FF_SOURCE ? F0R_PLUGIN_TYPE_SOURCE : F0R_PLUGIN_TYPE_FILTER;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = static_cast<int>(d.report.versionMajor);
    info->minor_version = static_cast<int>(d.report.versionMinor);
    info->num_params = static_cast<int>(d.report.parameters.size());
    info->explanation = d.explanation.c_str();
}

void f0r_get_param_info(f0r_param_info_t* info, int index) {
    const Description& d = Get();
    if (index < 0 || static_cast<size_t>(index) >= d.report.parameters.size()) {
        info->name = "";
        info->type = F0R_PARAM_DOUBLE;
        info->explanation = "";
        return;
    }
    const auto position = static_cast<size_t>(index);
    info->name = d.report.parameters[position].name.c_str();
    info->type = d.parameterTypes[position];
    info->explanation = d.parameterExplanations[position].c_str();
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    // Always an instance: tools go on calling f0r_update, and one that cannot draw
    // passes its frames through.
    try {
        const Description& d = Get();
        auto instance = std::make_unique<Instance>();
        instance->width = width;
        instance->height = height;
        instance->values = ffglhost::ParameterValues(d.report.parameters);
        if (!d.problem.empty()) {
            instance->passThrough = true;
            SayOnce(d.problem + "; frames pass through unchanged");
        } else if (width < 1 || height < 1 || width > ffglhost::kMaxFrameSide ||
                   height > ffglhost::kMaxFrameSide) {
            instance->passThrough = true;
            SayOnce("a frame of " + std::to_string(width) + "x" + std::to_string(height) +
                    " cannot be drawn (sizes run from 1 to " +
                    std::to_string(ffglhost::kMaxFrameSide) + "); frames pass through unchanged");
        } else {
            ffglhost::WorkerOptions options;
            options.workerPath = d.workerPath;
            options.callTimeoutSeconds = WorkerTimeout();
            instance->client = std::make_unique<WorkerClient>(options);
        }
        return instance.release();
    } catch (const std::exception& error) {
        SayOnce(std::string("cannot make an instance: ") + error.what());
        return nullptr;
    }
}

void f0r_destruct(f0r_instance_t handle) {
    delete static_cast<Instance*>(handle);
}

void f0r_set_param_value(f0r_instance_t handle, f0r_param_t param, int index) {
    size_t position = 0;
    Instance* instance = ParameterOf(handle, param, index, &position);
    if (instance == nullptr) {
        return;
    }
    if (instance->values.Parameter(position).isText) {
        const char* text = *static_cast<f0r_param_string*>(param);
        instance->values.SetText(position, text != nullptr ? text : "");
    } else {
        instance->values.SetSlider(position, *static_cast<const double*>(param));
    }
}

void f0r_get_param_value(f0r_instance_t handle, f0r_param_t param, int index) {
    size_t position = 0;
    Instance* instance = ParameterOf(handle, param, index, &position);
    if (instance == nullptr) {
        return;
    }
    if (instance->values.Parameter(position).isText) {
        // The text stays valid until the next change of this parameter.
        *static_cast<f0r_param_string*>(param) =
            const_cast<char*>(instance->values.Text(position).c_str());
    } else {
        *static_cast<double*>(param) = instance->values.Slider(position);
    }
}

void f0r_update(f0r_instance_t handle, double time, const uint32_t* in, uint32_t* out) {
    Update(handle, time, in, out, __builtin_return_address(0));
}

void f0r_update2(f0r_instance_t handle, double time, const uint32_t* in1, const uint32_t*,
                 const uint32_t*, uint32_t* out) {
    Update(handle, time, in1, out, __builtin_return_address(0));
}

}  // extern "C"
#pragma GCC visibility pop
