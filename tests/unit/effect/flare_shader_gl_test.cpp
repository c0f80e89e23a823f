// The flare shader sources in a real GL context: reference values of its GLSL functions,
// the uniform interface the effect feeds, and the paths where the input passes through.
#include "effect/flare_shader.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "gl/gl_loader.h"
#include "gl/scoped_bindings.h"
#include "gl/screen_quad.h"
#include "gl/shader_program.h"
#include "support/cover_triangle.h"
#include "support/flare_model.h"
#include "support/float_target.h"

namespace {

void DrainGlErrors() {
    while (glGetError() != GL_NO_ERROR) {
    }
}

class FlareShaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(EnsureGlLoader());
        DrainGlErrors();
        glGenVertexArrays(1, &emptyVertexArray_);
    }
    void TearDown() override {
        glDeleteVertexArrays(1, &emptyVertexArray_);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    }

    // Compiles the flare's functions with a main of the test's own, which writes one
    // vec4 per pixel of a row of `width` pixels, and returns that row.
    std::vector<Pixel> Evaluate(const std::string& mainFunction, int width) {
        const std::string fragment = kFlareFragmentPrelude + mainFunction;
        ShaderProgram program;
        EXPECT_TRUE(program.Build(kCoverVertexSource, fragment.c_str()));
        FloatTarget target(width, 1);
        EXPECT_TRUE(target.Complete());
        target.Bind();
        glUseProgram(program.GetProgramHandle());
        glBindVertexArray(emptyVertexArray_);
        glDrawArrays(GL_TRIANGLES, 0, 3);
        glBindVertexArray(0);
        glUseProgram(0);
        std::vector<Pixel> pixels = target.Read();
        program.DeleteObjects();
        return pixels;
    }

    GLuint emptyVertexArray_ = 0;
};

TEST_F(FlareShaderTest, ComponentsMatchTheirReferenceValues) {
    const std::vector<Pixel> row = Evaluate(R"glsl(
void main()
{
    int x = int(gl_FragCoord.x);
    float rate = starRate(0.6);
    if (x == 0) {
        fragColor = vec4(primaryStar(vec2(0.1, 0.0), rate), primaryStar(vec2(0.0, 0.1), rate),
                         streak(vec2(0.1, 0.0), streakShape(0.5, 0.0, 1.0)).g,
                         primaryStar(vec2(0.0), rate));
    } else if (x == 1) {
        fragColor = vec4(haloRing(0.12, haloShape(0.4, 0.4), haloStrength(0.4)),
                         primaryStar(vec2(-0.1611, -0.0111), rate));
    } else if (x == 3) {
        // A negative spread shifts red and blue the other way round.
        fragColor = vec4(streak(vec2(0.3, 0.0), streakShape(0.5, -0.4, 1.0)) * 0.8, 0.0);
    } else {
        // The star shrunk to nothing, ghosts and halo off: 0.3 right of the flare only the
        // streak is left, red shifted by 0.003 x the chromatic spread, blue the other way.
        vec4 looks[2] = vec4[2](vec4(30.0), vec4(30.0));
        fragColor = vec4(computeFlare(vec2(0.8, 0.5), vec3(0.5, 0.5, 1.0), vec2(0.5), vec3(1.0),
                                      starRate(0.0), 0, 1.0, 0.004, 0.4, looks, looks,
                                      haloShape(0.0, 0.4), haloStrength(0.0),
                                      streakShape(0.5, 0.4, 1.0)), 0.0);
    }
}
)glsl",
                                            4);
    ASSERT_EQ(row.size(), 4u);
    EXPECT_NEAR(row[0][0], 0.8620f, 1e-3f) << "star on a six-ray axis";
    EXPECT_NEAR(row[0][1], 0.4374f, 1e-3f) << "star off the six-ray axes";
    EXPECT_NEAR(row[0][2], 0.5027f, 1e-3f) << "streak";
    // At the centre the ray angle is undefined; the value must stay finite, glow 1.
    EXPECT_TRUE(std::isfinite(row[0][3]));
    EXPECT_GE(row[0][3], 1.0f);
    EXPECT_NEAR(row[1][0], 0.27375f, 1e-3f) << "halo red";
    EXPECT_NEAR(row[1][1], 0.744f, 1e-3f) << "halo green";
    EXPECT_NEAR(row[1][2], 0.30975f, 1e-3f) << "halo blue";
    // Between the axes both ray sets are partly lit: glow 0.11612, six-ray term 0.05614,
    // eight-ray term 0.00105.
    EXPECT_NEAR(row[1][3], 0.17331f, 1e-4f) << "star between the ray axes";
    const float streak[3] = {0.179851f, 0.180717f, 0.181586f};
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(row[2][c], streak[c], 2e-5f) << "streak channel " << c;
        EXPECT_NEAR(row[3][c], streak[2 - c], 2e-5f) << "streak channel " << c << ", spread < 0";
    }
}

