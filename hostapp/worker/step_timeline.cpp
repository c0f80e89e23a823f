#include "step_timeline.h"

#include <algorithm>

namespace ffglhost {

int64_t StepTimeline::Next() const {
    return head_ >= 0 ? clocks_[static_cast<size_t>(head_)].next : -1;
}

void StepTimeline::Clear() {
    clocks_.clear();
    head_ = -1;
}

void StepTimeline::Advance(Entry& entry, int64_t to) {
    while (entry.next < to) {
        entry.clock->StepUnseen();
        ++entry.next;
        ++unseen_;
    }
}

int64_t StepTimeline::Fresh(int64_t limit) {
    if (clocks_.size() >= kMaxClocks) {
        // Room is made by the instance farthest ahead, if it is past `limit`.
        int64_t dropped = -1;
        for (size_t i = 0; i < clocks_.size(); ++i) {
            if (static_cast<int64_t>(i) != head_ && clocks_[i].next > limit &&
                (dropped < 0 || clocks_[i].next > clocks_[static_cast<size_t>(dropped)].next)) {
                dropped = static_cast<int64_t>(i);
            }
        }
        if (dropped < 0) {
            return -1;
        }
        clocks_[static_cast<size_t>(dropped)] = Entry{make_(), 0};
        return dropped;
    }
    clocks_.push_back(Entry{make_(), 0});
    return static_cast<int64_t>(clocks_.size()) - 1;
}

StepTimeline::Clock& StepTimeline::Reach(int64_t step, bool* switched) {
    step = std::max<int64_t>(step, 0);
    int64_t chosen = -1;
    for (size_t i = 0; i < clocks_.size(); ++i) {
        if (clocks_[i].next <= step &&
            (chosen < 0 || clocks_[i].next > clocks_[static_cast<size_t>(chosen)].next)) {
            chosen = static_cast<int64_t>(i);
        }
    }
    const int64_t before = Next();
    if (chosen < 0) {
        head_ = -1;  // every instance is ahead of `step`: any may make room
        chosen = Fresh(-1);
    }
    backward_ = before >= 0 && step < before;
    if (switched != nullptr) {
        *switched = chosen != head_;
    }
    head_ = chosen;
    Entry& entry = clocks_[static_cast<size_t>(chosen)];
    travelled_ = step - entry.next;
    Advance(entry, step);
    return *entry.clock;
}

void StepTimeline::Drew() {
    if (head_ < 0) {
        return;
    }
    ++clocks_[static_cast<size_t>(head_)].next;
    // Riders follow by as many steps as the head moved, and catch up by a bounded number
    // more when playing forward; a step back makes no new rider, so that it costs no
    // more than the same frame reached forward.
    MoveRiders(backward_ ? travelled_ : std::max(travelled_, kRiderCatchUp));
}

void StepTimeline::MoveRiders(int64_t budget) {
    const int64_t now = Next();
    std::vector<bool> taken(clocks_.size(), false);
    taken[static_cast<size_t>(head_)] = true;
    for (const int64_t lag : kRiderLags) {
        int64_t rider = -1;
        for (size_t i = 0; i < clocks_.size(); ++i) {
            if (!taken[i] && clocks_[i].next <= now - lag &&
                (rider < 0 || clocks_[i].next > clocks_[static_cast<size_t>(rider)].next)) {
                rider = static_cast<int64_t>(i);
            }
        }
        if (rider < 0) {
            if (backward_ || now - lag < 0) {
                continue;
            }
            rider = Fresh(now);
            if (rider < 0) {
                continue;
            }
            taken.resize(clocks_.size(), false);
        }
        taken[static_cast<size_t>(rider)] = true;
        Entry& entry = clocks_[static_cast<size_t>(rider)];
        if (entry.next < now - 2 * lag) {
            Advance(entry, std::min(now - lag, entry.next + budget));
        }
    }
}

}  // namespace ffglhost
