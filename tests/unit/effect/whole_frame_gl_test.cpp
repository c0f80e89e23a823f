// Whole frames of the effect through plugMain, compared with an independent reference
// model of the flare program, and every uniform a frame feeds the program read back.
#include <gtest/gtest.h>

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "effect/flare_shader.h"
#include "ffgl/abi.h"
#include "gl/gl_loader.h"
#include "gl/shader_program.h"
#include "host/plug_main.h"
#include "lib/gl/gl_objects.h"
#include "lib/io/image.h"
#include "lib/io/png_file.h"
#include "support/cover_triangle.h"
#include "support/flare_model.h"

namespace {

using flare_model::Picture;

constexpr double kTolerance = 2.0 / 255.0;
constexpr double kRequiredShare = 0.999;

// Dark to mid colours, so that the flare's light is seen almost everywhere, and an alpha
// that varies, so that an output alpha of 1 is visible.
Picture TestInput(uint32_t width, uint32_t height) {
    Picture picture{width, height, std::vector<uint8_t>(size_t{width} * height * 4)};
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* p = &picture.rgba[(size_t{y} * width + x) * 4];
            p[0] = static_cast<uint8_t>(x * 150 / width);
            p[1] = static_cast<uint8_t>(y * 120 / height);
            p[2] = static_cast<uint8_t>((x * 3 + y * 5) % 90);
            p[3] = static_cast<uint8_t>((x * 7 + y * 3) % 256);
        }
    }
    return picture;
}

// The input as the texture holds it: the picture in the lower-left corner of a texture
// of `textureWidth` × `textureHeight`, transparent black around it.
Picture Padded(const Picture& picture, uint32_t textureWidth, uint32_t textureHeight) {
    Picture padded{textureWidth, textureHeight,
                   std::vector<uint8_t>(size_t{textureWidth} * textureHeight * 4, 0)};
    for (uint32_t y = 0; y < picture.height; ++y) {
        std::copy_n(&picture.rgba[size_t{y} * picture.width * 4], picture.width * 4,
                    &padded.rgba[size_t{y} * textureWidth * 4]);
    }
    return padded;
}

// The module's one live flare program.
GLuint FlareProgram() {
    for (GLuint name = 4096; name > 0; --name) {
        if (glIsProgram(name) && glGetUniformLocation(name, "FlarePos[0]") >= 0) {
            return name;
        }
    }
    return 0;
}

std::vector<float> ReadUniform(GLuint program, const std::string& name, int components) {
    float values[4] = {};
    glGetUniformfv(program, glGetUniformLocation(program, name.c_str()), values);
    return {values, values + components};
}

int ReadIntUniform(GLuint program, const char* name) {
    GLint value = -1;
    glGetUniformiv(program, glGetUniformLocation(program, name), &value);
    return value;
}

flare_model::Uniforms ReadUniforms(GLuint program) {
    flare_model::Uniforms u;
    const auto into = [&](const char* name, double* target, int components) {
        const std::vector<float> values = ReadUniform(program, name, components);
        std::copy(values.begin(), values.end(), target);
    };
    into("MaxUV", u.maxUV, 2);
    into("Time", &u.time, 1);
    into("Intensity", &u.intensity, 1);
    into("Size", &u.size, 1);
    into("FlareColor", u.flareColor, 3);
    into("NumGhosts", &u.numGhosts, 1);
    into("GhostIntensity", &u.ghostIntensity, 1);
    into("HaloSize", &u.haloSize, 1);
    into("StreakLength", &u.streakLength, 1);
    into("FlickerSpeed", &u.flickerSpeed, 1);
    into("FlickerAmount", &u.flickerAmount, 1);
    into("ChromaticSpread", &u.chromaticSpread, 1);
    into("Strobe", &u.strobe, 1);
    into("Resolution", u.resolution, 2);
    u.numFlares = ReadIntUniform(program, "NumFlares");
    for (int i = 0; i < flare_model::kMaxFlares; ++i) {
        into(("FlarePos[" + std::to_string(i) + "]").c_str(), u.flarePos[i], 2);
        into(("FlareAlpha[" + std::to_string(i) + "]").c_str(), &u.flareAlpha[i], 1);
    }
    return u;
}

// The hash-fed values, computed by the module's own GLSL functions on this GPU: pixel i
// of a row holds the ghost hashes of ghost i (i < 8), then the flicker lattice of flare
// i - 8, written the way the program computes them.
const char kHashMain[] = R"glsl(
uniform float time;
uniform float speed;
void main()
{
    int x = int(gl_FragCoord.x);
    float fi = float(x);
    if (x < 8) {
        fragColor = vec4(hash(fi * 7.3), hash(fi * 13.7), 0.0, 0.0);
        return;
    }
    float t = time + float(x - 8) * 1.37;
    float s = speed * 10.0;
    float n = floor(t * s * 0.5);
    fragColor = vec4(hash(n), hash(n + 1.0), n, 0.0);
}
)glsl";

