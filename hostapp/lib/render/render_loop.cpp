#include "render_loop.h"

#include <chrono>
#include <string>
#include <vector>

#include "lib/gl/pbo_reader.h"
#include "lib/host_error.h"
#include "sink_writer.h"

namespace ffglhost {

RenderResult RenderFrames(PluginInstance& instance, FrameSource& source, const RenderTarget& target,
                          FrameSink& sink, const RenderPlan& plan,
                          const RenderCallbacks& callbacks) {
    const uint32_t width = source.Width();
    const uint32_t height = source.Height();
    Texture input(width, height, nullptr, plan.padInput);
    std::vector<uint8_t> glOrder(size_t{width} * height * 4);
    PboReader reader(target.Width(), target.Height(), plan.readbackDepth);
    SinkWriter writer(sink, plan.queueCapacity);

    RenderResult result;
    const uint64_t total = plan.skip + plan.frames;
    const auto started = std::chrono::steady_clock::now();
    bool uploaded = false;
    for (uint64_t i = 0; i < total; ++i) {
        if (callbacks.stop && callbacks.stop()) {
            throw HostError("interrupted");
        }
        const Image* frame = source.Next();
        if (frame == nullptr) {
            result.inputEnded = true;
            break;
        }
        if (!uploaded || !source.IsStill()) {
            FlipRowsInto(frame->rgba.data(), glOrder.data(), frame->RowBytes(), frame->height);
            input.Upload(glOrder.data());
            uploaded = true;
        }
        instance.SetTime(static_cast<double>(i) / plan.fps);
        instance.Process(input, target);
        ++result.rendered;
        if (i >= plan.skip) {
            Image buffer = writer.TakeBuffer();
            if (reader.Read(target.Framebuffer(), buffer)) {
                writer.Push(std::move(buffer));
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
    for (Image buffer = writer.TakeBuffer(); reader.Drain(buffer); buffer = writer.TakeBuffer()) {
        writer.Push(std::move(buffer));
    }
    writer.Finish();
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return result;
}

}  // namespace ffglhost
