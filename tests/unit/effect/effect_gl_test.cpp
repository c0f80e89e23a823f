// The Quellix effect driven directly, without the entry point, in a real GL context: its
// log lines, the GL objects it owns across InitGL/ReleaseGL cycles, its clock, and the
// heap use of a frame.
#include "effect/quellix.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gl/gl_loader.h"
#include "host/logging.h"
#include "host/plug_main.h"
#include "lib/gl/gl_objects.h"
#include "support/allocation_hooks.h"
#include "support/live_gl_objects.h"

namespace {

// ---- Test support -----------------------------------------------------------------------

// Written through a volatile pointer, so the compiler cannot drop the probe allocation.
std::array<char, 64>* volatile g_probe = nullptr;

std::vector<std::string>& HostLines() {
    static std::vector<std::string> lines;
    return lines;
}

void CaptureHostLine(const char* message) {
    HostLines().emplace_back(message);
}

GLint Bound(GLenum name) {
    GLint value = -1;
    glGetIntegerv(name, &value);
    return value;
}

// Every GL name an initialised instance holds.
struct InstanceObjects {
    GLuint program;
    GLuint vertexArray;
    GLuint vertexBuffer;
    std::vector<GLuint> shaders;
};

InstanceObjects ObjectsOf(const Quellix& effect) {
    InstanceObjects objects{effect.Program().GetProgramHandle(),
                            effect.Quad().VertexArray(),
                            effect.Quad().VertexBuffer(),
                            {}};
    GLuint shaders[4] = {};
    GLsizei count = 0;
    if (objects.program != 0) {
        glGetAttachedShaders(objects.program, 4, &count, shaders);
    }
    objects.shaders.assign(shaders, shaders + count);
    return objects;
}

class EffectGl : public ::testing::Test {
  protected:
    static constexpr uint32_t kSize = 16;

    void SetUp() override {
        ASSERT_TRUE(EnsureGlLoader());
        HostLines().clear();
        SetLogCallback(CaptureHostLine);
        std::vector<uint8_t> rgba(size_t{kSize} * kSize * 4, 0);
        for (size_t i = 0; i < rgba.size(); ++i) {
            rgba[i] = static_cast<uint8_t>(i * 37 % 251);
        }
        texture_ = std::make_unique<ffglhost::Texture>(kSize, kSize, rgba.data());
        target_ = std::make_unique<ffglhost::RenderTarget>(kSize, kSize);
        input_ = texture_->Describe();
        inputs_[0] = &input_;
        frame_.numInputTextures = 1;
        frame_.inputTextures = inputs_;
        frame_.HostFBO = target_->Framebuffer();
    }

    void TearDown() override {
        SetLogCallback(nullptr);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        target_.reset();
        texture_.reset();
    }

    static float UniformFloat(const Quellix& effect, const char* name) {
        const GLuint program = effect.Program().GetProgramHandle();
        float value = -1.0f;
        glGetUniformfv(program, glGetUniformLocation(program, name), &value);
        return value;
    }