flare_model::HashValues GpuHashes(const flare_model::Uniforms& u) {
    constexpr int kWidth = flare_model::kMaxGhosts + flare_model::kMaxFlares;
    ShaderProgram program;
    const std::string fragment = std::string(kFlareFragmentPrelude) + kHashMain;
    EXPECT_TRUE(program.Build(kCoverVertexSource, fragment.c_str()));
    GLuint texture = 0, framebuffer = 0, vertexArray = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, kWidth, 1, 0, GL_RGBA, GL_FLOAT, nullptr);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    glViewport(0, 0, kWidth, 1);
    glGenVertexArrays(1, &vertexArray);
    glBindVertexArray(vertexArray);
    glUseProgram(program.GetProgramHandle());
    program.SetUniformFloat("time", static_cast<float>(u.time));
    program.SetUniformFloat("speed", static_cast<float>(u.flickerSpeed));
    glDrawArrays(GL_TRIANGLES, 0, 3);
    float row[kWidth][4] = {};
    glReadPixels(0, 0, kWidth, 1, GL_RGBA, GL_FLOAT, row);
    glUseProgram(0);
    glBindVertexArray(0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteVertexArrays(1, &vertexArray);
    glDeleteFramebuffers(1, &framebuffer);
    glDeleteTextures(1, &texture);
    program.DeleteObjects();

    flare_model::HashValues hashes;
    for (int i = 0; i < flare_model::kMaxGhosts; ++i) {
        hashes.ghostSize[i] = row[i][0];
        hashes.ghostHue[i] = row[i][1];
    }
    for (int i = 0; i < flare_model::kMaxFlares; ++i) {
        const float* lattice = row[flare_model::kMaxGhosts + i];
        hashes.latticeValue[i][0] = lattice[0];
        hashes.latticeValue[i][1] = lattice[1];
        hashes.latticePoint[i] = lattice[2];
    }
    return hashes;
}

// One host instance made through plugMain, rendering into a target of its input's size.
class HostedEffect {
  public:
    HostedEffect(const Picture& picture, bool padded)
        : texture_(picture.width, picture.height, picture.rgba.data(), padded),
          target_(picture.width, picture.height) {
        const FFGLViewportStruct viewport{0, 0, picture.width, picture.height};
        handle_ = plugMain(FF_INSTANTIATE_GL, reinterpret_cast<uintptr_t>(&viewport), nullptr);
    }
    ~HostedEffect() {
        if (Ready()) {
            plugMain(FF_DEINSTANTIATE_GL, 0, Instance());
        }
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    }
    HostedEffect(const HostedEffect&) = delete;
    HostedEffect& operator=(const HostedEffect&) = delete;

    bool Ready() const { return handle_ != FF_FAIL; }
    FFInstanceID Instance() const { return reinterpret_cast<FFInstanceID>(handle_); }
    void Set(uint32_t index, float value) const {
        SetParameterStruct record{};
        record.ParameterNumber = index;
        record.NewParameterValue.FloatValue = value;
        EXPECT_EQ(plugMain(FF_SET_PARAMETER, reinterpret_cast<uintptr_t>(&record), Instance()),
                  FF_SUCCESS);
    }
    bool Render(int frames) const {
        FFGLTextureStruct input = texture_.Describe();
        FFGLTextureStruct* inputs[1] = {&input};
        ProcessOpenGLStruct frame{1, inputs, target_.Framebuffer()};
        bool ok = true;
        for (int i = 0; i < frames; ++i) {
            target_.Bind();
            ok = ok && plugMain(FF_PROCESS_OPENGL, reinterpret_cast<uintptr_t>(&frame),
                                Instance()) == FF_SUCCESS;
        }
        return ok;
    }
    FFGLTextureStruct Describe() const { return texture_.Describe(); }
    std::vector<uint8_t> Output() const { return target_.ReadPixels(); }

  private:
    ffglhost::Texture texture_;
    ffglhost::RenderTarget target_;
    FFResult handle_ = FF_FAIL;
};

class WholeFrame : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(EnsureGlLoader()); }
};

// ---- Whole frames against the model ----------------------------------------------------

struct Scene {
    const char* name;
    uint32_t width;
    uint32_t height;
    bool padded;
    int frames;
    std::vector<std::pair<uint32_t, float>> settings;  // parameter index, value
};

enum : uint32_t { kFlareX, kFlareY, kIntensity, kSize, kAutoMove, kStrobe };

