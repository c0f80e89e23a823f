#include "supervisor.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>

#include "interrupt.h"
#include "lib/host_error.h"
#include "lib/plugin/plugin_text.h"
#include "lib/worker/stdout_lines.h"

using ffglhost::HostError;

namespace {

// How long a worker asked to stop may take before its process group is ended.
constexpr int64_t kGraceMs = 3000;
constexpr long kTickNs = 50 * 1000 * 1000;

sigset_t SupervisedSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGCHLD}) {
        sigaddset(&set, signal);
    }
    return set;
}

struct Watch {
    pid_t worker = -1;
    int waitStatus = 0;
    int stopSignal = 0;   // the first stop request received
    int64_t killAt = -1;  // when the grace period ends
    bool timedOut = false;
    uint32_t timedOutCode = ffglhost::kNoCall;
};

std::FILE* hostOutput = stdout;

void EndGroup(pid_t group) {
    kill(-group, SIGKILL);
}

[[noreturn]] void RunWorker(WorkerPage& page, const Supervision& supervision,
                            const sigset_t& originalMask) {
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    sigprocmask(SIG_SETMASK, &originalMask, nullptr);
    ffglhost::PublishCallsTo(&page.call);
    int status = 1;
    {
        // What the plug-in prints goes to standard error as "[plugin] ..." lines; the
        // host's own output goes to HostOutput().
        ffglhost::StdoutLines lines("[plugin] ");
        hostOutput = lines.Output();
        try {
            status = supervision.work(page);
        } catch (const HostError& error) {
            if (!Interrupted()) {
                PrintError(error.what());
            }
        } catch (const std::exception& error) {
            PrintError(std::string("unexpected error: ") + error.what());
        }
        hostOutput = stdout;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    page.status.store(status);
    page.finished.store(1);
    _exit(status);
}

void OnStopSignal(Watch& watch, int signal) {
    if (watch.stopSignal == 0) {
        watch.stopSignal = signal;
        kill(watch.worker, signal);
        watch.killAt = ffglhost::MonotonicMs() + kGraceMs;
    } else {
        EndGroup(watch.worker);
    }
}

void CheckClocks(Watch& watch, const WorkerPage& page, int64_t limitMs) {
    const int64_t now = ffglhost::MonotonicMs();
    if (watch.killAt >= 0 && now >= watch.killAt) {
        EndGroup(watch.worker);
    }
    if (limitMs > 0 && !watch.timedOut && page.call.inCall.load() != 0 &&
        now - page.call.startedMs.load() > limitMs) {
        watch.timedOut = true;
        watch.timedOutCode = page.call.code.load();
        EndGroup(watch.worker);
    }
}

// Waits for the worker, then ends what is left of its process group and reaps it (the
// supervisor is their subreaper), so nothing writes after the clean-up.
void AwaitWorker(Watch& watch, const WorkerPage& page, int64_t limitMs) {
    const sigset_t signals = SupervisedSignals();
    for (;;) {
        const timespec tick{0, kTickNs};
        const int signal = sigtimedwait(&signals, nullptr, &tick);
        if (signal == SIGINT || signal == SIGTERM || signal == SIGHUP) {
            OnStopSignal(watch, signal);
        }
        if (waitpid(watch.worker, &watch.waitStatus, WNOHANG) == watch.worker) {
            break;
        }
        CheckClocks(watch, page, limitMs);
    }
    EndGroup(watch.worker);
    while (waitpid(-1, nullptr, 0) > 0) {
    }
}

std::string SignalName(int signal) {
    std::string name = strsignal(signal);
    if (!name.empty()) {
        name[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[0])));
    }
    return name;
}

// The exit status of a run whose worker did not finish its work.
int ReportUnfinished(const Watch& watch, const WorkerPage& page, double limitSeconds) {
    if (watch.stopSignal != 0) {
        PrintError("interrupted; nothing was written and the outputs are as they were");
        return 128 + watch.stopSignal;
    }
    if (watch.timedOut) {
        char limit[32];
        std::snprintf(limit, sizeof limit, "%g", limitSeconds);
        PrintError("the plug-in did not return within " + std::string(limit) + " s " +
                   ffglhost::DescribeCall(watch.timedOutCode) +
                   "; it was stopped (--call-timeout sets the limit)");
        return 1;
    }
    const std::string call = ffglhost::DescribeCall(page.call.code.load());
    if (WIFSIGNALED(watch.waitStatus)) {
        PrintError("the plug-in crashed (" + SignalName(WTERMSIG(watch.waitStatus)) + ") " + call);
    } else {
        PrintError("the plug-in ended the process (exit status " +
                   std::to_string(WEXITSTATUS(watch.waitStatus)) + ") " + call);
    }
    return 1;
}

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

int Conclude(ffglhost::StagedOutputs& outputs, const Supervision& supervision, const Watch& watch,
             const WorkerPage& page) {
    if (watch.stopSignal != 0 || watch.timedOut || page.finished.load() == 0) {
        outputs.Discard();
        return ReportUnfinished(watch, page, supervision.callTimeoutSeconds);
    }
    if (page.status.load() != 0) {
        outputs.Discard();
        return page.status.load();
    }
    if (!OutputStep(outputs, &ffglhost::StagedOutputs::Commit)) {
        return 1;
    }
    if (supervision.afterCommit) {
        supervision.afterCommit(page);
    }
    return 0;
}

}  // namespace

void WorkerPage::SetSummary(const std::string& text) {
    std::snprintf(summary, sizeof summary, "%s", text.c_str());
}

std::FILE* HostOutput() {
    return hostOutput;
}

void PrintError(const std::string& message) {
    std::fprintf(stderr, "ffgl-host: %s\n", ffglhost::PrintableText(message, 2000).c_str());
    std::fflush(stderr);
}

int Supervise(ffglhost::StagedOutputs& outputs, const Supervision& supervision) {
    const sigset_t signals = SupervisedSignals();
    sigset_t originalMask;
    sigprocmask(SIG_BLOCK, &signals, &originalMask);
    if (!OutputStep(outputs, &ffglhost::StagedOutputs::Prepare)) {
        return 1;
    }
    void* shared = mmap(nullptr, sizeof(WorkerPage), PROT_READ | PROT_WRITE,
                        MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED) {
        return Abandon(outputs,
                       std::string("cannot share memory with the worker: ") + std::strerror(errno));
    }
    auto* page = new (shared) WorkerPage();
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    Watch watch;
    std::fflush(nullptr);
    watch.worker = fork();
    if (watch.worker == 0) {
        RunWorker(*page, supervision, originalMask);
    }
    if (watch.worker < 0) {
        return Abandon(outputs,
                       std::string("cannot start the worker process: ") + std::strerror(errno));
    }
    setpgid(watch.worker, watch.worker);
    AwaitWorker(watch, *page, static_cast<int64_t>(supervision.callTimeoutSeconds * 1000));
    return Conclude(outputs, supervision, watch, *page);
}