// Below their 0.001 thresholds flicker is exactly 1 and halo and streak are exactly 0, at
// points where the switched-on formula would give something else.
TEST_F(FlareShaderTest, SmallAmountsSwitchFlickerHaloAndStreakOff) {
    const std::vector<Pixel> row = Evaluate(R"glsl(
void main()
{
    int x = int(gl_FragCoord.x);
    if (x == 0) {
        fragColor = vec4(flicker(0.0, 0.4, 0.0009), flicker(12.345, 0.4, 0.0009),
                         flicker(99999.98, 4.0, 0.0), flicker(-3.7, 0.4, 0.0));
    } else if (x == 1) {
        vec3 halo = haloRing(0.00027, haloShape(0.0009, 0.4), haloStrength(0.0009));
        fragColor = vec4(halo, streak(vec2(0.0), streakShape(0.0009, 0.4, 1.0)).g);
    } else {
        // Switched on, the same kind of calls do answer something else.
        fragColor = vec4(flicker(12.345, 0.4, 0.5),
                         haloRing(0.0003, haloShape(0.001, 0.4), haloStrength(0.001)).g,
                         streak(vec2(0.0), streakShape(0.001, 0.4, 1.0)).g, 0.0);
    }
}
)glsl",
                                            3);
    ASSERT_EQ(row.size(), 3u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(row[0][i], 1.0f) << "flicker " << i;
        EXPECT_EQ(row[1][i], 0.0f) << (i < 3 ? "halo channel " : "streak ") << i;
    }
    EXPECT_GE(row[2][0], 0.5f);
    EXPECT_LE(row[2][0], 1.0f);
    EXPECT_GT(row[2][1], 0.1f);
    EXPECT_NEAR(row[2][2], 0.0015f, 1e-5f);
}

// ghostCount rounds "NumGhosts" to the nearest count, none when the ghosts are too faint,
// and ghostOrbs draws as many as it is given, up to eight. The flare sits at (0.2, 0.2);
// each probe point is a ghost's centre, where its green disc gives 0.5 × intensity 0.4.
TEST_F(FlareShaderTest, GhostCountIsRoundedAndCappedAtEight) {
    const std::vector<Pixel> row = Evaluate(R"glsl(
float ghostsAt(vec2 p, int count, int drawn)
{
    vec4 sizes[2] = vec4[2](vec4(30.0), vec4(30.0));
    return ghostOrbs(p, vec2(0.2), vec2(0.3), drawn, 1.0 / (float(count) + 1.0), 0.004, 0.4,
                     sizes, sizes).g;
}
void main()
{
    int x = int(gl_FragCoord.x);
    // With one ghost it lies at the screen centre; with nine, the eighth (k = 1.04) lies
    // at 0.2 + 0.3 * 2.08 and the ninth (k = 1.22) at 0.2 + 0.3 * 2.44.
    vec2 centre = vec2(0.5);
    vec2 eighth = vec2(0.2 + 0.3 * 2.08);
    if (x == 0) {
        fragColor = vec4(ghostCount(0.4, 0.4), ghostCount(0.6, 0.4), ghostCount(8.6, 0.4),
                         ghostCount(4.0, 0.0009));
    } else {
        fragColor = vec4(ghostsAt(centre, 1, 1), ghostsAt(centre, 1, 0), ghostsAt(eighth, 9, 8),
                         ghostsAt(eighth, 9, 7));
    }
}
)glsl",
                                            2);
    ASSERT_EQ(row.size(), 2u);
    EXPECT_EQ(row[0][0], 0.0f) << "0.4 ghosts round to none";
    EXPECT_EQ(row[0][1], 1.0f) << "0.6 ghosts round to one";
    EXPECT_EQ(row[0][2], 9.0f) << "8.6 ghosts round to nine";
    EXPECT_EQ(row[0][3], 0.0f) << "ghost intensity below 0.001";
    EXPECT_NEAR(row[1][0], 0.2f, 1e-3f) << "one ghost, at the centre";
    EXPECT_EQ(row[1][1], 0.0f) << "none drawn";
    EXPECT_NEAR(row[1][2], 0.2f, 1e-3f) << "the eighth of nine ghosts is drawn";
    EXPECT_EQ(row[1][3], 0.0f) << "with seven drawn it is not";
}

