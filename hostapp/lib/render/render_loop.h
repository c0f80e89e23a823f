// The frame loop of a render: upload the input, let the plug-in draw, read the result
// back through pixel buffers and hand it to the sink's writer thread.
#ifndef FFGLHOST_RENDER_LOOP_H
#define FFGLHOST_RENDER_LOOP_H

#include <cstdint>
#include <functional>

#include "frame_sink.h"
#include "lib/gl/gl_objects.h"
#include "lib/io/frame_source.h"
#include "lib/plugin/plugin_instance.h"

namespace ffglhost {

struct RenderPlan {
    uint64_t frames = 120;  // frames written
    uint64_t skip = 0;      // frames rendered first and not written
    double fps = 60.0;      // sets the host time sent with each frame
    bool padInput = false;  // input texture padded to power-of-two sizes
    size_t readbackDepth = 2;
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

// Renders the plan into `target` and `sink`, finishing the sink at the end. Throws
// HostError on any failure; the sink is then left unfinished.
RenderResult RenderFrames(PluginInstance& instance, FrameSource& source, const RenderTarget& target,
                          FrameSink& sink, const RenderPlan& plan,
                          const RenderCallbacks& callbacks = RenderCallbacks());

}  // namespace ffglhost

#endif  // FFGLHOST_RENDER_LOOP_H
