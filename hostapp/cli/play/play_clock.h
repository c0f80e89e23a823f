// The clock the window plays by: it runs with the wall clock except while paused, and
// names the plug-in's step for each moment.
#ifndef FFGLHOST_CLI_PLAY_PLAY_CLOCK_H
#define FFGLHOST_CLI_PLAY_PLAY_CLOCK_H

#include <chrono>
#include <cstdint>

#include "frame_renderer.h"

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
    // The step the plug-in shows now.
    int64_t Step() const { return static_cast<int64_t>(seconds_ * kPlayFrameRate); }

  private:
    bool paused_;
    double seconds_ = 0.0;
    Clock::time_point last_ = Clock::now();
};

#endif  // FFGLHOST_CLI_PLAY_PLAY_CLOCK_H
