#include "osc_feed.h"

#include <algorithm>
#include <cstdio>

bool OscFeed::Apply(ffglhost::ParameterValues& values, uint64_t& version) {
    if (control_ == nullptr) {
        return false;
    }
    const std::vector<OscChange> changes = control_->Take();
    for (const OscChange& change : changes) {
        values.Apply(change.change);
        pending_.push_back({++version, change.received});
    }
    return !changes.empty();
}

void OscFeed::Shown(uint64_t version) {
    const Clock::time_point now = Clock::now();
    while (!pending_.empty() && pending_.front().first <= version) {
        latenciesMs_.push_back(
            std::chrono::duration<double, std::milli>(now - pending_.front().second).count());
        pending_.pop_front();
    }
}

void OscFeed::PrintSummary() const {
    if (latenciesMs_.empty()) {
        return;
    }
    std::vector<double> sorted = latenciesMs_;
    std::sort(sorted.begin(), sorted.end());
    std::printf(
        "OSC: %zu change%s; the first frame showing each was on screen %.1f ms after it "
        "arrived (median), %.1f ms at most\n",
        sorted.size(), sorted.size() == 1 ? "" : "s", sorted[sorted.size() / 2], sorted.back());
}
