// How `info` and `render` run: their plug-in works in the worker (lib/worker), and this
// process keeps what is the host's: the signals, the outputs, the helper programs and
// the exit status. Outputs are staged; they are moved into place only when the work
// succeeded and no stop was requested, and removed otherwise.
#ifndef FFGLHOST_CLI_STAGED_RUN_H
#define FFGLHOST_CLI_STAGED_RUN_H

#include <functional>
#include <string>

#include "interrupt.h"
#include "lib/io/staged_outputs.h"

// Prepares the outputs, runs `work` and commits, then runs `afterCommit`. Answers the
// exit status: 0; 1 for a failure, reported on one line; 128 + the signal number for an
// interruption.
int RunStaged(ffglhost::StagedOutputs& outputs, const std::function<void(StopRequests&)>& work,
              const std::function<void()>& afterCommit);

// Prints "ffgl-host: MESSAGE" on one line, with control characters made visible.
void PrintError(const std::string& message);

#endif  // FFGLHOST_CLI_STAGED_RUN_H
