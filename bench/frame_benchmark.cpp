// Frame cost of the effect through plugMain, against the floor any full-screen effect
// pays: the same quad drawn with a program that only samples the input.
#include <benchmark/benchmark.h>

#define GL_GLEXT_PROTOTYPES
#include <GL/glcorearb.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <vector>

#include "lib/gl/gl_context.h"
#include "lib/gl/gl_objects.h"
#include "lib/plugin/plugin_library.h"

namespace {

using ffglhost::PluginLibrary;

ffglhost::GlContext& Context() {
    static ffglhost::GlContext context;
    return context;
}

const PluginLibrary& Module() {
    static const PluginLibrary module(QUELLIX_MODULE_PATH);
    return module;
}

// Frame times per resolution, for the ratio printed at the end.
std::map<int, double> g_effectSeconds;
std::map<int, double> g_passthroughSeconds;

std::vector<uint8_t> Picture(uint32_t width, uint32_t height) {
    std::vector<uint8_t> rgba(size_t{width} * height * 4);
    for (size_t i = 0; i < rgba.size(); ++i) {
        rgba[i] = static_cast<uint8_t>((i * 2654435761u) >> 24);
    }
    return rgba;
}

// A screen: input texture and render target of one size.
struct Screen {
    Screen(uint32_t width, uint32_t height)
        : picture(Picture(width, height)),
          texture(width, height, picture.data()),
          target(width, height) {}
    std::vector<uint8_t> picture;
    ffglhost::Texture texture;
    ffglhost::RenderTarget target;
};

FFInstanceID Instantiate(uint32_t width, uint32_t height) {
    FFGLViewportStruct viewport{0, 0, width, height};
    return PluginLibrary::AsPointer<void>(Module().Call(FF_INSTANTIATE_GL, &viewport));
}

// One effect instance drawing the screen's input into its target.
struct EffectScreen : Screen {
    explicit EffectScreen(const benchmark::State& state)
        : Screen(static_cast<uint32_t>(state.range(0)), static_cast<uint32_t>(state.range(1))),
          instance(Instantiate(target.Width(), target.Height())),
          input(texture.Describe()) {
        target.Bind();
    }
    ~EffectScreen() { Module().Call(FF_DEINSTANTIATE_GL, 0, instance); }
    void Frame() {
        FFGLTextureStruct* inputs[] = {&input};
        ProcessOpenGLStruct frame{1, inputs, target.Framebuffer()};
        Module().Call(FF_PROCESS_OPENGL, &frame, instance);
    }
    FFInstanceID instance;
    FFGLTextureStruct input;
};

void EffectFrame(benchmark::State& state) {
    Context();
    EffectScreen screen(state);
    for (auto _ : state) {
        screen.Frame();
        glFinish();
    }
}

// Host-thread time of the frame call alone: the GL work is finished outside the timing.
void EffectFrameCallOnly(benchmark::State& state) {
    Context();
    EffectScreen screen(state);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        screen.Frame();
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        glFinish();
    }
}

GLuint Compile(GLenum type, const char* source) {
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    return shader;
}

void PassthroughFrame(benchmark::State& state) {
    Context();
    const auto width = static_cast<uint32_t>(state.range(0));
    const auto height = static_cast<uint32_t>(state.range(1));
    Screen screen(width, height);
    const GLuint vertex = Compile(GL_VERTEX_SHADER, R"(#version 410 core
layout(location = 0) in vec4 vPosition;
layout(location = 1) in vec2 vUV;
out vec2 uv;
void main() { uv = vUV; gl_Position = vPosition; })");
    const GLuint fragment = Compile(GL_FRAGMENT_SHADER, R"(#version 410 core
in vec2 uv;
out vec4 fragColor;
uniform sampler2D InputTexture;
void main() { fragColor = vec4(texture(InputTexture, uv).rgb, 1.0); })");
    const GLuint program = glCreateProgram();
    glAttachShader(program, vertex);
    glAttachShader(program, fragment);
    glLinkProgram(program);
    // The effect's quad: u, v, x, y, z per vertex.
    const float vertices[] = {0, 1, -1, 1,  0, 1, 1, 1, 1, 0, 0, 0, -1, -1, 0,
                              0, 0, -1, -1, 0, 1, 1, 1, 1, 0, 1, 0, 1,  -1, 0};
    GLuint vertexArray = 0;
    GLuint buffer = 0;
    glGenVertexArrays(1, &vertexArray);
    glGenBuffers(1, &buffer);
    glBindVertexArray(vertexArray);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof vertices, vertices, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 20, reinterpret_cast<const void*>(8));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 20, nullptr);
    glBindVertexArray(0);
    screen.target.Bind();
    for (auto _ : state) {
        glUseProgram(program);
        glBindTexture(GL_TEXTURE_2D, screen.texture.Name());
        glBindVertexArray(vertexArray);
        glDrawArrays(GL_TRIANGLES, 0, 6);
        glBindVertexArray(0);
        glBindTexture(GL_TEXTURE_2D, 0);
        glUseProgram(0);
        glFinish();
    }
    glDeleteBuffers(1, &buffer);
    glDeleteVertexArrays(1, &vertexArray);
    glDeleteProgram(program);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
}

void Instantiation(benchmark::State& state) {
    Context();
    for (auto _ : state) {
        FFInstanceID instance = Instantiate(1280, 720);
        Module().Call(FF_DEINSTANTIATE_GL, 0, instance);
        glFinish();
    }
}

void Resolutions(benchmark::internal::Benchmark* benchmark) {
    benchmark->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMillisecond);
}

// The GL work runs on llvmpipe's threads, so wall time is what counts.
BENCHMARK(EffectFrame)->Apply(Resolutions)->UseRealTime()->MinTime(1.0);
BENCHMARK(PassthroughFrame)->Apply(Resolutions)->UseRealTime()->MinTime(1.0);
BENCHMARK(EffectFrameCallOnly)
    ->Apply(Resolutions)
    ->UseManualTime()
    ->Iterations(60)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(Instantiation)->UseRealTime()->Iterations(20)->Unit(benchmark::kMillisecond);

// Collects the frame times and prints the effect/passthrough ratio per resolution.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const std::string name = run.benchmark_name();
            const int height = name.find("/1080") != std::string::npos ? 1080 : 720;
            const double seconds = run.GetAdjustedRealTime();
            if (name.rfind("EffectFrame/", 0) == 0) {
                g_effectSeconds[height] = seconds;
            } else if (name.rfind("PassthroughFrame/", 0) == 0) {
                g_passthroughSeconds[height] = seconds;
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const auto& [height, effect] : g_effectSeconds) {
            const auto passthrough = g_passthroughSeconds.find(height);
            if (passthrough != g_passthroughSeconds.end() && passthrough->second > 0) {
                std::printf("effect/passthrough at %dp: %.1f\n", height,
                            effect / passthrough->second);
            }
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
