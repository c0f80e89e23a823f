// The GLSL snippets compiled together into one fragment shader in a real GL context, and
// a few of their functions evaluated there.
#include "gl/glsl_snippets.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "gl/gl_loader.h"
#include "gl/shader_program.h"
#include "support/cover_triangle.h"

namespace {

using Pixel = std::array<float, 4>;

const char kHeader[] = "#version 410 core\nuniform vec2 resolution;\nuniform int frame;\n";

// The snippet's hash of an unsigned pair, on the CPU, with the same 32-bit wrap-around.
float RandomOf(uint32_t x, uint32_t y) {
    const uint32_t k = 1103515245u;
    const uint32_t qx = k * ((x >> 1) ^ y);
    const uint32_t qy = k * ((y >> 1) ^ x);
    const uint32_t n = k * (qx ^ (qy >> 3));
    return static_cast<float>(n) * (1.0f / static_cast<float>(0xFFFFFFFFu));
}

class GlslSnippetsGl : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(EnsureGlLoader());
        glGenVertexArrays(1, &emptyVertexArray_);
        glGenTextures(1, &texture_);
        glBindTexture(GL_TEXTURE_2D, texture_);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, 1, 1, 0, GL_RGBA, GL_FLOAT, nullptr);
        glBindTexture(GL_TEXTURE_2D, 0);
        glGenFramebuffers(1, &framebuffer_);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture_, 0);
        ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER),
                  static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    }
    void TearDown() override {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer_);
        glDeleteTextures(1, &texture_);
        glDeleteVertexArrays(1, &emptyVertexArray_);
    }

    static std::string Snippets(std::initializer_list<SnippetId> order) {
        std::string text;
        for (SnippetId id : order) {
            const char* snippet = FindSnippet(id);
            EXPECT_NE(snippet, nullptr) << "snippet " << id;
            text += snippet != nullptr ? snippet : "";
        }
        return text;
    }

    // Draws the fragment shader into the single float pixel and reads it back.
    Pixel Render(const ShaderProgram& program, float resolutionX = 0.0f, float resolutionY = 0.0f,
                 int frame = 0) const {
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glViewport(0, 0, 1, 1);
        glUseProgram(program.GetProgramHandle());
        program.SetUniformVec2("resolution", resolutionX, resolutionY);
        program.SetUniformInt("frame", frame);
        glBindVertexArray(emptyVertexArray_);
        glDrawArrays(GL_TRIANGLES, 0, 3);
        glBindVertexArray(0);
        glUseProgram(0);
        Pixel pixel{};
        glReadPixels(0, 0, 1, 1, GL_RGBA, GL_FLOAT, pixel.data());
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        return pixel;
    }

    GLuint emptyVertexArray_ = 0;
    GLuint texture_ = 0;
    GLuint framebuffer_ = 0;
};

TEST_F(GlslSnippetsGl, AllThreeCompileTogetherInEitherOrder) {
    const char kMain[] =
        "out vec4 fragColor;\n"
        "void main() {\n"
        "    float n = fractal_noise(vec3(0.3, 0.6, 0.9), vec4(0.5, 0.25, 0.125, 0.0625));\n"
        "    fragColor = vec4(random(), random3(uvec3(1u)).x + random3(vec3(1.0)).y,\n"
        "                     map(vec2(0.5), vec2(0.0), vec2(1.0)).x + n, 1.0);\n"
        "}\n";
    const std::string orders[] = {
        Snippets({RandomSnippet, MapSnippet, NoiseSnippet}),
        Snippets({NoiseSnippet, MapSnippet, RandomSnippet}),
    };
    for (const std::string& snippets : orders) {
        const std::string fragment = kHeader + snippets + kMain;
        ShaderProgram program;
        testing::internal::CaptureStdout();
        const bool built = program.Build(kCoverVertexSource, fragment.c_str());
        const std::string diagnostics = testing::internal::GetCapturedStdout();
        EXPECT_TRUE(built) << diagnostics;
        program.DeleteObjects();
    }
}

TEST_F(GlslSnippetsGl, RandomAndMapGiveTheirValues) {
    const std::string fragment =
        kHeader + Snippets({RandomSnippet, MapSnippet, NoiseSnippet}) +
        "out vec4 fragColor;\n"
        "void main() {\n"
        "    fragColor = vec4(random(uvec2(0u, 0u)), map(0.5, 0.0, 1.0), map(2.0, 0.0, 1.0),\n"
        "                     map(-1.0, 0.0, 1.0));\n"
        "}\n";
    ShaderProgram program;
    ASSERT_TRUE(program.Build(kCoverVertexSource, fragment.c_str()));
    const Pixel pixel = Render(program);
    EXPECT_EQ(pixel[0], 0.0f) << "random(0, 0)";
    EXPECT_EQ(pixel[1], 0.5f) << "map(0.5, 0, 1)";
    EXPECT_EQ(pixel[2], 1.0f) << "map(2, 0, 1) is clamped";
    EXPECT_EQ(pixel[3], 0.0f) << "map(-1, 0, 1) is clamped";
    program.DeleteObjects();
}

// The hash must wrap in 32 bits exactly as the CPU does; the argument-less random() adds
// the pixel count times the frame number to the fragment's integer coordinate.
TEST_F(GlslSnippetsGl, RandomHashesWithWrapAroundAndTheFrameOffset) {
    const std::string fragment =
        kHeader + Snippets({RandomSnippet, MapSnippet}) +
        "out vec4 fragColor;\n"
        "void main() {\n"
        "    fragColor = vec4(random(uvec2(1u, 0u)), random(uvec2(123456789u, 4000000000u)),\n"
        "                     random(), map(15.0, 10.0, 20.0, 100.0, 200.0));\n"
        "}\n";
    ShaderProgram program;
    ASSERT_TRUE(program.Build(kCoverVertexSource, fragment.c_str()));
    // 4 × 2 pixels × frame 3: the one pixel, at (0, 0), hashes (24, 24).
    const Pixel pixel = Render(program, 4.0f, 2.0f, 3);
    EXPECT_FLOAT_EQ(pixel[0], RandomOf(1u, 0u));
    EXPECT_FLOAT_EQ(pixel[1], RandomOf(123456789u, 4000000000u));
    EXPECT_FLOAT_EQ(pixel[2], RandomOf(24u, 24u));
    EXPECT_FLOAT_EQ(pixel[3], 150.0f);
    program.DeleteObjects();
}

}  // namespace
