// The client side of the plug-in worker: a front end (the frei0r bridge, ffgl-host's
// window) drives an FFGL plug-in that runs in a process of its own, the executable
// `ffgl-worker`, started with posix_spawn. The worker owns the headless GL context, loads
// the plug-in and draws; requests and answers travel over a socket, frames through
// shared memory (one copy each way). A plug-in that crashes, exits or hangs takes only
// the worker with it; what it prints to standard output reaches standard error as
// "[plugin] ..." lines, never the front end's own standard output.
//
// Nothing starts at construction; the worker starts at the first call that needs it
// (Load). One thread at a time may use a client; any thread may, any thread may
// destroy it, and any thread may Cancel what it does. Pixels cross this interface as RGBA8, top row
// first, rows packed.
#ifndef FFGLHOST_WORKER_CLIENT_H
#define FFGLHOST_WORKER_CLIENT_H

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lib/host_error.h"
#include "lib/io/unique_fd.h"
#include "lib/plugin/call_monitor.h"
#include "lib/plugin/parameter_values.h"
#include "lib/plugin/plugin_report.h"
#include "lib/worker/worker_protocol.h"

namespace ffglhost {

// Why a request failed: the plug-in or the worker, as opposed to the request itself.
enum class WorkerFault {
    kNone,
    kCannotStart,    // the worker executable or the GL context is missing, or speaks
                     // another protocol version
    kRefused,        // the plug-in refused (not a plug-in, not loadable, failed a call)
    kCrashed,        // the worker died of a signal
    kExited,         // the worker (the plug-in) ended the process
    kHung,           // a plug-in call or its drawing outlived the call limit; the worker
                     // was killed
    kBrokeProtocol,  // the worker sent something that is not an answer; it was killed
    kCancelled,      // Cancel() ended the request; the worker was killed
    kBadRequest,     // the request itself is wrong (a frame size of 0 or beyond kMaxFrameSide)
};

// Thrown by every request that fails. what() is one line, for example "the plug-in
// crashed (segmentation fault) in function code 17 (process frame)".
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
    // Seconds one plug-in call, with the drawing it queued, may take before the worker is
    // killed (0: no limit). The client keeps this deadline by its own clock, with a
    // second's grace for the worker to say what outlived it.
    double callTimeoutSeconds = kDefaultCallTimeoutSeconds;
    // The plug-in's log lines and standard output go to standard error with this prefix;
    // `quiet` drops them.
    std::string logPrefix = "[plugin] ";
    bool quiet = false;
    // Where those lines go instead of standard error: a descriptor of the front end's
    // (the worker gets a copy as its standard error), or -1.
    int errorFd = -1;
};

// One frame to draw.
struct WorkerFrame {
    uint32_t width = 0;   // 1 .. kMaxFrameSide
    uint32_t height = 0;  // 1 .. kMaxFrameSide
    // The input, RGBA8; null: the input of the frame before (transparent black at first).
    const uint8_t* input = nullptr;
    uint8_t* output = nullptr;  // width x height RGBA8, written
    double hostSeconds = 0.0;   // sent as the host time (code 20) where supported
    // The frame's step, counted from 0, for plug-ins that keep their own per-frame clock
    // (a frame at t seconds is step round(60 t)): the worker draws the steps in between
    // first (clipped to one pixel), or takes an instance it keeps a little behind to go
    // back, so that step N looks the same however it was reached. -1: the next step
    // after the previous one.
    int64_t frameIndex = -1;
    bool padInput = false;  // the input texture padded to power-of-two sizes
    // The input's size when it differs from the output's (a picture drawn at another
    // size); 0: the output's.
    uint32_t inputWidth = 0;
    uint32_t inputHeight = 0;
};

class WorkerClient {
  public:
    explicit WorkerClient(WorkerOptions options = WorkerOptions());
    // Ends the worker (if any); safe from any thread.
    ~WorkerClient();
    WorkerClient(const WorkerClient&) = delete;
    WorkerClient& operator=(const WorkerClient&) = delete;