    const FFGLViewportStruct viewport_{0, 0, kSize, kSize};
    std::unique_ptr<ffglhost::Texture> texture_;
    std::unique_ptr<ffglhost::RenderTarget> target_;
    FFGLTextureStruct input_{};
    FFGLTextureStruct* inputs_[1] = {};
    ProcessOpenGLStruct frame_{};
};

TEST_F(EffectGl, InitGLLogsStartThenSuccessToTheHostOnly) {
    Quellix effect;
    const FFGLViewportStruct viewport{3, 4, 640, 480};
    testing::internal::CaptureStdout();
    const uint32_t result = effect.InitGL(&viewport);
    const std::string diagnostics = testing::internal::GetCapturedStdout();
    ASSERT_EQ(result, FF_SUCCESS);
    EXPECT_EQ(HostLines(), (std::vector<std::string>{"Quellix v3.0: InitGL starting...",
                                                     "Quellix v3.0: InitGL SUCCESS"}));
    EXPECT_EQ(diagnostics, "");
    EXPECT_EQ(effect.Viewport().x, 3u);
    EXPECT_EQ(effect.Viewport().y, 4u);
    EXPECT_EQ(effect.Viewport().width, 640u);
    EXPECT_EQ(effect.Viewport().height, 480u);
    EXPECT_EQ(effect.ReleaseGL(), FF_SUCCESS);
    EXPECT_EQ(HostLines().size(), 2u) << "ReleaseGL logs nothing";
}

TEST_F(EffectGl, InitReleaseCyclesLeaveNoGlObjectAlive) {
    Quellix effect;
    std::vector<InstanceObjects> cycles;
    for (int cycle = 0; cycle < 5; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        ASSERT_EQ(effect.InitGL(&viewport_), FF_SUCCESS);
        const InstanceObjects objects = ObjectsOf(effect);
        ASSERT_TRUE(glIsProgram(objects.program));
        ASSERT_TRUE(glIsVertexArray(objects.vertexArray));
        ASSERT_TRUE(glIsBuffer(objects.vertexBuffer));
        ASSERT_EQ(objects.shaders.size(), 2u);
        cycles.push_back(objects);

        EXPECT_EQ(effect.ReleaseGL(), FF_SUCCESS);
        EXPECT_EQ(effect.Program().GetProgramHandle(), 0u);
        EXPECT_EQ(effect.Quad().VertexArray(), 0u);
        EXPECT_EQ(effect.Quad().VertexBuffer(), 0u);
    }
    for (const InstanceObjects& objects : cycles) {
        EXPECT_FALSE(glIsProgram(objects.program)) << objects.program;
        EXPECT_FALSE(glIsVertexArray(objects.vertexArray)) << objects.vertexArray;
        EXPECT_FALSE(glIsBuffer(objects.vertexBuffer)) << objects.vertexBuffer;
        for (GLuint shader : objects.shaders) {
            EXPECT_FALSE(glIsShader(shader)) << shader;
        }
    }
    EXPECT_EQ(HostLines().size(), 10u);
}

// Releasing an instance that holds nothing succeeds and leaves other instances' objects.
TEST_F(EffectGl, ReleaseGLBeforeInitGLAndTwiceSucceeds) {
    Quellix other;
    ASSERT_EQ(other.InitGL(&viewport_), FF_SUCCESS);
    const InstanceObjects kept = ObjectsOf(other);

    Quellix fresh;
    EXPECT_EQ(fresh.ReleaseGL(), FF_SUCCESS);
    EXPECT_EQ(fresh.ReleaseGL(), FF_SUCCESS);

    Quellix released;
    ASSERT_EQ(released.InitGL(&viewport_), FF_SUCCESS);
    EXPECT_EQ(released.ReleaseGL(), FF_SUCCESS);
    EXPECT_EQ(released.ReleaseGL(), FF_SUCCESS);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    EXPECT_TRUE(glIsProgram(kept.program));
    EXPECT_TRUE(glIsVertexArray(kept.vertexArray));
    EXPECT_TRUE(glIsBuffer(kept.vertexBuffer));
    for (GLuint shader : kept.shaders) {
        EXPECT_TRUE(glIsShader(shader));
    }
    EXPECT_EQ(other.ReleaseGL(), FF_SUCCESS);
}

TEST_F(EffectGl, FirstFrameTimeIsOneSixtieth) {
    Quellix effect;
    ASSERT_EQ(effect.InitGL(&viewport_), FF_SUCCESS);
    ASSERT_EQ(effect.RenderFrame(&frame_), FF_SUCCESS);
    EXPECT_EQ(effect.AccumulatedTime(), 1.0 / 60.0);
    EXPECT_EQ(UniformFloat(effect, "Time"), static_cast<float>(1.0 / 60.0));
    effect.ReleaseGL();
}

// 6,000,000 frames of 1/60 s reach 100000 s. The clock is set just short of that: the
// shader's "Time" wraps to about 0 there, while the stored clock keeps counting.
TEST_F(EffectGl, TimeWrapsAtOneHundredThousandSecondsButTheClockKeepsCounting) {
    Quellix effect;
    ASSERT_EQ(effect.InitGL(&viewport_), FF_SUCCESS);
    const double start = 100000.0 - 1.5 / 60.0;
    effect.SetAccumulatedTime(start);

    ASSERT_EQ(effect.RenderFrame(&frame_), FF_SUCCESS);
    EXPECT_NEAR(UniformFloat(effect, "Time"), 100000.0 - 0.5 / 60.0, 0.01);
    EXPECT_LT(effect.AccumulatedTime(), 100000.0);

    ASSERT_EQ(effect.RenderFrame(&frame_), FF_SUCCESS);
    EXPECT_NEAR(UniformFloat(effect, "Time"), 0.5 / 60.0, 1e-6);
    EXPECT_NEAR(effect.AccumulatedTime(), 100000.0 + 0.5 / 60.0, 1e-9);

    for (int i = 0; i < 60; ++i) {
        ASSERT_EQ(effect.RenderFrame(&frame_), FF_SUCCESS);
    }
    EXPECT_NEAR(UniformFloat(effect, "Time"), 1.0 + 0.5 / 60.0, 1e-5);
    EXPECT_NEAR(effect.AccumulatedTime(), 100001.0 + 0.5 / 60.0, 1e-8);
    effect.ReleaseGL();
}

TEST_F(EffectGl, RenderFrameMakesNoHeapAllocation) {
    Quellix effect;
    ASSERT_EQ(effect.InitGL(&viewport_), FF_SUCCESS);
    effect.SetParamFloat(Quellix::kStrobe, 0.5f);
    // The first frames let the GL driver build what it caches for this draw.
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(effect.RenderFrame(&frame_), FF_SUCCESS);
    }
    glFinish();

