// What OSC brings the window: its changes applied to the values the window holds, and
// how long each took to reach the screen.
#ifndef FFGLHOST_CLI_PLAY_OSC_FEED_H
#define FFGLHOST_CLI_PLAY_OSC_FEED_H

#include <chrono>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

#include "osc_control.h"

class OscFeed {
  public:
    // `control` may be null (no OSC); it must outlive the feed.
    explicit OscFeed(OscControl* control) : control_(control) {}

    // Applies what arrived to `values`, each change a new `version`; answers whether any
    // did.
    bool Apply(ffglhost::ParameterValues& values, uint64_t& version);
    // A frame drawn with the values of `version` is on screen.
    void Shown(uint64_t version);
    // "OSC: 3 changes; the first frame showing each ..." on standard output, if any came.
    void PrintSummary() const;

  private:
    using Clock = std::chrono::steady_clock;
    OscControl* control_;
    std::deque<std::pair<uint64_t, Clock::time_point>> pending_;
    std::vector<double> latenciesMs_;
};

#endif  // FFGLHOST_CLI_PLAY_OSC_FEED_H