// flicker() against the reference model at a few times, with the value noise's lattice
// hashes taken from this GPU (hash is not portable): x = 0 holds flicker at full depth, y
// and z the hashes at the lattice point n = floor(t * 2), which w holds.
TEST_F(FlareShaderTest, FlickerMatchesTheReferenceModel) {
    const float times[] = {0.3f, 1.7f, 4.2f, 9.9f};
    const std::vector<Pixel> row = Evaluate(R"glsl(
void main()
{
    float times[4] = float[](0.3, 1.7, 4.2, 9.9);
    float t = times[int(gl_FragCoord.x)];
    float n = floor(t * (0.4 * 10.0) * 0.5);
    fragColor = vec4(flicker(t, 0.4, 1.0), hash(n), hash(n + 1.0), n);
}
)glsl",
                                            4);
    ASSERT_EQ(row.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        const double lattice[2] = {row[i][1], row[i][2]};
        EXPECT_NEAR(row[i][0], flare_model::Flicker(times[i], 0.4f, 1.0, row[i][3], lattice), 1e-4)
            << "t = " << times[i];
    }
}

// The full program as the effect builds it, with its uniforms set by hand.
class FlareProgramTest : public FlareShaderTest {
  protected:
    static constexpr int kSize = 4;

    void SetUp() override {
        FlareShaderTest::SetUp();
        ASSERT_TRUE(program_.Build(kFlareVertexSource, kFlareFragmentSource));
        ASSERT_TRUE(quad_.CreateBuffers(false));

        // Colours outside 0..1 show whether the output was clamped; alpha varies.
        for (int i = 0; i < kSize * kSize; ++i) {
            input_.push_back({-0.5f + 0.125f * static_cast<float>(i),
                              1.5f - 0.1f * static_cast<float>(i), 0.25f + 0.5f * (i % 3),
                              i % 2 == 0 ? 0.6f : 0.0f});
        }
        glGenTextures(1, &inputTexture_);
        glBindTexture(GL_TEXTURE_2D, inputTexture_);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, kSize, kSize, 0, GL_RGBA, GL_FLOAT,
                     input_.data());
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    void TearDown() override {
        glDeleteTextures(1, &inputTexture_);
        quad_.DestroyBuffers();
        program_.DeleteObjects();
        FlareShaderTest::TearDown();
    }

    struct Settings {
        float time = 1.0f;
        float intensity = 2.7f;
        float strobe = 0.0f;
        float flareAlpha = 1.0f;
    };