// A picture of one channel value per pixel, from band edges or readback, top row first.
ffglhost::Image ToImage(const std::vector<double>& values, uint32_t width, uint32_t height) {
    ffglhost::Image image(width, height);
    for (uint32_t y = 0; y < height; ++y) {
        for (size_t i = 0; i < size_t{width} * 4; ++i) {
            const double v = values[size_t{height - 1 - y} * width * 4 + i];
            image.Row(y)[i] = static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
        }
    }
    return image;
}

// Writes expected (the middle of each band), actual and their difference (distance
// outside the band, times 8, alpha 1) next to the test, and answers the folder.
std::string WriteFailurePictures(const std::string& scene, const flare_model::Bands& bands,
                                 const std::vector<uint8_t>& actual, uint32_t w, uint32_t h) {
    const std::filesystem::path folder = std::filesystem::absolute("whole_frame_failures");
    std::filesystem::create_directories(folder);
    std::vector<double> expected(actual.size()), got(actual.size()), difference(actual.size());
    for (size_t i = 0; i < actual.size(); ++i) {
        expected[i] = (bands.low[i] + bands.high[i]) / 2.0;
        got[i] = actual[i] / 255.0;
        const double outside = std::max(bands.low[i] - got[i], got[i] - bands.high[i]);
        difference[i] = i % 4 == 3 ? 1.0 : std::max(outside, 0.0) * 8.0;
    }
    ffglhost::WritePng((folder / (scene + "_expected.png")).string(), ToImage(expected, w, h));
    ffglhost::WritePng((folder / (scene + "_actual.png")).string(), ToImage(got, w, h));
    ffglhost::WritePng((folder / (scene + "_difference.png")).string(), ToImage(difference, w, h));
    return folder.string();
}

struct Counts {
    size_t channels = 0;   // colour channel values
    size_t inside = 0;     // of them inside their band, give or take the tolerance
    size_t unchanged = 0;  // of them equal to the input's
    size_t opaque = 0;     // pixels with alpha 1
};

Counts Compare(const flare_model::Bands& bands, const std::vector<uint8_t>& actual,
               const Picture& input) {
    Counts counts;
    for (size_t i = 0; i < actual.size(); ++i) {
        if (i % 4 == 3) {
            counts.opaque += actual[i] == 255 ? 1 : 0;
            continue;
        }
        const double value = actual[i] / 255.0;
        ++counts.channels;
        counts.inside += value >= bands.low[i] - kTolerance && value <= bands.high[i] + kTolerance;
        counts.unchanged += actual[i] == input.rgba[i] ? 1 : 0;
    }
    return counts;
}

