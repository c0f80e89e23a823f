#include "interrupt.h"

#include <signal.h>

#include <atomic>

namespace {

std::atomic<bool> interrupted{false};

void OnSignal(int) {
    interrupted.store(true);
}

}  // namespace

void InstallInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    action.sa_flags = SA_RESETHAND;  // the next signal gets the default action
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() {
    return interrupted.load();
}
