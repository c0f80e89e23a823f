// Frame cost of the effect through plugMain, against the floor any full-screen effect
// pays: the same quad drawn with a program that only samples the input. Then where the
// time goes: each part of the flare drawn alone by a program assembled from the effect's
// own vertex stage and function block.
#include <benchmark/benchmark.h>

#define GL_GLEXT_PROTOTYPES
#include <GL/glcorearb.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "effect/flare_shader.h"
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
// Frame times of the flare's parts drawn alone at 1080p, by part name; and the CPU time of
// the thread that drew them and of the passthrough frame at 1080p.
std::map<std::string, double> g_partSeconds;
std::map<std::string, double> g_partCpuSeconds;
double g_passthroughCpuSeconds = 0.0;

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

// A program of the benchmark's own drawn over the effect's quad, the way the effect draws.
class QuadProgram {
  public:
    QuadProgram(const char* vertexSource, const char* fragmentSource)
        : vertex_(Compile(GL_VERTEX_SHADER, vertexSource)),
          fragment_(Compile(GL_FRAGMENT_SHADER, fragmentSource)),
          program_(glCreateProgram()) {
        glAttachShader(program_, vertex_);
        glAttachShader(program_, fragment_);
        glLinkProgram(program_);
        GLint linked = GL_FALSE;
        glGetProgramiv(program_, GL_LINK_STATUS, &linked);
        if (linked != GL_TRUE) {
            std::fprintf(stderr, "benchmark program does not link\n");
        }
        // The effect's quad: u, v, x, y, z per vertex.
        const float vertices[] = {0, 1, -1, 1,  0, 1, 1, 1, 1, 0, 0, 0, -1, -1, 0,
                                  0, 0, -1, -1, 0, 1, 1, 1, 1, 0, 1, 0, 1,  -1, 0};
        glGenVertexArrays(1, &vertexArray_);
        glGenBuffers(1, &buffer_);
        glBindVertexArray(vertexArray_);
        glBindBuffer(GL_ARRAY_BUFFER, buffer_);
        glBufferData(GL_ARRAY_BUFFER, sizeof vertices, vertices, GL_STATIC_DRAW);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 20, reinterpret_cast<const void*>(8));
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 20, nullptr);
        glBindVertexArray(0);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
    ~QuadProgram() {
        glDeleteBuffers(1, &buffer_);
        glDeleteVertexArrays(1, &vertexArray_);
        glDeleteProgram(program_);
        glDeleteShader(vertex_);
        glDeleteShader(fragment_);
    }
    QuadProgram(const QuadProgram&) = delete;
    QuadProgram& operator=(const QuadProgram&) = delete;

    GLuint Program() const { return program_; }
    void Draw(GLuint texture) const {
        glUseProgram(program_);
        glBindTexture(GL_TEXTURE_2D, texture);
        glBindVertexArray(vertexArray_);
        glDrawArrays(GL_TRIANGLES, 0, 6);
        glBindVertexArray(0);
        glBindTexture(GL_TEXTURE_2D, 0);
        glUseProgram(0);
    }

  private:
    GLuint vertex_;
    GLuint fragment_;
    GLuint program_;
    GLuint vertexArray_ = 0;
    GLuint buffer_ = 0;
};

void PassthroughFrame(benchmark::State& state) {
    Context();
    Screen screen(static_cast<uint32_t>(state.range(0)), static_cast<uint32_t>(state.range(1)));
    const QuadProgram passthrough(R"(#version 410 core
layout(location = 0) in vec4 vPosition;
layout(location = 1) in vec2 vUV;
out vec2 uv;
void main() { uv = vUV; gl_Position = vPosition; })",
                                  R"(#version 410 core
in vec2 uv;
out vec4 fragColor;
uniform sampler2D InputTexture;
void main() { fragColor = vec4(texture(InputTexture, uv).rgb, 1.0); })");
    screen.target.Bind();
    for (auto _ : state) {
        passthrough.Draw(screen.texture.Name());
        glFinish();
    }
}

// The parts of the flare, each alone: the effect's own vertex stage and a fragment stage
// of the effect's functions that samples the input and adds one part of the light.
struct FlarePart {
    const char* name;
    const char* light;  // GLSL expression of the part's light at q (d: offset from the flare)
};
const FlarePart kFlareParts[] = {
    // The per-frame values alone: read, so that the vertex stage must produce them all.
    {"per-frame part",
     "vec3(frameAspect + frameIntensity + frameStarRate + frameGhostSpacing + frameHaloStrength"
     " + frameGhostChroma + frameStreakShape.x + frameHaloShape.x + float(frameGhostsDrawn)"
     " + frameFlares[0].z + frameGhostSizes[1].x + frameGhostHues[1].x) * 1e-9"},
    {"star", "vec3(primaryStar(d, frameStarRate))"},
    {"ghosts",
     "ghostOrbs(q, frameFlares[0].xy, frameScreenCentre - frameFlares[0].xy, frameGhostsDrawn,"
     " frameGhostSpacing, frameGhostChroma, GhostIntensity, frameGhostSizes, frameGhostHues)"},
    {"halo", "haloRing(length(d), frameHaloShape, frameHaloStrength)"},
    {"streak", "streak(d, frameStreakShape) * 0.8"},
    {"dirt", "vec3(hash(uv.x * 127.1 + uv.y * 311.7 + Time * 0.01))"},
};

