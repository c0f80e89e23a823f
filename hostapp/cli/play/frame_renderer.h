// What the window asks of the plug-in: start it with a set of values, change one, draw a
// frame of an input picture, wherever the plug-in runs.
#ifndef FFGLHOST_CLI_PLAY_FRAME_RENDERER_H
#define FFGLHOST_CLI_PLAY_FRAME_RENDERER_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lib/io/image.h"
#include "lib/plugin/parameter_values.h"

class FrameRenderer {
  public:
    virtual ~FrameRenderer() = default;
    // (Re)starts the plug-in with `values`. Throws HostError.
    virtual void Start(const ffglhost::ParameterValues& values) = 0;
    // The values the next frame is drawn with.
    virtual void SetValues(const ffglhost::ParameterValues& values) = 0;
    // Draws frame `index` of the clip (the host time index / 60 s, the rate `render`
    // counts frames at by default) of `input` into `output` (both top row
    // first). Throws HostError with a one-line message when the plug-in fails, crashes
    // or hangs; Start() goes on from there.
    virtual void Draw(int64_t index, const ffglhost::Image& input, ffglhost::Image& output) = 0;
    // The display text of each parameter, by index, as the plug-in writes it now.
    virtual std::vector<std::string> DisplayTexts() = 0;
    // Where the plug-in runs, for the window's title and the start-up lines.
    virtual std::string Where() const = 0;
    // Ends a Draw in flight at once, from any thread: the window is closing.
    virtual void Cancel() = 0;
};

namespace ffglhost {
class WorkerClient;
}

// Runs the plug-in in the worker of `client`, which has loaded it; output of width x
// height.
std::unique_ptr<FrameRenderer> MakeWorkerRenderer(std::unique_ptr<ffglhost::WorkerClient> client,
                                                  uint32_t width, uint32_t height);

#endif  // FFGLHOST_CLI_PLAY_FRAME_RENDERER_H
