// Whole frames of the effect against the reference flare program: each scene is drawn by
// the effect itself, its uniforms are read back from the effect's program and copied by
// name into the reference program, and every channel of every pixel must agree within
// one 8-bit step.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "effect/flare_shader.h"
#include "effect/quellix.h"
#include "gl/gl_loader.h"
#include "gl/scoped_bindings.h"
#include "gl/screen_quad.h"
#include "gl/shader_program.h"
#include "lib/gl/gl_objects.h"
#include "support/float_target.h"
#include "support/reference_flare_program.h"

namespace {

struct Scene {
    const char* name;
    uint32_t width;
    uint32_t height;
    bool padded;  // the image in a power-of-two texture
    int frames;
    float flareX, flareY, intensity, size, autoMove, strobe;
};

// Parameter defaults: Flare X 0.5, Y 0.5, Intensity 0.9, Size 0.6, Auto Move 0.5, Strobe 0.
// Strobe 0.5 gates at 16 cycles a second: open on frame 1, closed on frame 2.
const Scene kScenes[] = {
    {"defaults, frame 1", 640, 360, false, 1, 0.5f, 0.5f, 0.9f, 0.6f, 0.5f, 0.0f},
    {"defaults, frame 60", 640, 360, false, 60, 0.5f, 0.5f, 0.9f, 0.6f, 0.5f, 0.0f},
    {"defaults, frame 600", 640, 360, false, 600, 0.5f, 0.5f, 0.9f, 0.6f, 0.5f, 0.0f},
    {"still, moved", 640, 360, false, 60, 0.2f, 0.75f, 0.9f, 0.6f, 0.0f, 0.0f},
    {"still, off the screen", 640, 360, false, 60, 1.4f, -0.3f, 0.9f, 0.6f, 0.0f, 0.0f},
    // The ghosts' axis has no length: every ghost sits on the flare.
    {"still, at the centre", 640, 360, false, 60, 0.5f, 0.5f, 0.9f, 0.6f, 0.0f, 0.0f},
    {"strobe, open", 640, 360, false, 1, 0.5f, 0.5f, 0.9f, 0.6f, 0.5f, 0.5f},
    {"strobe, closed", 640, 360, false, 2, 0.5f, 0.5f, 0.9f, 0.6f, 0.5f, 0.5f},
    {"padded input", 640, 360, true, 60, 0.5f, 0.5f, 0.9f, 0.6f, 0.5f, 0.0f},
    {"low intensity", 640, 360, false, 60, 0.5f, 0.5f, 0.05f, 0.6f, 0.5f, 0.0f},
    {"intensity below threshold", 640, 360, false, 60, 0.5f, 0.5f, 0.0003f, 0.6f, 0.5f, 0.0f},
    {"square, large size", 512, 512, false, 60, 0.3f, 0.6f, 0.9f, 1.0f, 0.0f, 0.0f},
};

std::vector<uint8_t> NoisePicture(uint32_t width, uint32_t height) {
    std::vector<uint8_t> rgba(size_t{width} * height * 4);
    for (size_t i = 0; i < rgba.size(); ++i) {
        rgba[i] = static_cast<uint8_t>((i * 2654435761u) >> 24);
    }
    return rgba;
}

// Copies every active uniform of `to` from the program `from`, element by element for
// arrays; a uniform missing in `from` fails the test.
void CopyUniforms(GLuint from, GLuint to) {
    GLint count = 0;
    glGetProgramiv(to, GL_ACTIVE_UNIFORMS, &count);
    glUseProgram(to);
    for (GLuint index = 0; index < static_cast<GLuint>(count); ++index) {
        char name[64];
        GLint size = 0;
        GLenum type = 0;
        glGetActiveUniform(to, index, sizeof name, nullptr, &size, &type, name);
        std::string base(name);
        base = base.substr(0, base.find('['));
        for (GLint element = 0; element < size; ++element) {
            const std::string full = size > 1 ? base + "[" + std::to_string(element) + "]" : base;
            const GLint source = glGetUniformLocation(from, full.c_str());
            ASSERT_GE(source, 0) << full;
            const GLint target = glGetUniformLocation(to, full.c_str());
            float values[4] = {};
            GLint integer = 0;
            switch (type) {
                case GL_FLOAT:
                    glGetUniformfv(from, source, values);
                    glUniform1fv(target, 1, values);
                    break;
                case GL_FLOAT_VEC2:
                    glGetUniformfv(from, source, values);
                    glUniform2fv(target, 1, values);
                    break;
                case GL_FLOAT_VEC3:
                    glGetUniformfv(from, source, values);
                    glUniform3fv(target, 1, values);
                    break;
                default:
                    glGetUniformiv(from, source, &integer);
                    glUniform1i(target, integer);
                    break;
            }
        }
    }
    glUseProgram(0);
}

class FlareReferenceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(EnsureGlLoader());
        ASSERT_TRUE(reference_.Build(kReferenceFlareVertexSource, kReferenceFlareFragmentSource));
        ASSERT_TRUE(quad_.CreateBuffers(false));
    }
    void TearDown() override {
        quad_.DestroyBuffers();
        reference_.DeleteObjects();
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    }

    // The largest difference of any colour channel between the effect's frame and the
    // reference program's frame with the same uniforms.
    float LargestDifference(const Scene& scene) {
        const std::vector<uint8_t> picture = NoisePicture(scene.width, scene.height);
        ffglhost::Texture texture(scene.width, scene.height, picture.data(), scene.padded);
        FFGLTextureStruct input = texture.Describe();
        FFGLTextureStruct* inputs[] = {&input};
        FloatTarget effectTarget(static_cast<int>(scene.width), static_cast<int>(scene.height));
        FloatTarget referenceTarget(static_cast<int>(scene.width), static_cast<int>(scene.height));
        EXPECT_TRUE(effectTarget.Complete() && referenceTarget.Complete());

        Quellix effect;
        const FFGLViewportStruct viewport{0, 0, scene.width, scene.height};
        EXPECT_EQ(effect.InitGL(&viewport), FF_SUCCESS);
        const float values[] = {scene.flareX, scene.flareY,   scene.intensity,
                                scene.size,   scene.autoMove, scene.strobe};
        for (uint32_t index = 0; index < Quellix::kParameterCount; ++index) {
            effect.SetParamFloat(index, values[index]);
        }
        effect.SetAccumulatedTime((scene.frames - 1) / 60.0);
        effectTarget.Bind();
        const ProcessOpenGLStruct frame{1, inputs, effectTarget.Framebuffer()};
        EXPECT_EQ(effect.RenderFrame(&frame), FF_SUCCESS);

        CopyUniforms(effect.Program().GetProgramHandle(), reference_.GetProgramHandle());
        Draw(reference_, referenceTarget, input.Handle);
        effect.ReleaseGL();
        return Compare(effectTarget.Read(), referenceTarget.Read());
    }

    static float Compare(const std::vector<Pixel>& effect, const std::vector<Pixel>& reference) {
        float largest = 0.0f;
        for (size_t i = 0; i < effect.size(); ++i) {
            for (int c = 0; c < 3; ++c) {
                largest = std::max(largest, std::fabs(effect[i][c] - reference[i][c]));
            }
            EXPECT_EQ(effect[i][3], 1.0f) << "alpha of pixel " << i;
        }
        return largest;
    }

    // Draws `program` over the target with the input bound, its uniforms already set.
    void Draw(const ShaderProgram& program, const FloatTarget& target, GLuint input) {
        target.Bind();
        ScopedProgramUse use(program.GetProgramHandle());
        ScopedTextureUnit unit(0);
        ffglex::Scoped2DTextureBinding binding(input);
        quad_.Draw();
    }

    ShaderProgram reference_;
    ScreenQuad quad_;
};

