// Renders a fixed scene through an FFGL module and writes the frames' raw pixels to a
// file: scene_render MODULE OUTPUT. The same source is built for Linux and Windows, so
// the two builds of the module can be compared byte for byte.
#include <cstdio>
#include <exception>
#include <vector>

#include "lib/gl/gl_context.h"
#include "lib/gl/gl_objects.h"
#include "lib/plugin/plugin_library.h"

namespace {

constexpr uint32_t kWidth = 320;
constexpr uint32_t kHeight = 180;
constexpr int kFrames = 90;
// Frames written to the output, 1-based; they span the flare's motion and the flicker.
constexpr int kWrittenFrames[] = {1, 45, 90};

// Diagonal colour bands with a varying alpha: every channel carries information.
std::vector<uint8_t> ScenePicture() {
    std::vector<uint8_t> rgba(size_t{kWidth} * kHeight * 4);
    for (uint32_t y = 0; y < kHeight; ++y) {
        for (uint32_t x = 0; x < kWidth; ++x) {
            uint8_t* pixel = &rgba[(size_t{y} * kWidth + x) * 4];
            pixel[0] = static_cast<uint8_t>((x * 3 + y) % 256);
            pixel[1] = static_cast<uint8_t>((y * 5) % 256);
            pixel[2] = static_cast<uint8_t>(((x / 16 + y / 16) % 2) * 180);
            pixel[3] = static_cast<uint8_t>(255 - (x + y) % 128);
        }
    }
    return rgba;
}

void SetParameter(const ffglhost::PluginLibrary& module, FFInstanceID instance, uint32_t index,
                  float value) {
    SetParameterStruct record{};
    record.ParameterNumber = index;
    record.NewParameterValue.FloatValue = value;
    module.Call(FF_SET_PARAMETER, &record, instance);
}

// Renders the scene; answers false when the module refuses an instance or a frame.
bool RenderScene(const ffglhost::PluginLibrary& module, std::FILE* out) {
    FFGLViewportStruct viewport{0, 0, kWidth, kHeight};
    const FFResult handle = module.Call(FF_INSTANTIATE_GL, &viewport);
    if (handle == 0x00000000FFFFFFFFu) {
        return false;
    }
    FFInstanceID instance = ffglhost::PluginLibrary::AsPointer<void>(handle);
    SetParameter(module, instance, 3, 0.8f);  // Size
    SetParameter(module, instance, 4, 0.9f);  // Auto Move
    const std::vector<uint8_t> picture = ScenePicture();
    ffglhost::Texture texture(kWidth, kHeight, picture.data());
    ffglhost::RenderTarget target(kWidth, kHeight);
    FFGLTextureStruct input = texture.Describe();
    FFGLTextureStruct* inputs[] = {&input};
    ProcessOpenGLStruct frame{1, inputs, target.Framebuffer()};
    bool rendered = true;
    for (int number = 1, next = 0; number <= kFrames && rendered; ++number) {
        target.Bind();
        rendered = module.Call(FF_PROCESS_OPENGL, &frame, instance) == FF_SUCCESS;
        if (rendered && number == kWrittenFrames[next]) {
            const std::vector<uint8_t> pixels = target.ReadPixels();
            rendered = std::fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
            ++next;
        }
    }
    module.Call(FF_DEINSTANTIATE_GL, 0, instance);
    return rendered;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: scene_render MODULE OUTPUT\n");
        return 2;
    }
    try {
        ffglhost::GlContext context;
        const ffglhost::PluginLibrary module(argv[1]);
        std::FILE* out = std::fopen(argv[2], "wb");
        if (out == nullptr) {
            std::fprintf(stderr, "scene_render: cannot write %s\n", argv[2]);
            return 1;
        }
        const bool rendered = RenderScene(module, out);
        const bool closed = std::fclose(out) == 0;
        if (!rendered || !closed) {
            std::fprintf(stderr, "scene_render: the module did not render the scene\n");
            return 1;
        }
        std::printf("%s: %s, %s\n", argv[1], context.Renderer().c_str(), context.Version().c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "scene_render: %s\n", error.what());
        return 1;
    }
    return 0;
}
