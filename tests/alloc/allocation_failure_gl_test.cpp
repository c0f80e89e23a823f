// Running out of memory inside the entry point: the 1st, 2nd, ... allocation of a call is
// made to fail in turn until the call succeeds. Every failure must answer the code's
// failure value, throw nothing into the host, and leave no instance, heap block or GL
// object behind. A binary of its own, because it replaces operator new for the process.
#include <gtest/gtest.h>

#include <GL/glew.h>

#include <string>

#include "ffgl/abi.h"
#include "gl/gl_loader.h"
#include "host/plug_main.h"
#include "support/allocation_hooks.h"
#include "support/live_gl_objects.h"

namespace {

constexpr FFResult kInstantiateFailed = 0x00000000FFFFFFFFu;
constexpr long kEnough = 10000;  // far more allocations than any of these calls makes

struct Outcome {
    FFResult answer = 0;
    bool threw = false;
    bool failed = false;  // the chosen allocation was reached
    long leaked = 0;      // blocks allocated in the call and not released by code 2
};

Outcome CallFailingAllocation(long failAt, uint32_t code, FFMixed input) {
    Outcome outcome;
    AllocationCounter counter(failAt);
    try {
        outcome.answer = plugMain(code, input, nullptr);
    } catch (...) {
        outcome.threw = true;
    }
    // The prototype instance may rightly outlive the call; its blocks count as released.
    plugMain(FF_DEINITIALISE, 0, nullptr);
    counter.Stop();
    outcome.failed = counter.Failed();
    outcome.leaked = counter.OwnAllocations() - (outcome.failed ? 1 : 0) - counter.OwnReleases();
    return outcome;
}

FFMixed AsInput(const void* record) {
    return reinterpret_cast<uintptr_t>(record);
}

// Every plug-in-wide call below starts without a prototype instance, so each makes one
// (its constructor declares the parameters) before answering; code 18 then also makes a
// host instance and builds its GL program and quad.
TEST(AllocationFailure, EachFailedAllocationFailsTheCallAndLeavesNothing) {
    ASSERT_TRUE(EnsureGlLoader());
    const FFGLViewportStruct viewport{0, 0, 64, 64};
    const struct {
        const char* what;
        uint32_t code;
        FFMixed input;
        FFResult failure;
    } calls[] = {
        {"code 34", FF_INITIALISE_V2, 0, FF_FAIL},
        {"code 4", FF_GET_NUM_PARAMETERS, 0, FF_FAIL},
        {"code 5", FF_GET_PARAMETER_NAME, 0, 0},
        {"code 10", FF_GET_PLUGIN_CAPS, FF_CAP_MINIMUM_INPUT_FRAMES, FF_FAIL},
        {"code 15", FF_GET_PARAMETER_TYPE, 0, FF_FAIL},
        {"code 18", FF_INSTANTIATE_GL, AsInput(&viewport), kInstantiateFailed},
    };
    for (const auto& call : calls) {
        const int glObjects = LiveGlObjects();
        long failAt = 1;
        for (; failAt < kEnough; ++failAt) {
            SCOPED_TRACE(std::string(call.what) + ", allocation " + std::to_string(failAt));
            ASSERT_EQ(plugMain(FF_DEINITIALISE, 0, nullptr), FF_SUCCESS);
            const Outcome outcome = CallFailingAllocation(failAt, call.code, call.input);
            ASSERT_FALSE(outcome.threw);
            if (!outcome.failed) {
                ASSERT_NE(outcome.answer, call.failure) << "every allocation succeeded";
                if (call.code == FF_INSTANTIATE_GL) {
                    EXPECT_EQ(plugMain(FF_DEINSTANTIATE_GL, 0,
                                       reinterpret_cast<FFInstanceID>(outcome.answer)),
                              FF_SUCCESS);
                }
                break;
            }
            EXPECT_EQ(outcome.answer, call.failure);
            EXPECT_EQ(outcome.leaked, 0);
            EXPECT_EQ(LiveGlObjects(), glObjects);
        }
        EXPECT_GT(failAt, 1) << call.what << " allocates";
        RecordProperty(call.what, static_cast<int>(failAt - 1));
    }
}

}  // namespace