TEST_F(FlareReferenceTest, EveryChannelOfEveryPixelIsWithinOneStepOfTheReference) {
    float overall = 0.0f;
    for (const Scene& scene : kScenes) {
        const float largest = LargestDifference(scene);
        std::printf("%-28s largest channel difference %.7f (%.3f of 1/255)\n", scene.name, largest,
                    largest * 255.0f);
        EXPECT_LE(largest, 1.0f / 255.0f) << scene.name;
        overall = std::max(overall, largest);
    }
    RecordProperty("largest_difference", std::to_string(overall));
    std::printf("largest channel difference over all scenes: %.7f\n", overall);
}

// Values the effect never sends but the program accepts: more ghosts, more flares, ghosts
// or flares switched off. The effect's program is built from its sources and both programs
// get the same uniforms, set by hand.
struct Room {
    const char* name;
    float numGhosts;
    float ghostIntensity;
    int numFlares;
    float alphas[5];
};
const Room kRooms[] = {
    {"seven ghosts", 7.0f, 0.4f, 1, {1.0f, 0.0f, 0.0f, 0.0f, 0.0f}},
    {"nine ghosts, eight drawn", 8.6f, 0.4f, 1, {1.0f, 0.0f, 0.0f, 0.0f, 0.0f}},
    {"two ghosts", 2.0f, 0.4f, 1, {1.0f, 0.0f, 0.0f, 0.0f, 0.0f}},
    {"ghost count -1", -1.5f, 0.4f, 1, {1.0f, 0.0f, 0.0f, 0.0f, 0.0f}},
    {"three flares, one faint", 5.0f, 0.4f, 3, {1.0f, 0.5f, 0.0009f, 0.0f, 0.0f}},
    {"five flares, no ghosts", 0.4f, 0.4f, 5, {0.3f, 1.0f, 0.7f, 0.2f, 1.0f}},
    {"seven flares asked, five drawn", 4.0f, 0.4f, 7, {1.0f, 1.0f, 1.0f, 1.0f, 1.0f}},
    {"two flares, faint ghosts", 4.0f, 0.0009f, 2, {1.0f, 1.0f, 0.0f, 0.0f, 0.0f}},
    {"no flare", 4.0f, 0.4f, 0, {1.0f, 1.0f, 0.0f, 0.0f, 0.0f}},
    {"first flare faint", 6.0f, 0.4f, 2, {0.0009f, 1.0f, 0.0f, 0.0f, 0.0f}},
};