    // Starts the worker if needed, loads the FFGL plug-in at `path` and reads what it says
    // about itself (parameters with name, type, range, default and display text; its
    // thumbnail). Throws WorkerError.
    const PluginReport& Load(const std::string& path);
    // What the last Load read; empty before.
    const PluginReport& Report() const { return details_.report; }
    const LoadAnswer& Details() const { return details_; }
    bool Loaded() const { return loaded_; }

    // The GL context's size limits (made now if it was not). Throws WorkerError.
    LimitsAnswer Limits();

    // The values the plug-in gets with the next frame, kept by the client so that they
    // survive a restart; every parameter at its default after Load.
    const ParameterValues& Values() const { return values_; }
    // Takes `values` position by position (see ParameterValues::TakeFrom).
    void SetValues(const ParameterValues& values) { values_.TakeFrom(values); }
    // The display texts of every parameter as the plug-in shows them now (from a live
    // instance, made at this size if there is none), in the order of Report().parameters.
    // Throws WorkerError.
    std::vector<std::string> ParameterDisplays(uint32_t width = 64, uint32_t height = 64);

    // Draws one frame. Throws WorkerError; after a crash, exit, hang or breach of the
    // protocol the worker is gone and the next request starts a new one.
    void Render(const WorkerFrame& frame);
    // The same in two halves, so that the caller's work overlaps the worker's: Submit
    // copies the input and sends the request; Finish writes the output of the oldest
    // frame submitted and not yet finished. At most two frames are unfinished: a third
    // Submit finishes the oldest first. Outputs must stay valid until finished.
    void Submit(const WorkerFrame& frame);
    void Finish();

    // Deletes the plug-in instance now, so that a failure there is reported. Throws
    // WorkerError.
    void Release();

    // Ends the request in flight at once, and every later one, killing the worker: for a
    // front end that stops while a plug-in hangs. Safe from any thread and from a signal
    // handler.
    void Cancel();

    // Ends the worker, if any, and starts a new one with the same plug-in and parameter
    // values. Throws WorkerError.
    void Restart();
    // Ends the worker, if any; the next request starts a new one.
    void Stop();
    bool Running() const;
    pid_t WorkerPid() const;

  private:
    struct Connection;
    struct Pending {
        uint32_t slot = 0;
        uint32_t width = 0;
        uint32_t height = 0;
        size_t slotBytes = 0;
        uint8_t* output = nullptr;
        bool answered = false;
    };
    void EnsureStarted();
    // Sends a request; false when the worker is gone (the wait for the answer says how).
    void Send(MessageType type, const std::vector<uint8_t>& payload);
    // Waits for the answer to the request in flight by the client's own clock; answers
    // what follows its header. Throws WorkerError.
    std::vector<uint8_t> Await();
    template <class Answer, class Request>
    Answer Ask(const Request& request);
    void AwaitRender(Pending& pending);
    [[noreturn]] void LoseWorker(WorkerFault fault, const std::string& message);
    // Kills the worker and says how it ended: a crash, an exit or `otherwise`.
    [[noreturn]] void EndWorker(WorkerFault fault, const std::string& otherwise);
    // The parameter changes not yet sent.
    std::vector<ParameterChange> TakeChanges();
    void CheckCancelled();

    WorkerOptions options_;
    std::unique_ptr<Connection> connection_;
    std::string path_;
    LoadAnswer details_;
    bool loaded_ = false;
    ParameterValues values_;
    ParameterValues sent_;          // what the worker holds
    std::vector<Pending> pending_;  // oldest first
    uint32_t nextSlot_ = 0;
    UniqueFd cancelFd_;
    std::atomic<bool> cancelled_{false};
};

// The worker executable: beside the running program or library that contains this code
// (found with dladdr), then `../libexec/ffgl-host/ffgl-worker` relative to it.
std::string DefaultWorkerPath();

}  // namespace ffglhost

#endif  // FFGLHOST_WORKER_CLIENT_H
