// A frei0r filter that runs an FFGL plug-in. The plug-in never runs inside the video
// tool: each instance drives it in a worker process of its own through the host
// library's worker client, started at the instance's first frame. The module finds its
// plug-in and the worker through the link block in its own file (bridge_link.h).
//
// Copyright the Quellix Shine authors. Licensed under the GNU General Public License,
// version 2 or (at your option) any later version; see LICENSE in this folder.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

extern "C" {
#include <frei0r.h>
}

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "lib/worker/bridge_link.h"
#include "lib/worker/worker_client.h"

using ffglhost::WorkerClient;
using ffglhost::WorkerError;

// The link block; `ffgl-host frei0r` rewrites it in a copy of this file. Not const, so
// the compiler cannot fold its contents into the code that reads it.
extern "C" {
__attribute__((used, visibility("hidden"))) char ffgl_frei0r_link[8192] =
    "FFGL-FREI0R-LINK v1\n"
    "plugin=../ffgl/Quellix.so\n"
    "worker=../../libexec/ffgl-host/ffgl-worker\n";
}
static_assert(sizeof ffgl_frei0r_link == ffglhost::kBridgeLinkBytes, "link block size");

namespace {

// FFGL parameter types that become frei0r booleans: boolean and event.
constexpr uint32_t kFfglBoolean = 0;
constexpr uint32_t kFfglEvent = 1;
constexpr uint32_t kFfglSource = 1;  // plug-in type of a source
constexpr unsigned kMaxSide = 16384;
constexpr int kFirstGapWaitMs = 200;

// What the module knows about its plug-in, read once through a short-lived worker.
struct Description {
    bool ready = false;
    std::string moduleName;  // the file name up to its first dot
    std::string pluginPath;
    std::string workerPath;
    std::string problem;  // why the plug-in cannot be used; empty when it can
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
    return 10.0;
}

int Frei0rType(const ffglhost::ParameterReport& parameter) {
    if (parameter.isText) {
        return F0R_PARAM_STRING;
    }
    return parameter.type == kFfglBoolean || parameter.type == kFfglEvent ? F0R_PARAM_BOOL
                                                                          : F0R_PARAM_DOUBLE;
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
    const ffglhost::BridgeLink link = ffglhost::ParseBridgeLink(ffgl_frei0r_link);
    d.pluginPath = Resolve(link.plugin, Directory(self));
    d.workerPath = Resolve(link.worker, Directory(self));
    d.name = d.moduleName;
    try {
        ffglhost::WorkerOptions options;
        options.workerPath = d.workerPath;
        options.callTimeoutSeconds = WorkerTimeout();
        options.quiet = true;
        WorkerClient client(options);
        d.report = client.Load(d.pluginPath);
        if (d.report.type != FF_EFFECT && d.report.type != kFfglSource) {
            d.problem = "the FFGL plug-in " + d.pluginPath + " is not an effect (type " +
                        std::to_string(d.report.type) + "; frei0r takes effects and sources)";
        } else if (d.report.type == FF_EFFECT && d.report.inputsKnown &&
                   d.report.minimumInputs > 1) {
            d.problem = "the FFGL plug-in " + d.pluginPath + " needs " +
                        std::to_string(d.report.minimumInputs) + " inputs; a frei0r filter has one";
        }
    } catch (const std::exception& error) {
        d.problem = "cannot use the FFGL plug-in " + d.pluginPath + ": " + error.what();
        d.report = ffglhost::PluginReport();
    }
    if (d.problem.empty()) {
        d.name = d.report.name.empty() ? d.moduleName : d.report.name;
        d.explanation =
            d.report.description.empty() ? "FFGL plug-in " + d.report.name : d.report.description;
        for (const ffglhost::ParameterReport& parameter : d.report.parameters) {
            d.parameterTypes.push_back(Frei0rType(parameter));
            char range[96] = "";
            if (!parameter.isText && (parameter.min != 0.0f || parameter.max != 1.0f)) {
                std::snprintf(range, sizeof range, " (%g to %g as 0 to 1)",
                              static_cast<double>(parameter.min),
                              static_cast<double>(parameter.max));
            }
            d.parameterExplanations.push_back(parameter.name + range);
        }
    } else {
        d.explanation = "unavailable: " + d.problem;
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

// The frame duration seen so far in this process, in the unit the tool passes time in:
// the smallest gap between two different times of any updates. Instances on other
// threads see only some of the frames (MLT with real_time=-2), so the gaps between all
// instances' updates are watched together.
std::atomic<double> frameDuration{0.0};
std::atomic<double> lastTimeSeen{-1.0};

void NoteTime(double time, double previous) {
    if (previous < 0.0 || time == previous) {
        return;
    }
    const double gap = std::fabs(time - previous);
    double known = frameDuration.load();
    while ((known == 0.0 || gap < known) && !frameDuration.compare_exchange_weak(known, gap)) {
    }
}

struct Instance {
    unsigned width = 0;
    unsigned height = 0;
    std::unique_ptr<WorkerClient> client;
    std::vector<double> values;  // frei0r's view: 0..1
    std::vector<std::string> texts;
    bool retried = false;      // a new worker was started after a failure
    bool passThrough = false;  // the plug-in failed twice: frames pass unchanged
    bool restartPending = false;
    double lastTime = -1.0;
    uint64_t updates = 0;
    std::vector<uint32_t> blank;  // the input of a source
};

double ToPluginValue(const ffglhost::ParameterReport& parameter, double value) {
    const double clamped = std::isnan(value) ? 0.0 : std::min(std::max(value, 0.0), 1.0);
    if (parameter.type == kFfglBoolean || parameter.type == kFfglEvent) {
        return clamped >= 0.5 ? parameter.max : parameter.min;
    }
    return parameter.min + clamped * (parameter.max - parameter.min);
}

double ToFrei0rValue(const ffglhost::ParameterReport& parameter, double value) {
    const double span = parameter.max - parameter.min;
    const double mapped = span != 0.0 ? (value - parameter.min) / span : 0.0;
    return std::min(std::max(mapped, 0.0), 1.0);
}

void SendValues(Instance& instance) {
    const Description& d = Get();
    for (size_t i = 0; i < d.report.parameters.size(); ++i) {
        const ffglhost::ParameterReport& parameter = d.report.parameters[i];
        if (parameter.isText) {
            instance.client->SetParameterText(parameter.index, instance.texts[i]);
        } else {
            instance.client->SetParameter(
                parameter.index, static_cast<float>(ToPluginValue(parameter, instance.values[i])));
        }
    }
}

void Draw(Instance& instance, double time, const uint32_t* in, uint32_t* out) {
    const Description& d = Get();
    if (!instance.client->Loaded()) {
        instance.client->Load(d.pluginPath);
    }
    SendValues(instance);
    ffglhost::WorkerFrame frame;
    frame.width = instance.width;
    frame.height = instance.height;
    frame.input = reinterpret_cast<const uint8_t*>(in);
    frame.output = reinterpret_cast<uint8_t*>(out);
    double duration = frameDuration.load();
    // A first frame after the clip's start: another thread may be drawing the frame
    // before it (MLT starts its threads together), which tells the frame gap. Wait a
    // moment for it rather than take this frame for the first one.
    for (int waited = 0; duration == 0.0 && time != 0.0 && waited < kFirstGapWaitMs; waited += 2) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        duration = frameDuration.load();
    }
    // Times in milliseconds (ffmpeg) have frame gaps of 1 or more; seconds (MLT,
    // GStreamer) below 1.
    frame.hostSeconds = duration >= 1.0 ? time / 1000.0 : time;
    if (duration > 0.0) {
        frame.frameIndex = std::llround(time / duration);
    } else if (time == 0.0) {
        frame.frameIndex = 0;
    }
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
        static_cast<size_t>(index) >= instance->values.size()) {
        return nullptr;
    }
    *position = static_cast<size_t>(index);
    return instance;
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
    info->author = "FFGL plug-in via ffgl-host";
    info->plugin_type =
        d.report.type == kFfglSource ? F0R_PLUGIN_TYPE_SOURCE : F0R_PLUGIN_TYPE_FILTER;
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
    try {
        const Description& d = Get();
        if (!d.problem.empty()) {
            SayOnce(d.problem);
            return nullptr;
        }
        if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
            SayOnce("a frame of " + std::to_string(width) + "x" + std::to_string(height) +
                    " cannot be drawn (sizes run from 1 to 16384)");
            return nullptr;
        }
        auto instance = std::make_unique<Instance>();
        instance->width = width;
        instance->height = height;
        ffglhost::WorkerOptions options;
        options.workerPath = d.workerPath;
        options.callTimeoutSeconds = WorkerTimeout();
        instance->client = std::make_unique<WorkerClient>(options);
        for (const ffglhost::ParameterReport& parameter : d.report.parameters) {
            instance->values.push_back(ToFrei0rValue(parameter, parameter.defaultValue));
            instance->texts.push_back(parameter.defaultText);
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
    if (Get().report.parameters[position].isText) {
        const char* text = *static_cast<f0r_param_string*>(param);
        instance->texts[position] = text != nullptr ? text : "";
        return;
    }
    const double value = *static_cast<const double*>(param);
    instance->values[position] = std::isnan(value) ? 0.0 : std::min(std::max(value, 0.0), 1.0);
}

void f0r_get_param_value(f0r_instance_t handle, f0r_param_t param, int index) {
    size_t position = 0;
    Instance* instance = ParameterOf(handle, param, index, &position);
    if (instance == nullptr) {
        return;
    }
    if (Get().report.parameters[position].isText) {
        // The text stays valid until the next change of this parameter.
        *static_cast<f0r_param_string*>(param) =
            const_cast<char*>(instance->texts[position].c_str());
        return;
    }
    *static_cast<double*>(param) = instance->values[position];
}

void f0r_update(f0r_instance_t handle, double time, const uint32_t* in, uint32_t* out) {
    auto* instance = static_cast<Instance*>(handle);
    if (instance == nullptr || out == nullptr) {
        return;
    }
    NoteTime(time, instance->lastTime);
    NoteTime(time, lastTimeSeen.exchange(time));
    instance->lastTime = time;
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
        Draw(*instance, time, in, out);
    } catch (const std::exception& error) {
        CopyThrough(*instance, in, out);
        if (!instance->retried) {
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

void f0r_update2(f0r_instance_t handle, double time, const uint32_t* in1, const uint32_t*,
                 const uint32_t*, uint32_t* out) {
    f0r_update(handle, time, in1, out);
}

}  // extern "C"
#pragma GCC visibility pop
