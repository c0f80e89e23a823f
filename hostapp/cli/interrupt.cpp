#include "interrupt.h"

#include <signal.h>

#include <atomic>
#include <initializer_list>

namespace {

std::atomic<bool> interrupted{false};

void OnSignal(int) {
    interrupted.store(true);
}

}  // namespace

void InstallInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

bool Interrupted() {
    return interrupted.load();
}
