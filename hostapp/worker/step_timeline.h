// Brings a plug-in instance to a given step of its own clock. Plug-ins that keep a clock
// move it one step per frame they draw, and only forward; to draw step N as it looks in
// a whole render, an instance must have drawn exactly N frames before. The timeline owns
// a few instances: the head, which draws, and riders that follow a little behind it, so
// that going back one frame, or a few, takes a rider a short way forward instead of
// replaying the clip from its start. Frames nobody sees move the clocks (see
// Clock::StepUnseen).
#ifndef FFGLHOST_WORKER_STEP_TIMELINE_H
#define FFGLHOST_WORKER_STEP_TIMELINE_H

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace ffglhost {

class StepTimeline {
  public:
    // One instance of the plug-in with its clock.
    class Clock {
      public:
        virtual ~Clock() = default;
        // Draws one frame nobody sees, which moves the clock one step.
        virtual void StepUnseen() = 0;
    };
    // Makes a new instance, at step 0.
    using MakeClock = std::function<std::unique_ptr<Clock>()>;

    // How far behind the head each rider keeps: rider i stays between lags[i] and
    // 2 lags[i] steps behind, so that going back up to lags[i] steps costs at most
    // 2 lags[i] steps.
    static constexpr int64_t kRiderLags[] = {64, 2048};
    // Steps a rider that fell far behind may catch up by in one request, beyond the
    // steps the head moved.
    static constexpr int64_t kRiderCatchUp = 4096;
    // Instances kept: the head, the riders and one ahead (the head before a step back,
    // useful when playing resumes).
    static constexpr size_t kMaxClocks = 4;

    explicit StepTimeline(MakeClock make) : make_(std::move(make)) {}

    // An instance whose next frame is step `step` (>= 0), after unseen frames; the caller
    // draws that frame with it and then calls Drew(). Returns whether another instance
    // than the last call's was chosen (its parameter values must be sent again).
    Clock& Reach(int64_t step, bool* switched = nullptr);
    // The frame of the instance Reach returned has been drawn: its clock moved one step.
    // Riders then move up behind it.
    void Drew();
    // The next step of the head; -1 before any frame.
    int64_t Next() const;
    // Steps drawn unseen so far, by every instance (for measurements).
    uint64_t UnseenSteps() const { return unseen_; }
    // Forgets every instance (a new frame size, new values for a fresh start).
    void Clear();
    // Every instance, for sending parameter values.
    template <typename Visit>
    void ForEach(Visit visit) {
        for (Entry& entry : clocks_) {
            visit(*entry.clock);
        }
    }

  private:
    struct Entry {
        std::unique_ptr<Clock> clock;
        int64_t next = 0;  // the step of the next frame it draws
    };
    void Advance(Entry& entry, int64_t to);
    // The position of a new instance at step 0: a new one while there is room, else in
    // place of the instance farthest ahead, if it is past `limit` (never the head); -1
    // when every instance is needed.
    int64_t Fresh(int64_t limit);
    void MoveRiders(int64_t budget);

    MakeClock make_;
    std::vector<Entry> clocks_;
    int64_t head_ = -1;      // position in clocks_ of the instance Reach returned
    int64_t travelled_ = 0;  // steps the head moved in the last Reach
    bool backward_ = false;  // the last Reach went back in time
    uint64_t unseen_ = 0;
};

}  // namespace ffglhost

#endif  // FFGLHOST_WORKER_STEP_TIMELINE_H
