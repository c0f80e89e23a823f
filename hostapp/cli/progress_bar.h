// A one-line progress bar on standard error: frames done, frames per second and time
// left. Shown only when enabled (a terminal, not --quiet) and the run has taken more
// than a second.
#ifndef FFGLHOST_CLI_PROGRESS_BAR_H
#define FFGLHOST_CLI_PROGRESS_BAR_H

#include <chrono>
#include <cstdint>
#include <string>

class ProgressBar {
  public:
    ProgressBar(uint64_t total, bool enabled);
    ~ProgressBar() { Clear(); }

    // Redraws at most ten times a second.
    void Update(uint64_t done);
    // Removes the bar from the terminal.
    void Clear();

    // The bar's text for `done` of `total` frames after `seconds`; public for tests.
    static std::string Format(uint64_t done, uint64_t total, double seconds, int barWidth);

  private:
    using Clock = std::chrono::steady_clock;
    uint64_t total_;
    bool enabled_;
    bool shown_ = false;
    Clock::time_point started_;
    Clock::time_point lastDrawn_;
};

#endif  // FFGLHOST_CLI_PROGRESS_BAR_H
