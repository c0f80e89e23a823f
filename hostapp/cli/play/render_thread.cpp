#include "render_thread.h"

#include <chrono>

#include "lib/host_error.h"

using ffglhost::HostError;

RenderThread::RenderThread(std::unique_ptr<FrameRenderer> renderer,
                           std::function<std::unique_ptr<ffglhost::FrameSource>()> openInput,
                           std::function<void()> wake)
    : renderer_(std::move(renderer)),
      openInput_(std::move(openInput)),
      wake_(std::move(wake)),
      thread_([this] { Run(); }) {}

RenderThread::~RenderThread() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    // A plug-in call in flight, even a hung one, must not hold the window open.
    renderer_->Cancel();
    thread_.join();
}

void RenderThread::Request(int64_t index, const ffglhost::ParameterValues& values,
                           uint64_t version) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (index == drawnIndex_ && version == drawnVersion_ && !restart_) {
            return;
        }
        index_ = index;
        values_ = values;
        version_ = version;
        requested_ = true;
    }
    changed_.notify_all();
}

bool RenderThread::FrameReady() {
    std::lock_guard<std::mutex> lock(mutex_);
    return frameReady_;
}

bool RenderThread::TakeFrame(PlayFrame& frame) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!frameReady_) {
        return false;
    }
    std::swap(frame, frame_);
    frameReady_ = false;
    return true;
}

std::string RenderThread::Failure() {
    std::lock_guard<std::mutex> lock(mutex_);
    return failure_;
}

uint64_t RenderThread::FailureCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return failureCount_;
}

void RenderThread::Restart() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        restart_ = true;
    }
    changed_.notify_all();
}

void RenderThread::Run() {
    std::unique_ptr<ffglhost::FrameSource> source;
    bool started = false;
    while (true) {
        int64_t index = 0;
        ffglhost::ParameterValues values;
        uint64_t version = 0;
        bool restart = false;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(
                lock, [this] { return stop_ || (requested_ && (failure_.empty() || restart_)); });
            if (stop_) {
                return;
            }
            requested_ = false;
            index = index_;
            values = values_;
            version = version_;
            restart = restart_;
            restart_ = false;
            failure_.clear();
        }
        PlayFrame frame;
        std::string failure;
        try {
            if (restart || !started) {
                started = false;
                renderer_->Start(values);
                started = true;
            }
            renderer_->SetValues(values);
            const ffglhost::Image* input = source ? source->Next() : nullptr;
            if (input == nullptr) {
                source = openInput_();  // the first frame, or a video that ended: loop
                input = source->Next();
            }
            if (input == nullptr) {
                throw HostError("the input gives no frames");
            }
            const auto begin = std::chrono::steady_clock::now();
            renderer_->Draw(index, *input, frame.image);
            frame.drawMs =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin)
                    .count();
            frame.displays = renderer_->DisplayTexts();
            frame.version = version;
            frame.index = index;
        } catch (const std::exception& error) {
            // Whatever went wrong is said in the window; the thread goes on.
            failure = error.what();
            started = false;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            drawnIndex_ = index;
            drawnVersion_ = version;
            if (!failure.empty()) {
                failure_ = failure;
                ++failureCount_;
            } else {
                frame_ = std::move(frame);
                frameReady_ = true;
            }
        }
        wake_();
    }
}
