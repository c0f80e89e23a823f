// The client side of the plug-in worker: a front end (the frei0r bridge, ffgl-host's
// window) drives an FFGL plug-in that runs in a process of its own, the executable
// `ffgl-worker`, started with posix_spawn. The worker owns the headless GL context, loads
// the plug-in and draws; requests and answers travel over a socket, frames through
// shared memory (one copy each way). A plug-in that crashes, exits or hangs takes only
// the worker with it; what it prints to standard output reaches standard error as
// "[plugin] ..." lines, never the front end's own standard output.
//
// Nothing starts at construction; the worker starts at the first call that needs it
// (Load). One thread at a time may use a client; any thread may, and any thread may
// destroy it. Pixels cross this interface as RGBA8, top row first, rows packed.
#ifndef FFGLHOST_WORKER_CLIENT_H
#define FFGLHOST_WORKER_CLIENT_H

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lib/host_error.h"
#include "lib/plugin/plugin_report.h"

namespace ffglhost {

// Why a request failed: the plug-in or the worker, as opposed to the request itself.
enum class WorkerFault {
    kNone,
    kCannotStart,  // the worker executable or the GL context is missing
    kRefused,      // the plug-in refused (not a plug-in, not loadable, failed a call)
    kCrashed,      // the worker died of a signal
    kExited,       // the worker (the plug-in) ended the process
    kHung,         // a plug-in call outlived the call timeout; the worker was killed
    kBadRequest,   // the request itself is wrong (a frame size of 0 or beyond 16384)
};

// Thrown by every request that fails. what() is one line, for example "the plug-in
// crashed (segmentation fault) in function code 17 (processing a frame)".
class WorkerError : public HostError {
  public:
    WorkerError(WorkerFault fault, const std::string& message)
        : HostError(message), fault_(fault) {}
    WorkerFault Fault() const { return fault_; }

  private:
    WorkerFault fault_;
};

struct WorkerOptions {
    // The worker executable; empty: $FFGL_WORKER, else DefaultWorkerPath().
    std::string workerPath;
    // Seconds one plug-in call may take before the worker is killed (0: no limit).
    double callTimeoutSeconds = 10.0;
    // The plug-in's log lines and standard output go to standard error with this prefix;
    // `quiet` drops them.
    std::string logPrefix = "[plugin] ";
    bool quiet = false;
};

// One frame to draw.
struct WorkerFrame {
    uint32_t width = 0;              // 1 .. 16384
    uint32_t height = 0;             // 1 .. 16384
    const uint8_t* input = nullptr;  // width x height RGBA8; null: a transparent black input
    uint8_t* output = nullptr;       // width x height RGBA8, written
    double hostSeconds = 0.0;        // sent as the host time (code 20) where supported
    // The frame's step, counted from 0, for plug-ins that keep their own per-frame clock
    // (a frame at t seconds is step round(60 t)): the worker draws the steps in between
    // first (clipped to one pixel), or takes an instance it keeps a little behind to go
    // back, so that step N looks the same however it was reached. -1: the next step
    // after the previous one.
    int64_t frameIndex = -1;
};

class WorkerClient {
  public:
    explicit WorkerClient(WorkerOptions options = WorkerOptions());
    // Ends the worker (if any); safe from any thread.
    ~WorkerClient();
    WorkerClient(const WorkerClient&) = delete;
    WorkerClient& operator=(const WorkerClient&) = delete;

    // Starts the worker if needed, loads the FFGL plug-in at `path` and reads what it says
    // about itself (parameters with name, type, range, default and display text). Throws
    // WorkerError.
    const PluginReport& Load(const std::string& path);
    // What the last Load read; empty before.
    const PluginReport& Report() const { return report_; }
    bool Loaded() const { return loaded_; }

    // Parameter values, by the parameter's index (as the plug-in declared it). Values are
    // kept by the client and sent before the next frame, so they survive a restart. A
    // float is clamped into the parameter's range.
    void SetParameter(uint32_t index, float value);
    void SetParameterText(uint32_t index, const std::string& text);
    // The display texts of every parameter as the plug-in shows them now (from a live
    // instance), in the order of Report().parameters. Throws WorkerError.
    std::vector<std::string> ParameterDisplays();

    // Draws one frame. Throws WorkerError; after a crash, exit or hang the worker is gone
    // and the next request starts a new one (Restart does that now).
    void Render(const WorkerFrame& frame);

    // Ends the worker, if any, and starts a new one with the same plug-in and parameter
    // values. Throws WorkerError.
    void Restart();
    // Ends the worker, if any; the next request starts a new one.
    void Stop();
    bool Running() const;
    pid_t WorkerPid() const;

  private:
    struct Connection;
    void EnsureStarted();
    // Sends a request and waits for its answer, watching the plug-in call in flight;
    // answers what follows status and message. Throws WorkerError.
    std::vector<uint8_t> Exchange(uint32_t type, const std::vector<uint8_t>& payload);
    [[noreturn]] void LoseWorker(WorkerFault fault, const std::string& message);
    // The parameter changes not yet sent, as a payload part.
    void WriteDirty(std::vector<uint8_t>& payload);

    WorkerOptions options_;
    std::unique_ptr<Connection> connection_;
    std::string path_;
    PluginReport report_;
    bool loaded_ = false;
    std::vector<float> values_;
    std::vector<std::string> texts_;
    std::vector<bool> dirty_;
};

// The worker executable: beside the running program or library that contains this code
// (found with dladdr), then `../libexec/ffgl-host/ffgl-worker` relative to it.
std::string DefaultWorkerPath();

}  // namespace ffglhost

#endif  // FFGLHOST_WORKER_CLIENT_H