    // Draws one frame into a float target the size of the input, setting every uniform the
    // way the effect does.
    std::vector<Pixel> Render(const Settings& settings) {
        FloatTarget target(kSize, kSize);
        EXPECT_TRUE(target.Complete());
        target.Bind();
        {
            ScopedProgramUse use(program_.GetProgramHandle());
            ScopedTextureUnit unit(0);
            ffglex::Scoped2DTextureBinding texture(inputTexture_);
            program_.SetUniformInt("InputTexture", 0);
            program_.SetUniformVec2("MaxUV", 1.0f, 1.0f);
            program_.SetUniformFloat("Time", settings.time);
            program_.SetUniformVec2("Resolution", kSize, kSize);
            program_.SetUniformFloat("Intensity", settings.intensity);
            program_.SetUniformFloat("Size", 0.6f);
            program_.SetUniformVec3("FlareColor", 0.3f, 0.5f, 1.0f);
            program_.SetUniformFloat("NumGhosts", 4.0f);
            program_.SetUniformFloat("GhostIntensity", 0.4f);
            program_.SetUniformFloat("HaloSize", 0.4f);
            program_.SetUniformFloat("StreakLength", 0.5f);
            program_.SetUniformFloat("FlickerSpeed", 0.4f);
            program_.SetUniformFloat("FlickerAmount", 0.5f);
            program_.SetUniformFloat("ChromaticSpread", 0.4f);
            program_.SetUniformFloat("Strobe", settings.strobe);
            program_.SetUniformInt("NumFlares", 1);
            const GLuint handle = program_.GetProgramHandle();
            glUniform2f(glGetUniformLocation(handle, "FlarePos[0]"), 0.5f, 0.5f);
            glUniform1f(glGetUniformLocation(handle, "FlareAlpha[0]"), settings.flareAlpha);
            quad_.Draw();
        }
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
        return target.Read();
    }

    ShaderProgram program_;
    ScreenQuad quad_;
    GLuint inputTexture_ = 0;
    std::vector<Pixel> input_;
};

TEST_F(FlareProgramTest, EveryUniformTheEffectSetsIsActive) {
    const char* const names[] = {
        "InputTexture", "MaxUV",        "Time",          "Resolution",      "Intensity",
        "Size",         "FlareColor",   "NumGhosts",     "GhostIntensity",  "HaloSize",
        "StreakLength", "FlickerSpeed", "FlickerAmount", "ChromaticSpread", "Strobe",
        "NumFlares",    "FlarePos[0]",  "FlareAlpha[0]",
    };
    for (const char* name : names) {
        EXPECT_GE(glGetUniformLocation(program_.GetProgramHandle(), name), 0) << name;
    }
}

TEST_F(FlareProgramTest, FlareAlphaBelowThresholdGivesTheInputClamped) {
    Settings settings;
    settings.flareAlpha = 0.0009f;
    const std::vector<Pixel> output = Render(settings);
    ASSERT_EQ(output.size(), input_.size());
    for (size_t i = 0; i < output.size(); ++i) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(output[i][c], std::fmin(std::fmax(input_[i][c], 0.0f), 1.0f), 1e-6f)
                << "pixel " << i << " channel " << c;
        }
        EXPECT_EQ(output[i][3], 1.0f) << "pixel " << i;
    }
}

// With no intensity left, or with the strobe gate closed, the input passes unclamped.
TEST_F(FlareProgramTest, ZeroIntensityOrClosedStrobeGivesTheInputUnclamped) {
    Settings off;
    off.intensity = 0.0f;
    // Strobe 1.0 is 31 cycles a second; three quarters into a cycle the gate is closed.
    Settings closed;
    closed.strobe = 1.0f;
    closed.time = 0.75f / 31.0f;
    for (const Settings& settings : {off, closed}) {
        const std::vector<Pixel> output = Render(settings);
        ASSERT_EQ(output.size(), input_.size());
        for (size_t i = 0; i < output.size(); ++i) {
            EXPECT_EQ(output[i][0], input_[i][0]) << "pixel " << i;
            EXPECT_EQ(output[i][1], input_[i][1]) << "pixel " << i;
            EXPECT_EQ(output[i][2], input_[i][2]) << "pixel " << i;
            EXPECT_EQ(output[i][3], 1.0f) << "pixel " << i;
        }
    }

    // A quarter into the cycle the gate is open and the flare brightens the image.
    Settings open;
    open.strobe = 1.0f;
    open.time = 0.25f / 31.0f;
    const std::vector<Pixel> output = Render(open);
    float largestGain = 0.0f;
    for (size_t i = 0; i < output.size(); ++i) {
        for (int c = 0; c < 3; ++c) {
            largestGain = std::fmax(largestGain, output[i][c] - input_[i][c]);
        }
        EXPECT_EQ(output[i][3], 1.0f) << "pixel " << i;
    }
    EXPECT_GT(largestGain, 0.05f);
}

}  // namespace