    {
        // The counter itself must see an allocation made while it runs.
        AllocationCounter counter;
        g_probe = new std::array<char, 64>();
        delete g_probe;
        EXPECT_EQ(counter.Stop(), 1);
    }

    std::array<uint32_t, 100> results{};
    long allocations = 0;
    {
        AllocationCounter counter;
        for (uint32_t& result : results) {
            result = effect.RenderFrame(&frame_);
        }
        allocations = counter.Stop();
    }
    EXPECT_EQ(allocations, 0);
    for (uint32_t result : results) {
        EXPECT_EQ(result, FF_SUCCESS);
    }
    effect.ReleaseGL();
}

// A frame without a usable input fails before the clock or any GL call: the framebuffer
// the test left bound stays bound. The next good frame is the clock's first.
TEST_F(EffectGl, FrameWithoutAUsableInputFailsAndLeavesTheClock) {
    Quellix effect;
    ASSERT_EQ(effect.InitGL(&viewport_), FF_SUCCESS);

    FFGLTextureStruct zeroWidth = input_;
    zeroWidth.HardwareWidth = 0;
    FFGLTextureStruct zeroHeight = input_;
    zeroHeight.HardwareHeight = 0;
    FFGLTextureStruct* nullEntry[1] = {nullptr};
    FFGLTextureStruct* zeroWidthEntry[1] = {&zeroWidth};
    FFGLTextureStruct* zeroHeightEntry[1] = {&zeroHeight};
    const struct {
        const char* what;
        uint32_t count;
        FFGLTextureStruct** inputs;
    } cases[] = {
        {"no input texture", 0, inputs_},         {"null array", 1, nullptr},
        {"null first entry", 1, nullEntry},       {"texture width 0", 1, zeroWidthEntry},
        {"texture height 0", 1, zeroHeightEntry},
    };
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    for (const auto& test : cases) {
        ProcessOpenGLStruct frame{test.count, test.inputs, target_->Framebuffer()};
        EXPECT_EQ(effect.RenderFrame(&frame), FF_FAIL) << test.what;
        EXPECT_EQ(effect.AccumulatedTime(), 0.0) << test.what;
        EXPECT_EQ(Bound(GL_FRAMEBUFFER_BINDING), 0) << test.what;
    }

    ASSERT_EQ(effect.RenderFrame(&frame_), FF_SUCCESS);
    EXPECT_EQ(effect.AccumulatedTime(), 1.0 / 60.0);
    EXPECT_EQ(UniformFloat(effect, "Time"), static_cast<float>(1.0 / 60.0));
    EXPECT_EQ(Bound(GL_FRAMEBUFFER_BINDING), static_cast<GLint>(target_->Framebuffer()));
    effect.ReleaseGL();
}

}  // namespace

namespace {

// Instantiation through the entry point when the program or the quad cannot be built:
// InitGL says which, instantiation fails, and nothing it built is left alive.
TEST_F(EffectGl, InitGLFailuresAreLoggedAndLeaveNothing) {
    const struct {
        InitGLFault fault;
        const char* message;
    } rows[] = {
        {InitGLFault::kProgram, "Quellix: FAILED to compile flare shader!"},
        {InitGLFault::kQuad, "Quellix: FAILED to init quad!"},
    };
    for (const auto& row : rows) {
        HostLines().clear();
        const int before = LiveGlObjects();
        SetInitGLFaultForTesting(row.fault);
        testing::internal::CaptureStdout();
        const FFResult answer =
            plugMain(FF_INSTANTIATE_GL, reinterpret_cast<uintptr_t>(&viewport_), nullptr);
        testing::internal::GetCapturedStdout();
        SetInitGLFaultForTesting(InitGLFault::kNone);
        EXPECT_EQ(answer, 0x00000000FFFFFFFFu) << row.message;
        EXPECT_EQ(HostLines(),
                  (std::vector<std::string>{"Quellix v3.0: InitGL starting...", row.message}));
        EXPECT_EQ(LiveGlObjects(), before) << row.message;
    }
}

}  // namespace
