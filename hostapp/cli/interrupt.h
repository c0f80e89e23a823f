// Stop requests for a command that drives a plug-in through its worker. The first
// SIGINT, SIGTERM or SIGHUP asks the frame loop to stop at the next frame and gives the
// request in flight three seconds; a second one, or those seconds running out, cancels
// the worker's request and kills the helper programs (ffmpeg) at once, so that the run
// ends whatever blocks it. A thread of its own takes the signals: they are blocked in
// every thread started while a StopRequests lives.
#ifndef FFGLHOST_CLI_INTERRUPT_H
#define FFGLHOST_CLI_INTERRUPT_H

#include <atomic>
#include <thread>

#include "lib/worker/worker_client.h"

class StopRequests {
  public:
    StopRequests();
    ~StopRequests();
    StopRequests(const StopRequests&) = delete;
    StopRequests& operator=(const StopRequests&) = delete;

    // The client whose request a stop cancels; null for none.
    void Watch(ffglhost::WorkerClient* client) { client_.store(client); }
    // The first signal received; 0 for none.
    int Signal() const { return signal_.load(); }

  private:
    void Run();

    std::atomic<ffglhost::WorkerClient*> client_{nullptr};
    std::atomic<int> signal_{0};
    std::atomic<bool> done_{false};
    sigset_t previous_;
    std::thread thread_;
};

// A worker client that a stop request cancels for as long as it lives.
struct WatchedWorker {
    WatchedWorker(StopRequests& stop, double callTimeoutSeconds, bool quiet);
    ~WatchedWorker() { stop.Watch(nullptr); }
    WatchedWorker(const WatchedWorker&) = delete;
    WatchedWorker& operator=(const WatchedWorker&) = delete;

    StopRequests& stop;
    ffglhost::WorkerClient client;
};

#endif  // FFGLHOST_CLI_INTERRUPT_H
