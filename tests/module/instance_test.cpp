// Host instances of the loaded module in a real headless GL context: their life cycle,
// their parameters and the frames they draw.
#include <gtest/gtest.h>

#define GL_GLEXT_PROTOTYPES
#include <GL/glcorearb.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "lib/gl/gl_objects.h"
#include "support/loaded_module.h"

namespace {

using L = ffglhost::PluginLibrary;

// A test picture: a colour gradient whose alpha varies, so that an output alpha of 1 and
// pass-through are both visible.
std::vector<uint8_t> Gradient(uint32_t width, uint32_t height) {
    std::vector<uint8_t> rgba(size_t{width} * height * 4);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* p = &rgba[(size_t{y} * width + x) * 4];
            p[0] = static_cast<uint8_t>(x * 255 / (width - 1));
            p[1] = static_cast<uint8_t>(y * 255 / (height - 1));
            p[2] = static_cast<uint8_t>((x + y) % 200);
            p[3] = static_cast<uint8_t>((x * 7 + y * 3) % 256);
        }
    }
    return rgba;
}

class Instance : public ::testing::Test {
  protected:
    static constexpr uint32_t kWidth = 128;
    static constexpr uint32_t kHeight = 96;

    void SetUp() override {
        HostLog::Install();
        HostLog::Clear();
        FFGLViewportStruct viewport{0, 0, kWidth, kHeight};
        const FFResult handle = Module().Call(FF_INSTANTIATE_GL, &viewport);
        ASSERT_NE(handle, 0x00000000FFFFFFFFu);
        instance_ = L::AsPointer<void>(handle);
        input_ = Gradient(kWidth, kHeight);
        texture_ = std::make_unique<ffglhost::Texture>(kWidth, kHeight, input_.data());
        target_ = std::make_unique<ffglhost::RenderTarget>(kWidth, kHeight);
    }

    void TearDown() override {
        if (instance_ != nullptr) {
            EXPECT_EQ(Call(FF_DEINSTANTIATE_GL), FF_SUCCESS);
        }
        Module().SetLogCallback(nullptr);
    }

    FFResult Call(uint32_t code, FFMixed input = 0) const {
        return Module().Call(code, input, instance_);
    }
    template <typename Record>
    FFResult Call(uint32_t code, Record* record) const {
        return Module().Call(code, record, instance_);
    }

    void Set(uint32_t index, float value) const {
        SetParameterStruct record{};
        record.ParameterNumber = index;
        record.NewParameterValue.FloatValue = value;
        ASSERT_EQ(Call(FF_SET_PARAMETER, &record), FF_SUCCESS);
    }

    FFResult Frame(FFGLTextureStruct texture) const {
        FFGLTextureStruct* inputs[] = {&texture};
        ProcessOpenGLStruct frame{};
        frame.numInputTextures = 1;
        frame.inputTextures = inputs;
        frame.HostFBO = target_->Framebuffer();
        target_->Bind();
        return Call(FF_PROCESS_OPENGL, &frame);
    }
    FFResult Frame() const { return Frame(texture_->Describe()); }

    // The module's program: the one live program with the flare's uniforms.
    static GLuint FlareProgram() {
        for (GLuint name = 1; name < 4096; ++name) {
            if (glIsProgram(name) && glGetUniformLocation(name, "FlarePos[0]") >= 0) {
                return name;
            }
        }
        return 0;
    }
    static std::vector<float> Uniform(const char* name, int components) {
        const GLuint program = FlareProgram();
        std::vector<float> values(4, 0.0f);
        glGetUniformfv(program, glGetUniformLocation(program, name), values.data());
        values.resize(static_cast<size_t>(components));
        return values;
    }

    FFInstanceID instance_ = nullptr;
    std::vector<uint8_t> input_;
    std::unique_ptr<ffglhost::Texture> texture_;
    std::unique_ptr<ffglhost::RenderTarget> target_;
};

TEST_F(Instance, InstantiationLogsTwoLinesToTheHost) {
    EXPECT_EQ(HostLog::Lines(), (std::vector<std::string>{"Quellix v3.0: InitGL starting...",
                                                          "Quellix v3.0: InitGL SUCCESS"}));
}