void SetRoomUniforms(GLuint program, const Room& room) {
    const float positions[5][2] = {
        {0.57f, 0.44f}, {0.2f, 0.8f}, {0.9f, 0.3f}, {0.35f, 0.3f}, {0.7f, 0.75f}};
    glUseProgram(program);
    const auto at = [program](const std::string& name) {
        return glGetUniformLocation(program, name.c_str());
    };
    const std::pair<const char*, float> floats[] = {
        {"Time", 2.5f},
        {"Intensity", 2.7f},
        {"Size", 0.6f},
        {"NumGhosts", room.numGhosts},
        {"GhostIntensity", room.ghostIntensity},
        {"HaloSize", 0.4f},
        {"StreakLength", 0.5f},
        {"FlickerSpeed", 0.4f},
        {"FlickerAmount", 0.5f},
        {"ChromaticSpread", 0.4f},
        {"Strobe", 0.0f},
    };
    for (const auto& [name, value] : floats) {
        glUniform1f(at(name), value);
    }
    glUniform1i(at("InputTexture"), 0);
    glUniform1i(at("NumFlares"), room.numFlares);
    glUniform2f(at("MaxUV"), 1.0f, 1.0f);
    glUniform2f(at("Resolution"), 320.0f, 180.0f);
    glUniform3f(at("FlareColor"), 0.3f, 0.5f, 1.0f);
    for (int i = 0; i < 5; ++i) {
        glUniform2f(at("FlarePos[" + std::to_string(i) + "]"), positions[i][0], positions[i][1]);
        glUniform1f(at("FlareAlpha[" + std::to_string(i) + "]"), room.alphas[i]);
    }
    glUseProgram(0);
}

TEST_F(FlareReferenceTest, FurtherGhostsAndFlaresMatchTheReference) {
    ShaderProgram effect;
    ASSERT_TRUE(effect.Build(kFlareVertexSource, kFlareFragmentSource));
    const std::vector<uint8_t> picture = NoisePicture(320, 180);
    ffglhost::Texture texture(320, 180, picture.data());
    FloatTarget effectTarget(320, 180);
    FloatTarget referenceTarget(320, 180);
    for (const Room& room : kRooms) {
        SetRoomUniforms(effect.GetProgramHandle(), room);
        SetRoomUniforms(reference_.GetProgramHandle(), room);
        Draw(effect, effectTarget, texture.Name());
        Draw(reference_, referenceTarget, texture.Name());
        const float largest = Compare(effectTarget.Read(), referenceTarget.Read());
        EXPECT_LE(largest, 1.0f / 255.0f) << room.name;
        std::printf("%-32s largest channel difference %.7f\n", room.name, largest);
    }
    effect.DeleteObjects();
}

}  // namespace
