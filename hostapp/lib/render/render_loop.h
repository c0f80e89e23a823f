// The frame loop of a render: each input frame goes to the plug-in's worker, what it
// draws to the sink's writer thread. The loop fills the next input and empties the last
// output while the worker draws, so the worker never waits on it.
#ifndef FFGLHOST_RENDER_LOOP_H
#define FFGLHOST_RENDER_LOOP_H

#include <cstdint>
#include <functional>

#include "frame_sink.h"
#include "lib/io/frame_source.h"
#include "lib/worker/worker_client.h"

namespace ffglhost {

struct RenderPlan {
    uint32_t width = 0;  // the frames drawn; the source's size is the input's
    uint32_t height = 0;
    uint64_t frames = 120;  // frames written
    uint64_t skip = 0;      // frames passed over first (the plug-in's clock still moves)
    double fps = 60.0;      // frame i is at time i / fps
    bool padInput = false;  // input texture padded to power-of-two sizes
    size_t queueCapacity = 4;
};

struct RenderResult {
    uint64_t rendered = 0;  // skipped frames included
    uint64_t written = 0;
    double seconds = 0.0;     // from the first frame until the sink finished
    bool inputEnded = false;  // the source ran out before the plan was done
};

struct RenderCallbacks {
    std::function<void(uint64_t done, uint64_t total)> progress;  // after each frame
    std::function<bool()> stop;  // asked before each frame; true aborts with HostError
};

// Renders the plan through `client` (with its plug-in loaded) into `sink`, finishing the
// sink at the end. Throws HostError (WorkerError for the plug-in's failures); the sink is
// then left unfinished.
RenderResult RenderFrames(WorkerClient& client, FrameSource& source, FrameSink& sink,
                          const RenderPlan& plan,
                          const RenderCallbacks& callbacks = RenderCallbacks());

}  // namespace ffglhost

#endif  // FFGLHOST_RENDER_LOOP_H
