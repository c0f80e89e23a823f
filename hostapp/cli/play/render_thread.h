// Runs a FrameRenderer on a thread of its own, so that the window stays live however
// slow the plug-in is, or while a hung one is waited for. The window asks for frames with the
// values it holds; the thread sets what changed and draws; the newest frame waits to be taken.
#ifndef FFGLHOST_CLI_PLAY_RENDER_THREAD_H
#define FFGLHOST_CLI_PLAY_RENDER_THREAD_H

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "frame_renderer.h"
#include "lib/io/frame_source.h"

struct PlayFrame {
    ffglhost::Image image;
    uint64_t version = 0;  // of the values it was drawn with
    int64_t index = 0;
    double drawMs = 0.0;  // the plug-in's time for the frame, readback included
    std::vector<std::string> displays;
};

class RenderThread {
  public:
    // `openInput` gives the input, again each time a video ends (so it loops); `wake`
    // is called from the thread when a frame or a failure is ready.
    RenderThread(std::unique_ptr<FrameRenderer> renderer,
                 std::function<std::unique_ptr<ffglhost::FrameSource>()> openInput,
                 std::function<void()> wake);
    ~RenderThread();
    RenderThread(const RenderThread&) = delete;
    RenderThread& operator=(const RenderThread&) = delete;

    // Asks for frame `index` with `values` (one per parameter); replaces a request the
    // thread has not taken yet. The frame last drawn is not drawn again unless a value
    // changed or the plug-in restarted.
    void Request(int64_t index, const ffglhost::ParameterValues& values, uint64_t version);
    bool FrameReady();
    // Moves the newest frame into `frame` when one came since the last call.
    bool TakeFrame(PlayFrame& frame);
    // The one-line message of a plug-in that failed, crashed or hung; empty otherwise.
    std::string Failure();
    // How many failures there were so far (a restart that fails again counts anew).
    uint64_t FailureCount();
    // Starts the plug-in again, with the values of the next request.
    void Restart();

  private:
    void Run();

    std::unique_ptr<FrameRenderer> renderer_;
    std::function<std::unique_ptr<ffglhost::FrameSource>()> openInput_;
    std::function<void()> wake_;

    std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
    bool requested_ = false;
    bool restart_ = true;  // the first request starts the plug-in
    int64_t index_ = 0;
    int64_t drawnIndex_ = -1;
    uint64_t drawnVersion_ = 0;
    ffglhost::ParameterValues values_;
    uint64_t version_ = 0;
    bool frameReady_ = false;
    PlayFrame frame_;
    std::string failure_;
    uint64_t failureCount_ = 0;
    std::thread thread_;
};

#endif  // FFGLHOST_CLI_PLAY_RENDER_THREAD_H