TEST_F(Instance, NoLogCallbackMeansNoMessageAndNoFailure) {
    Module().SetLogCallback(nullptr);
    HostLog::Clear();
    FFGLViewportStruct viewport{0, 0, 32, 32};
    const FFResult second = Module().Call(FF_INSTANTIATE_GL, &viewport);
    ASSERT_NE(second, FF_FAIL);
    EXPECT_EQ(Module().Call(FF_DEINSTANTIATE_GL, 0, L::AsPointer<void>(second)), FF_SUCCESS);
    EXPECT_TRUE(HostLog::Lines().empty());
}

TEST_F(Instance, ParametersSetGetAndDisplay) {
    for (uint32_t i = 0; i < 6; ++i) {
        EXPECT_EQ(Call(FF_GET_PARAMETER, i), Module().Call(FF_GET_PARAMETER_DEFAULT, i)) << i;
    }
    Set(2, 0.75f);
    EXPECT_EQ(Call(FF_GET_PARAMETER, 2), L::FloatInput(0.75f));
    Set(0, 1.4f);  // stored unclamped
    EXPECT_EQ(Call(FF_GET_PARAMETER, 0), L::FloatInput(1.4f));

    SetParameterStruct absent{};
    absent.ParameterNumber = 6;
    absent.NewParameterValue.FloatValue = 0.5f;
    EXPECT_EQ(Call(FF_SET_PARAMETER, &absent), FF_FAIL);
    EXPECT_EQ(Call(FF_GET_PARAMETER, 6), 0u) << "0.0 for an absent index";

    const char* display = L::AsPointer<const char>(Call(FF_GET_PARAMETER_DISPLAY, 1));
    ASSERT_NE(display, nullptr);
    EXPECT_EQ(0, std::memcmp(display, "0.500000\0\0\0\0\0\0\0\0", 16));
    Set(3, -1.5f);
    display = L::AsPointer<const char>(Call(FF_GET_PARAMETER_DISPLAY, 3));
    EXPECT_EQ(0, std::memcmp(display, "-1.500000\0\0\0\0\0\0\0", 16));
    // A text of 16 characters is cut to 16 and still reaches the host terminated.
    Set(4, 123456789.0f);
    display = L::AsPointer<const char>(Call(FF_GET_PARAMETER_DISPLAY, 4));
    EXPECT_EQ(std::string(display), "123456792.000000");
    Set(4, 3.0e38f);
    display = L::AsPointer<const char>(Call(FF_GET_PARAMETER_DISPLAY, 4));
    EXPECT_EQ(std::strlen(display), 16u);
    EXPECT_EQ(Call(FF_GET_PARAMETER_DISPLAY, 6), 0u) << "null for an absent index";
}

TEST_F(Instance, HostCodesAnswerSuccess) {
    EXPECT_EQ(Call(FF_GET_INPUT_STATUS, 0), 1u);
    EXPECT_EQ(Call(FF_GET_INPUT_STATUS, 1), FF_FAIL);
    EXPECT_EQ(Call(FF_GET_INPUT_STATUS, 0xFFFFFFFFu), FF_FAIL);
    EXPECT_EQ(Call(FF_CONNECT), FF_SUCCESS);
    EXPECT_EQ(Call(FF_DISCONNECT), FF_SUCCESS);
    FFGLViewportStruct viewport{0, 0, 640, 480};
    EXPECT_EQ(Call(FF_RESIZE, &viewport), FF_SUCCESS);
    double time = 12.5;
    EXPECT_EQ(Call(FF_SET_TIME, &time), FF_SUCCESS);
    BeatRecord beat{128.0f, 0.25f};
    EXPECT_EQ(Call(FF_SET_BEATINFO, &beat), FF_SUCCESS);
    HostDetailsRecord details{"Test host", "1.0"};
    EXPECT_EQ(Call(FF_SET_HOSTINFO, &details), FF_SUCCESS);
    EXPECT_EQ(Call(FF_SET_SAMPLERATE, 48000), FF_SUCCESS);
    EXPECT_EQ(Call(FF_ENABLE_PLUGIN_CAP, FF_CAP_16), FF_FAIL);
    EXPECT_EQ(Module().Call(FF_GET_PLUGIN_CAPS, FF_CAP_16), 0u);

    EventQueryRecord events{5, nullptr};
    EXPECT_EQ(Call(FF_GET_PARAM_EVENTS, &events), FF_SUCCESS);
    EXPECT_EQ(events.Count, 0u);
    EventEntry entries[2] = {};
    events = {2, entries};
    EXPECT_EQ(Call(FF_GET_PARAM_EVENTS, &events), FF_SUCCESS);
    EXPECT_EQ(events.Count, 0u);

    char buffer[4] = {};
    TextRequest request{0, buffer, 3};
    EXPECT_EQ(Call(FF_GET_PARAM_DISPLAY_NAME, &request), FF_SUCCESS);
    EXPECT_EQ(buffer[0], '\0');
}

