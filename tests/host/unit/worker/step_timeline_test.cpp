// The timeline brings an instance to any step with the step count exact, and going back
// takes a rider a short way instead of replaying from the start.
#include <gtest/gtest.h>

#include "worker/step_timeline.h"

namespace {

struct CountingClock : ffglhost::StepTimeline::Clock {
    int64_t steps = 0;
    void StepUnseen() override { ++steps; }
};

TEST(StepTimeline, EachFrameIsDrawnAtItsStepAndGoingBackIsShort) {
    ffglhost::StepTimeline timeline([] { return std::make_unique<CountingClock>(); });
    struct Case {
        int64_t step;
        int64_t mostUnseen;  // steps drawn unseen for it, riders included
    } const cases[] = {
        {0, 0},         {1, 0},        {36000, 3 * 36000}, {35998, 2200},  {35995, 2200},
        {36001, 8192},  {36003, 8192}, {20, 20},           {21, 4096 * 2}, {216000, 3 * 216000},
        {215997, 2200},
    };
    for (const Case& c : cases) {
        const uint64_t before = timeline.UnseenSteps();
        auto& clock = static_cast<CountingClock&>(timeline.Reach(c.step));
        EXPECT_EQ(clock.steps, c.step) << "step " << c.step;
        ++clock.steps;  // the frame drawn
        timeline.Drew();
        EXPECT_LE(static_cast<int64_t>(timeline.UnseenSteps() - before), c.mostUnseen)
            << "step " << c.step;
    }
}

}  // namespace