TEST_F(WholeFrame, ScenesMatchTheReferenceModel) {
    const Scene scenes[] = {
        {"defaults_frame_1", 160, 96, false, 1, {}},
        {"defaults_frame_60", 160, 96, false, 60, {}},
        {"defaults_frame_600", 160, 96, false, 600, {}},
        {"still_moved", 160, 96, false, 1, {{kAutoMove, 0.0f}, {kFlareX, 0.2f}, {kFlareY, 0.75f}}},
        {"still_off_screen",
         160,
         96,
         false,
         1,
         {{kAutoMove, 0.0f}, {kFlareX, 1.3f}, {kFlareY, -0.2f}}},
        // Strobe 0.2 is 7 cycles a second: frame 9 (1.05 cycles) is open, frame 13 (1.52
        // cycles) closed.
        {"strobe_open", 160, 96, false, 9, {{kStrobe, 0.2f}}},
        {"strobe_closed", 160, 96, false, 13, {{kStrobe, 0.2f}}},
        {"padded", 150, 90, true, 1, {{kAutoMove, 0.0f}, {kFlareX, 0.3f}, {kFlareY, 0.6f}}},
        {"low_intensity", 160, 96, false, 1, {{kIntensity, 0.05f}}},
        {"square_large_size",
         128,
         128,
         false,
         1,
         {{kSize, 1.0f}, {kAutoMove, 0.0f}, {kFlareX, 0.4f}}},
        // Each parameter at both ends of its range.
        {"size_0", 160, 96, false, 1, {{kSize, 0.0f}}},
        {"size_1", 160, 96, false, 1, {{kSize, 1.0f}}},
        {"intensity_0", 160, 96, false, 1, {{kIntensity, 0.0f}}},
        {"intensity_1", 160, 96, false, 1, {{kIntensity, 1.0f}}},
        {"strobe_0", 160, 96, false, 13, {{kStrobe, 0.0f}}},
        {"strobe_1", 160, 96, false, 13, {{kStrobe, 1.0f}}},
        {"flare_x_0", 160, 96, false, 1, {{kAutoMove, 0.0f}, {kFlareX, 0.0f}}},
        {"flare_x_1", 160, 96, false, 1, {{kAutoMove, 0.0f}, {kFlareX, 1.0f}}},
        {"flare_y_0", 160, 96, false, 1, {{kAutoMove, 0.0f}, {kFlareY, 0.0f}}},
        {"flare_y_1", 160, 96, false, 1, {{kAutoMove, 0.0f}, {kFlareY, 1.0f}}},
        {"auto_move_0", 160, 96, false, 60, {{kAutoMove, 0.0f}}},
        {"auto_move_1", 160, 96, false, 60, {{kAutoMove, 1.0f}}},
    };
    for (const Scene& scene : scenes) {
        SCOPED_TRACE(scene.name);
        const Picture picture = TestInput(scene.width, scene.height);
        HostedEffect effect(picture, scene.padded);
        ASSERT_TRUE(effect.Ready());
        for (const auto& [index, value] : scene.settings) {
            effect.Set(index, value);
        }
        ASSERT_TRUE(effect.Render(scene.frames));
        const std::vector<uint8_t> actual = effect.Output();
        const flare_model::Uniforms uniforms = ReadUniforms(FlareProgram());
        const FFGLTextureStruct texture = effect.Describe();
        const Picture input = Padded(picture, texture.HardwareWidth, texture.HardwareHeight);
        const flare_model::Bands bands = flare_model::ExpectedFrame(
            uniforms, GpuHashes(uniforms), input, scene.width, scene.height);

        const Counts counts = Compare(bands, actual, picture);
        const double share =
            static_cast<double>(counts.inside) / static_cast<double>(counts.channels);
        std::printf("[ scene    ] %-20s %zu of %zu channel values (%.5f) inside the band\n",
                    scene.name, counts.inside, counts.channels, share);
        RecordProperty(scene.name, std::to_string(share));
        EXPECT_EQ(counts.opaque, actual.size() / 4) << "alpha is 1 everywhere";
        if (bands.flareOff) {
            EXPECT_EQ(counts.unchanged, counts.channels) << "the flare is off: the input passes";
        }
        if (share < kRequiredShare) {
            ADD_FAILURE() << "only " << share << " of channel values inside the band; pictures in "
                          << WriteFailurePictures(scene.name, bands, actual, scene.width,
                                                  scene.height);
        }
    }
}

// ---- The uniform feed ----------------------------------------------------------------

// Every uniform a frame sets, after two frames with every parameter away from its default
// and a padded input of 100 × 60 in a texture of 128 × 64. The array elements past the
// first are never set and keep GL's initial 0.
TEST_F(WholeFrame, EveryUniformAFrameSetsReadsBack) {
    HostedEffect effect(TestInput(100, 60), true);
    ASSERT_TRUE(effect.Ready());
    const std::pair<uint32_t, float> settings[] = {{kFlareX, 0.3f},    {kFlareY, 0.8f},
                                                   {kIntensity, 0.7f}, {kSize, 0.45f},
                                                   {kAutoMove, 0.0f},  {kStrobe, 0.25f}};
    for (const auto& [index, value] : settings) {
        effect.Set(index, value);
    }
    ASSERT_TRUE(effect.Render(2));
    const GLuint program = FlareProgram();
    EXPECT_EQ(ReadIntUniform(program, "InputTexture"), 0);
    EXPECT_EQ(ReadIntUniform(program, "NumFlares"), 1);
    const struct {
        const char* name;
        std::vector<float> expected;
    } uniforms[] = {
        {"MaxUV", {100.0f / 128.0f, 60.0f / 64.0f}},
        {"Time", {static_cast<float>(2.0 / 60.0)}},
        {"Resolution", {128.0f, 64.0f}},
        {"Intensity", {0.7f * 3.0f}},
        {"Size", {0.45f}},
        {"FlareColor", {0.3f, 0.5f, 1.0f}},
        {"NumGhosts", {4.0f}},
        {"GhostIntensity", {0.4f}},
        {"HaloSize", {0.4f}},
        {"StreakLength", {0.5f}},
        {"FlickerSpeed", {0.4f}},
        {"FlickerAmount", {0.5f}},
        {"ChromaticSpread", {0.4f}},
        {"Strobe", {0.25f}},
        {"FlarePos[0]", {0.3f, 0.8f}},
        {"FlareAlpha[0]", {1.0f}},
        {"FlarePos[1]", {0.0f, 0.0f}},
        {"FlarePos[4]", {0.0f, 0.0f}},
        {"FlareAlpha[1]", {0.0f}},
        {"FlareAlpha[4]", {0.0f}},
    };
    for (const auto& uniform : uniforms) {
        EXPECT_EQ(ReadUniform(program, uniform.name, static_cast<int>(uniform.expected.size())),
                  uniform.expected)
            << uniform.name;
    }
}

}  // namespace
