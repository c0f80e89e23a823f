// The clock the window plays by: it runs with the wall clock except while paused, and
// names the plug-in's step for each moment.
#ifndef FFGLHOST_CLI_PLAY_PLAY_CLOCK_H
#define FFGLHOST_CLI_PLAY_PLAY_CLOCK_H

#include <chrono>
#include <cstdint>

#include "lib/worker/worker_protocol.h"

class PlayClock {
  public:
    using Clock = std::chrono::steady_clock;

    explicit PlayClock(bool paused) : paused_(paused) {}

    // Moves the clock on to `now` unless it is paused.
    void Advance(Clock::time_point now) {
        if (!paused_) {
            seconds_ += std::chrono::duration<double>(now - last_).count();
        }
        last_ = now;
    }
    void TogglePause() { paused_ = !paused_; }
    bool Paused() const { return paused_; }
    // The step the plug-in shows now: the frame at t seconds is step round(60 t), as in
    // the frei0r module and `render`.
    int64_t Step() const { return ffglhost::StepAt(seconds_); }

  private:
    bool paused_;
    double seconds_ = 0.0;
    Clock::time_point last_ = Clock::now();
};

#endif  // FFGLHOST_CLI_PLAY_PLAY_CLOCK_H