// The part's name as a benchmark name: spaces become dashes.
std::string Slug(const char* name) {
    std::string slug(name);
    for (char& c : slug) {
        c = c == ' ' ? '-' : c;
    }
    return slug;
}

std::string PartFragmentSource(const FlarePart& part) {
    return std::string(kFlareFragmentPrelude) + R"(
void main()
{
    vec2 tc = uv * MaxUV;
    vec3 src = texture(InputTexture, tc).rgb;
    vec2 q = vec2(tc.x * frameAspect, tc.y);
    vec2 d = q - frameFlares[0].xy;
    fragColor = vec4(src + FlareColor * frameFlares[0].z * ()" +
           part.light + "), 1.0);\n}\n";
}

// Sets the uniforms the effect sets on its first frame with its defaults.
void SetDefaultUniforms(GLuint program, uint32_t width, uint32_t height) {
    glUseProgram(program);
    const auto location = [program](const char* name) {
        return glGetUniformLocation(program, name);
    };
    glUniform1i(location("InputTexture"), 0);
    glUniform2f(location("MaxUV"), 1.0f, 1.0f);
    glUniform1f(location("Time"), 1.0f / 60.0f);
    glUniform2f(location("Resolution"), static_cast<float>(width), static_cast<float>(height));
    glUniform1f(location("Intensity"), 2.7f);
    glUniform1f(location("Size"), 0.6f);
    glUniform3f(location("FlareColor"), 0.3f, 0.5f, 1.0f);
    glUniform1f(location("NumGhosts"), 4.0f);
    glUniform1f(location("GhostIntensity"), 0.4f);
    glUniform1f(location("HaloSize"), 0.4f);
    glUniform1f(location("StreakLength"), 0.5f);
    glUniform1f(location("FlickerSpeed"), 0.4f);
    glUniform1f(location("FlickerAmount"), 0.5f);
    glUniform1f(location("ChromaticSpread"), 0.4f);
    glUniform1i(location("NumFlares"), 1);
    glUniform2f(location("FlarePos[0]"), 0.5736f, 0.4420f);
    glUniform1f(location("FlareAlpha[0]"), 1.0f);
    glUseProgram(0);
}

void PartFrame(benchmark::State& state, const FlarePart* part) {
    Context();
    Screen screen(static_cast<uint32_t>(state.range(0)), static_cast<uint32_t>(state.range(1)));
    const QuadProgram program(kFlareVertexSource, PartFragmentSource(*part).c_str());
    SetDefaultUniforms(program.Program(), screen.target.Width(), screen.target.Height());
    screen.target.Bind();
    for (auto _ : state) {
        program.Draw(screen.texture.Name());
        glFinish();
    }
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
                g_passthroughCpuSeconds =
                    height == 1080 ? run.GetAdjustedCPUTime() : g_passthroughCpuSeconds;
            } else if (name.rfind("PartFrame/", 0) == 0) {
                const std::string part = name.substr(10, name.find('/', 10) - 10);
                g_partSeconds[part] = seconds;
                g_partCpuSeconds[part] = run.GetAdjustedCPUTime();
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
        PrintBreakdown();
    }

  private:
    // Each part's cost above the passthrough pass, in milliseconds and in passthrough passes:
    // wall clock, and CPU time of the calling thread, which holds all of the GL work only
    // when llvmpipe renders on that thread (LP_NUM_THREADS=0) and then varies far less
    // with other load on the machine.
    static void PrintBreakdown() {
        const auto passthrough = g_passthroughSeconds.find(1080);
        if (g_partSeconds.empty() || passthrough == g_passthroughSeconds.end()) {
            return;
        }
        std::printf(
            "breakdown at 1080p, each part alone above the passthrough pass\n"
            "(wall clock; CPU of this thread, all of it with LP_NUM_THREADS=0):\n");
        for (const FlarePart& part : kFlareParts) {
            const auto found = g_partSeconds.find(Slug(part.name));
            if (found != g_partSeconds.end()) {
                const double cost = found->second - passthrough->second;
                const double cpu = g_partCpuSeconds[found->first] - g_passthroughCpuSeconds;
                std::printf("  %-15s %7.2f ms %5.2f x  | CPU %7.2f ms %5.2f x passthrough\n",
                            part.name, cost, cost / passthrough->second, cpu,
                            g_passthroughCpuSeconds > 0 ? cpu / g_passthroughCpuSeconds : 0.0);
            }
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    for (const FlarePart& part : kFlareParts) {
        benchmark::RegisterBenchmark(("PartFrame/" + Slug(part.name)).c_str(), PartFrame, &part)
            ->Args({1920, 1080})
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->MinTime(1.0);
    }
    benchmark::Initialize(&argc, argv);
    // The renderer is half of what a figure means; scripts/bench-compare.sh reads this line.
    benchmark::AddCustomContext("GL", Context().Renderer() + ", " + Context().Version());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
