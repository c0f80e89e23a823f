#include "staged_run.h"

#include <cstdio>
#include <exception>
#include <vector>

#include "lib/host_error.h"
#include "lib/plugin/plugin_text.h"

using ffglhost::HostError;

namespace {

// Removes what was staged and reports `message`; answers the exit status 1.
int Abandon(ffglhost::StagedOutputs& outputs, const std::string& message) {
    outputs.Discard();
    PrintError(message);
    return 1;
}

// Runs Prepare or Commit; a failure abandons the run.
bool OutputStep(ffglhost::StagedOutputs& outputs, void (ffglhost::StagedOutputs::*step)()) {
    try {
        (outputs.*step)();
        return true;
    } catch (const HostError& error) {
        Abandon(outputs, error.what());
        return false;
    }
}

// Clears what runs killed before their clean-up left beside the outputs, on one line.
void RemoveLeftovers(const ffglhost::StagedOutputs& outputs) {
    const std::vector<std::string> removed = outputs.RemoveLeftovers();
    std::string names;
    for (const std::string& path : removed) {
        names += (names.empty() ? "" : ", ") + path;
    }
    if (!removed.empty()) {
        PrintError("removed " + std::to_string(removed.size()) +
                   (removed.size() == 1 ? " entry" : " entries") +
                   " left by runs that ended without cleaning up: " + names);
    }
}

}  // namespace

void PrintError(const std::string& message) {
    std::fprintf(stderr, "ffgl-host: %s\n", ffglhost::PrintableText(message, 2000).c_str());
    std::fflush(stderr);
}

int RunStaged(ffglhost::StagedOutputs& outputs, const std::function<void(StopRequests&)>& work,
              const std::function<void()>& afterCommit) {
    RemoveLeftovers(outputs);
    if (!OutputStep(outputs, &ffglhost::StagedOutputs::Prepare)) {
        return 1;
    }
    StopRequests stop;
    std::string failure;
    try {
        work(stop);
    } catch (const HostError& error) {
        failure = error.what();
    } catch (const std::exception& error) {
        failure = std::string("unexpected error: ") + error.what();
    }
    if (stop.Signal() != 0) {
        Abandon(outputs, "interrupted; nothing was written and the outputs are as they were");
        return 128 + stop.Signal();
    }
    if (!failure.empty()) {
        return Abandon(outputs, failure);
    }
    if (!OutputStep(outputs, &ffglhost::StagedOutputs::Commit)) {
        return 1;
    }
    if (afterCommit) {
        afterCommit();
    }
    return 0;
}
