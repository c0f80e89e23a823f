#include "interrupt.h"

#include <signal.h>

#include <initializer_list>

#include "lib/io/child_process.h"
#include "lib/plugin/call_monitor.h"

namespace {

// How long the request in flight gets after the first stop request.
constexpr int64_t kGraceMs = 3000;
constexpr long kTickNs = 50 * 1000 * 1000;

sigset_t StopSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&set, signal);
    }
    return set;
}

}  // namespace

namespace {

ffglhost::WorkerOptions OptionsFor(double callTimeoutSeconds, bool quiet) {
    ffglhost::WorkerOptions options;
    options.callTimeoutSeconds = callTimeoutSeconds;
    options.quiet = quiet;
    return options;
}

}  // namespace

WatchedWorker::WatchedWorker(StopRequests& stop, double callTimeoutSeconds, bool quiet)
    : stop(stop), client(OptionsFor(callTimeoutSeconds, quiet)) {
    stop.Watch(&client);
}

StopRequests::StopRequests() {
    const sigset_t signals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &signals, &previous_);
    thread_ = std::thread([this] { Run(); });
}

StopRequests::~StopRequests() {
    done_.store(true);
    thread_.join();
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void StopRequests::Run() {
    const sigset_t signals = StopSignals();
    int64_t cancelAt = -1;
    bool cancelled = false;
    while (!done_.load()) {
        const timespec tick{0, kTickNs};
        const int signal = sigtimedwait(&signals, nullptr, &tick);
        const int64_t now = ffglhost::MonotonicMs();
        if (signal > 0 && signal_.load() == 0) {
            signal_.store(signal);
            cancelAt = now + kGraceMs;
        } else if (signal > 0) {
            cancelAt = now;
        }
        if (!cancelled && cancelAt >= 0 && now >= cancelAt) {
            cancelled = true;
            if (ffglhost::WorkerClient* client = client_.load()) {
                client->Cancel();
            }
            ffglhost::ChildProcess::KillAll();
        }
    }
}
