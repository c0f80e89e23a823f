// The plug-in in a worker process of its own (lib/worker): a crash, an exit or a hang
// takes only the worker, and the window starts a new one with the same values.
#include <unistd.h>

#include "frame_renderer.h"
#include "lib/worker/worker_client.h"

namespace {

class WorkerRenderer : public FrameRenderer {
  public:
    WorkerRenderer(std::unique_ptr<ffglhost::WorkerClient> client, uint32_t width, uint32_t height)
        : client_(std::move(client)), width_(width), height_(height) {}

    void Start(const ffglhost::ParameterValues& values) override {
        SetValues(values);
        if (started_) {
            client_->Restart();
        }
        started_ = true;
    }

    void SetValues(const ffglhost::ParameterValues& values) override { client_->SetValues(values); }

    void Draw(int64_t index, const ffglhost::Image& input, ffglhost::Image& output) override {
        // The worker takes an input of the output's size.
        const ffglhost::Image* fitted = &input;
        if (input.width != width_ || input.height != height_) {
            scaled_ = ffglhost::ScaleImage(input, width_, height_);
            fitted = &scaled_;
        }
        output.width = width_;
        output.height = height_;
        output.rgba.resize(size_t{width_} * height_ * 4);
        ffglhost::WorkerFrame frame;
        frame.width = width_;
        frame.height = height_;
        frame.input = fitted->rgba.data();
        frame.output = output.rgba.data();
        // Plug-ins with a clock of their own count frames: the worker catches up on the
        // frames between (or starts afresh to go back), so frame N looks as in `render`.
        frame.hostSeconds = static_cast<double>(index) / ffglhost::kStepsPerSecond;
        frame.frameIndex = index;
        client_->Render(frame);
    }

    std::vector<std::string> DisplayTexts() override { return client_->ParameterDisplays(); }

    std::string Where() const override { return "in a worker process"; }

    void Cancel() override { client_->Cancel(); }

  private:
    std::unique_ptr<ffglhost::WorkerClient> client_;
    uint32_t width_;
    uint32_t height_;
    ffglhost::Image scaled_;
    bool started_ = false;
};

}  // namespace

std::unique_ptr<FrameRenderer> MakeWorkerRenderer(std::unique_ptr<ffglhost::WorkerClient> client,
                                                  uint32_t width, uint32_t height) {
    return std::make_unique<WorkerRenderer>(std::move(client), width, height);
}