TEST_F(Instance, ElementValuesLiveInTheInstancesOwnRegistry) {
    ElementValueRecord record{2, 0, 0.25f};
    EXPECT_EQ(Call(FF_SET_PARAMETER_ELEMENT_VALUE, &record), FF_SUCCESS);
    record.ElementNumber = 1;
    EXPECT_EQ(Call(FF_SET_PARAMETER_ELEMENT_VALUE, &record), FF_FAIL);
    ElementRequest element{2, 0};
    EXPECT_EQ(Call(FF_GET_PARAMETER_ELEMENT_VALUE, &element), L::FloatInput(0.25f));
    EXPECT_EQ(Module().Call(FF_GET_PARAMETER_ELEMENT_VALUE, &element), 0u)
        << "the prototype keeps 0";
}

TEST_F(Instance, FramesMoveTheFlareAlongTheAutoMovePath) {
    struct Expected {
        int frames;
        float x, y;
    };
    int rendered = 0;
    for (const Expected& step : {Expected{1, 0.5736f, 0.4420f}, Expected{60, 0.5653f, 0.4475f},
                                 Expected{600, 0.5375f, 0.5475f}}) {
        while (rendered < step.frames) {
            ASSERT_EQ(Frame(), FF_SUCCESS);
            ++rendered;
        }
        const std::vector<float> position = Uniform("FlarePos[0]", 2);
        EXPECT_NEAR(position[0], step.x, 1e-4) << step.frames << " frames";
        EXPECT_NEAR(position[1], step.y, 1e-4) << step.frames << " frames";
        RecordProperty("flare_after_" + std::to_string(step.frames),
                       std::to_string(position[0]) + "," + std::to_string(position[1]));
    }
    EXPECT_NEAR(Uniform("Time", 1)[0], 10.0f, 1e-4);
    EXPECT_EQ(Uniform("FlareAlpha[0]", 1)[0], 1.0f);
    EXPECT_EQ(Uniform("Intensity", 1)[0], 0.9f * 3.0f);
}

TEST_F(Instance, StillFlareIsUnclampedAndTheThresholdIsExclusive) {
    Set(4, 0.0f);
    Set(0, 1.4f);
    ASSERT_EQ(Frame(), FF_SUCCESS);
    EXPECT_EQ(Uniform("FlarePos[0]", 2), (std::vector<float>{1.4f, 0.5f}));

    Set(4, 0.5f);
    ASSERT_EQ(Frame(), FF_SUCCESS);
    EXPECT_LE(Uniform("FlarePos[0]", 2)[0], 1.0f);

    Set(0, 0.5f);
    Set(4, 0.001f);
    ASSERT_EQ(Frame(), FF_SUCCESS);
    EXPECT_EQ(Uniform("FlarePos[0]", 2), (std::vector<float>{0.5f, 0.5f}));
    Set(4, 0.0011f);
    ASSERT_EQ(Frame(), FF_SUCCESS);
    EXPECT_NE(Uniform("FlarePos[0]", 2), (std::vector<float>{0.5f, 0.5f}));
}

TEST_F(Instance, PaddedInputSetsMaxUVAndTheTextureResolution) {
    const std::vector<uint8_t> picture = Gradient(640, 360);
    ffglhost::Texture padded(640, 360, picture.data(), true);
    ASSERT_EQ(Frame(padded.Describe()), FF_SUCCESS);
    EXPECT_EQ(Uniform("MaxUV", 2), (std::vector<float>{0.625f, 0.703125f}));
    EXPECT_EQ(Uniform("Resolution", 2), (std::vector<float>{1024.0f, 512.0f}));
}

TEST_F(Instance, IntensityZeroPassesTheInputThroughWithOpaqueAlpha) {
    Set(2, 0.0f);
    ASSERT_EQ(Frame(), FF_SUCCESS);
    const std::vector<uint8_t> output = target_->ReadPixels();
    for (size_t i = 0; i < output.size(); i += 4) {
        ASSERT_EQ(0, std::memcmp(&output[i], &input_[i], 3)) << "pixel " << i / 4;
        ASSERT_EQ(output[i + 3], 255) << "pixel " << i / 4;
    }
}

