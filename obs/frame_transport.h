// How frames travel between OBS's render thread and a filter's worker thread. The render
// thread hands over the source as drawn into a texture and asks for the newest result;
// neither call ever waits for the worker. The worker thread takes frames in CPU memory,
// draws them through the plug-in worker and gives the results back.
//
// StagedCopyTransport reads the texture back through a ring of staging surfaces (each
// mapped one video frame after its copy was queued, so the map does not stall) and
// uploads results into a dynamic texture. A transport that passes GPU buffers (dma-buf)
// would implement the same interface.
#ifndef FFGL_OBS_FRAME_TRANSPORT_H
#define FFGL_OBS_FRAME_TRANSPORT_H

#include <graphics/graphics.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "lib/worker/worker_client.h"

namespace ffglobs {

// When a frame was captured: the filter's clock and the capture's serial number.
struct FrameStamp {
    double seconds = 0.0;
    int64_t frameIndex = 0;
    uint64_t serial = 0;
};

// Running totals, read by any thread.
struct TransportStats {
    std::atomic<uint64_t> sent{0};      // frames read back and offered to the worker
    std::atomic<uint64_t> dropped{0};   // offered frames replaced before the worker took them
    std::atomic<uint64_t> drawn{0};     // frames the worker drew
    std::atomic<uint64_t> received{0};  // results uploaded
    std::atomic<uint64_t> stageNs{0};   // render thread: queueing the copies to staging
    std::atomic<uint64_t> copyNs{0};    // render thread: mapping, copying and uploading
    std::atomic<uint64_t> workerNs{0};  // worker thread: the plug-in worker's Render calls
};

class FrameTransport {
  public:
    virtual ~FrameTransport() = default;

    // Render thread, graphics context current. Starts carrying `texture` (width x height
    // RGBA) to the worker.
    virtual void Send(gs_texture_t* texture, uint32_t width, uint32_t height,
                      const FrameStamp& stamp) = 0;
    // The newest result of this size as a texture with its stamp, or null when there is
    // none yet.
    virtual gs_texture_t* Latest(uint32_t width, uint32_t height, FrameStamp* stamp) = 0;
    // The copies queued so far are not sent (the frames are too old to show).
    virtual void Forget() = 0;
    // Destroys the graphics objects; graphics context current.
    virtual void ReleaseGraphics() = 0;

    // Worker thread. Waits up to `wait` for a frame; fills the sizes, pixels and times of
    // `frame` and answers true, or false when none came or Wake was called.
    virtual bool Take(ffglhost::WorkerFrame& frame, std::chrono::milliseconds wait) = 0;
    // The frame last taken has been drawn into its output.
    virtual void Done() = 0;
    // Any thread: ends a Take in progress.
    virtual void Wake() = 0;

    TransportStats& Stats() { return stats_; }

  protected:
    TransportStats stats_;
};

class StagedCopyTransport : public FrameTransport {
  public:
    StagedCopyTransport() = default;
    ~StagedCopyTransport() override;
    void Send(gs_texture_t* texture, uint32_t width, uint32_t height,
              const FrameStamp& stamp) override;
    gs_texture_t* Latest(uint32_t width, uint32_t height, FrameStamp* stamp) override;
    void Forget() override;
    void ReleaseGraphics() override;
    bool Take(ffglhost::WorkerFrame& frame, std::chrono::milliseconds wait) override;
    void Done() override;
    void Wake() override;

  private:
    // A CPU frame: packed RGBA rows, top row first.
    struct Frame {
        uint32_t width = 0;
        uint32_t height = 0;
        std::vector<uint8_t> pixels;
        FrameStamp stamp;
    };
    struct Stage {
        gs_stagesurf_t* surface = nullptr;
        bool queued = false;
        FrameStamp stamp;
    };
    static constexpr size_t kStages = 3;

    // Render thread only.
    std::array<Stage, kStages> stages_{};
    size_t next_ = 0;
    uint32_t stageWidth_ = 0;
    uint32_t stageHeight_ = 0;
    Frame fill_;
    Frame shown_;
    gs_texture_t* texture_ = nullptr;
    uint32_t textureWidth_ = 0;
    uint32_t textureHeight_ = 0;
    FrameStamp textureStamp_;

    // Worker thread only.
    Frame work_;
    Frame workResult_;

    // Shared, under mutex_; held only to swap buffers.
    std::mutex mutex_;
    std::condition_variable wakeUp_;
    Frame pending_;
    bool hasPending_ = false;
    Frame result_;
    bool hasResult_ = false;
    bool woken_ = false;
};

}  // namespace ffglobs

#endif  // FFGL_OBS_FRAME_TRANSPORT_H
