// Crash isolation. A command runs its plug-in work in a worker process forked before
// any EGL call; this process, the supervisor, owns the signals, the outputs and the
// clean-up:
//   - the worker publishes the plug-in call in flight in a shared page; a crash, an
//     exit or a call that outlives the call timeout is reported on one line naming it;
//   - the first SIGINT, SIGTERM or SIGHUP is passed on to the worker, which stops at the
//     next frame; a second one, or a worker still running after a grace period, ends
//     the worker's whole process group (ffmpeg included);
//   - the outputs are staged; they are moved into place only when the worker succeeded,
//     and removed by the supervisor itself otherwise.
#ifndef FFGLHOST_CLI_SUPERVISOR_H
#define FFGLHOST_CLI_SUPERVISOR_H

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "lib/io/staged_outputs.h"
#include "lib/plugin/call_monitor.h"

// Memory shared between supervisor and worker.
struct WorkerPage {
    ffglhost::CallRecord call;
    std::atomic<int> finished{0};  // the worker returned from its work, with `status`
    std::atomic<int> status{0};
    uint64_t framesWritten = 0;
    char summary[8192] = {};  // printed by the supervisor after the outputs are in place

    void SetSummary(const std::string& text);
};

struct Supervision {
    double callTimeoutSeconds = 10.0;  // 0: no limit
    // Runs in the worker; answers the exit status, throws HostError on failure.
    std::function<int(WorkerPage&)> work;
    // Runs in the supervisor once the outputs are in place.
    std::function<void(const WorkerPage&)> afterCommit;
};

// Prepares the outputs, runs the work in a worker and answers the exit status: 0, 1 for
// a failure (reported), 128 + the signal number for an interruption.
int Supervise(ffglhost::StagedOutputs& outputs, const Supervision& supervision);

// Where a command's own output goes: in the worker, the real standard output (the
// plug-in's standard output becomes "[plugin] ..." lines on standard error there).
std::FILE* HostOutput();

// Prints "ffgl-host: MESSAGE" on one line, with control characters made visible.
void PrintError(const std::string& message);

#endif  // FFGLHOST_CLI_SUPERVISOR_H