TEST_F(Instance, ClosedStrobeHalfPassesTheInputThrough) {
    // At 31 cycles a second the first frame (t = 1/60) falls in the closed half.
    Set(5, 1.0f);
    ASSERT_EQ(Frame(), FF_SUCCESS);
    const std::vector<uint8_t> output = target_->ReadPixels();
    for (size_t i = 0; i < output.size(); i += 4) {
        ASSERT_EQ(0, std::memcmp(&output[i], &input_[i], 3)) << "pixel " << i / 4;
    }
}

TEST_F(Instance, FlareBrightensNearItsCentreAndNeverDarkens) {
    Set(4, 0.0f);  // still, at the centre
    ASSERT_EQ(Frame(), FF_SUCCESS);
    const std::vector<uint8_t> output = target_->ReadPixels();
    int brighter = 0;
    for (size_t i = 0; i < output.size(); i += 4) {
        for (size_t c = 0; c < 3; ++c) {
            ASSERT_GE(output[i + c], input_[i + c]) << "pixel " << i / 4 << " channel " << c;
        }
        ASSERT_EQ(output[i + 3], 255) << "pixel " << i / 4;
        brighter += output[i + 2] > input_[i + 2] + 8 ? 1 : 0;
    }
    const size_t centre = (size_t{kHeight / 2} * kWidth + kWidth / 2) * 4;
    EXPECT_GT(output[centre + 2], 240) << "the core is bright blue-white";
    EXPECT_GT(brighter, 100);
}

TEST_F(Instance, FrameWithoutAUsableInputFailsAndLeavesTheClock) {
    ProcessOpenGLStruct frame{};
    frame.HostFBO = target_->Framebuffer();
    EXPECT_EQ(Call(FF_PROCESS_OPENGL, &frame), FF_FAIL) << "no inputs";
    frame.numInputTextures = 1;
    EXPECT_EQ(Call(FF_PROCESS_OPENGL, &frame), FF_FAIL) << "null texture array";
    FFGLTextureStruct* missing[] = {nullptr};
    frame.inputTextures = missing;
    EXPECT_EQ(Call(FF_PROCESS_OPENGL, &frame), FF_FAIL) << "null first texture";
    FFGLTextureStruct empty = texture_->Describe();
    empty.HardwareWidth = 0;
    EXPECT_EQ(Frame(empty), FF_FAIL) << "texture width 0";
    empty = texture_->Describe();
    empty.HardwareHeight = 0;
    EXPECT_EQ(Frame(empty), FF_FAIL) << "texture height 0";

    ASSERT_EQ(Frame(), FF_SUCCESS);
    EXPECT_NEAR(Uniform("Time", 1)[0], 1.0f / 60.0f, 1e-7);
}

TEST_F(Instance, FrameLeavesTheHostFramebufferBoundAndTheDefaultsElsewhere) {
    GLuint otherTexture = 0;
    glGenTextures(1, &otherTexture);
    glActiveTexture(GL_TEXTURE3);
    glBindTexture(GL_TEXTURE_2D, otherTexture);
    ASSERT_EQ(Frame(), FF_SUCCESS);
    GLint value = -1;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &value);
    EXPECT_EQ(value, static_cast<GLint>(target_->Framebuffer()));
    glGetIntegerv(GL_CURRENT_PROGRAM, &value);
    EXPECT_EQ(value, 0);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &value);
    EXPECT_EQ(value, GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &value);
    EXPECT_EQ(value, 0);
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &value);
    EXPECT_EQ(value, 0);
    glActiveTexture(GL_TEXTURE3);
    glBindTexture(GL_TEXTURE_2D, 0);
    glActiveTexture(GL_TEXTURE0);
    glDeleteTextures(1, &otherTexture);
}

TEST_F(Instance, DeinstantiationDeletesTheProgram) {
    const GLuint program = FlareProgram();
    ASSERT_NE(program, 0u);
    EXPECT_EQ(Call(FF_DEINSTANTIATE_GL), FF_SUCCESS);
    instance_ = nullptr;
    EXPECT_FALSE(glIsProgram(program));
}

}  // namespace
