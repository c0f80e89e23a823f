#include "render_loop.h"

#include <chrono>
#include <deque>
#include <string>

#include "lib/host_error.h"
#include "sink_writer.h"

namespace ffglhost {

RenderResult RenderFrames(WorkerClient& client, FrameSource& source, FrameSink& sink,
                          const RenderPlan& plan, const RenderCallbacks& callbacks) {
    const uint32_t width = plan.width;
    const uint32_t height = plan.height;
    SinkWriter writer(sink, plan.queueCapacity);
    std::deque<Image> drawing;  // the frames the worker has, oldest first

    RenderResult result;
    const uint64_t total = plan.skip + plan.frames;
    const auto started = std::chrono::steady_clock::now();
    bool sentStill = false;
    for (uint64_t i = 0; i < total; ++i) {
        if (callbacks.stop && callbacks.stop()) {
            throw HostError("interrupted");
        }
        const Image* frame = source.Next();
        if (frame == nullptr) {
            result.inputEnded = true;
            break;
        }
        ++result.rendered;
        if (i >= plan.skip) {
            Image buffer = writer.TakeBuffer();
            if (buffer.width != width || buffer.height != height) {
                buffer = Image(width, height);
            }
            WorkerFrame request;
            request.width = width;
            request.height = height;
            request.inputWidth = frame->width;
            request.inputHeight = frame->height;
            // A still picture is sent once; the worker keeps it.
            request.input = sentStill && source.IsStill() ? nullptr : frame->rgba.data();
            request.output = buffer.rgba.data();
            request.hostSeconds = static_cast<double>(i) / plan.fps;
            request.frameIndex = StepAt(request.hostSeconds);
            request.padInput = plan.padInput;
            client.Submit(request);
            sentStill = true;
            drawing.push_back(std::move(buffer));
            if (drawing.size() > 1) {
                client.Finish();
                writer.Push(std::move(drawing.front()));
                drawing.pop_front();
            }
            ++result.written;
        }
        if (callbacks.progress) {
            callbacks.progress(i + 1, total);
        }
    }
    if (result.written == 0) {
        throw HostError("the input ended after " + std::to_string(result.rendered) +
                        " frames, before the first frame to write");
    }
    while (!drawing.empty()) {
        client.Finish();
        writer.Push(std::move(drawing.front()));
        drawing.pop_front();
    }
    writer.Finish();
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return result;
}

}  // namespace ffglhost
