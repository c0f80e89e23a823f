// The plug-in in the window's own process: a headless EGL context on the render thread,
// never the window's context. A crash here ends the process; the worker process avoids
// that.
#include <cstdio>

#include "frame_renderer.h"
#include "lib/gl/gl_context.h"
#include "lib/gl/gl_objects.h"
#include "lib/host_error.h"
#include "lib/plugin/plugin_instance.h"
#include "lib/plugin/plugin_library.h"
#include "lib/plugin/plugin_log.h"
#include "lib/plugin/plugin_report.h"

namespace {

using ffglhost::HostError;

class InProcessRenderer : public FrameRenderer {
  public:
    InProcessRenderer(std::string path, uint32_t width, uint32_t height, bool quiet)
        : path_(std::move(path)), width_(width), height_(height), quiet_(quiet) {}

    ~InProcessRenderer() override { Stop(); }

    void Start(const std::vector<ffglhost::ParameterSetting>& values) override {
        Stop();
        if (!context_) {
            context_ = std::make_unique<ffglhost::GlContext>();
        }
        context_->MakeCurrent();
        plugin_ = std::make_unique<ffglhost::PluginLibrary>(path_);
        log_ = std::make_unique<ffglhost::PluginLog>(*plugin_, quiet_ ? nullptr : stderr);
        target_ = std::make_unique<ffglhost::RenderTarget>(width_, height_);
        log_->Hold();
        try {
            instance_ = std::make_unique<ffglhost::PluginInstance>(*plugin_, width_, height_);
        } catch (const HostError& error) {
            throw HostError(std::string(error.what()) + log_->HeldSummary());
        }
        log_->Release();
        for (const ffglhost::ParameterSetting& value : values) {
            instance_->Set(value);
        }
    }

    void Set(const ffglhost::ParameterSetting& setting) override { instance_->Set(setting); }

    void Draw(double seconds, const ffglhost::Image& input, ffglhost::Image& output) override {
        if (!texture_ || textureWidth_ != input.width || textureHeight_ != input.height) {
            texture_ = std::make_unique<ffglhost::Texture>(input.width, input.height, nullptr);
            textureWidth_ = input.width;
            textureHeight_ = input.height;
        }
        glOrder_.resize(input.rgba.size());
        ffglhost::FlipRowsInto(input.rgba.data(), glOrder_.data(), input.RowBytes(), input.height);
        texture_->Upload(glOrder_.data());
        instance_->SetTime(seconds);
        instance_->Process(*texture_, *target_);
        const std::vector<uint8_t> pixels = target_->ReadPixels();
        output.width = width_;
        output.height = height_;
        output.rgba.resize(pixels.size());
        ffglhost::FlipRowsInto(pixels.data(), output.rgba.data(), output.RowBytes(), height_);
    }

    std::vector<std::string> DisplayTexts() override {
        std::vector<std::string> texts;
        for (const ffglhost::ParameterReport& parameter :
             ffglhost::ReadPluginReport(*plugin_, instance_->Handle()).parameters) {
            texts.push_back(parameter.display);
        }
        return texts;
    }

    std::string Where() const override { return "in this process"; }

  private:
    void Stop() {
        instance_.reset();
        texture_.reset();
        target_.reset();
        log_.reset();
        plugin_.reset();
    }

    std::string path_;
    uint32_t width_;
    uint32_t height_;
    bool quiet_;
    std::unique_ptr<ffglhost::GlContext> context_;
    std::unique_ptr<ffglhost::PluginLibrary> plugin_;
    std::unique_ptr<ffglhost::PluginLog> log_;
    std::unique_ptr<ffglhost::RenderTarget> target_;
    std::unique_ptr<ffglhost::PluginInstance> instance_;
    std::unique_ptr<ffglhost::Texture> texture_;
    uint32_t textureWidth_ = 0;
    uint32_t textureHeight_ = 0;
    std::vector<uint8_t> glOrder_;
};

}  // namespace

std::unique_ptr<FrameRenderer> MakeInProcessRenderer(const std::string& pluginPath, uint32_t width,
                                                     uint32_t height, bool quiet) {
    return std::make_unique<InProcessRenderer>(pluginPath, width, height, quiet);
}
