// The binding scope guards and the full-screen quad in a real GL context.
#include "gl/screen_quad.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "effect/flare_shader.h"
#include "gl/gl_loader.h"
#include "gl/scoped_bindings.h"
#include "gl/shader_program.h"
#include "lib/gl/gl_objects.h"
#include "support/cover_triangle.h"

namespace {

GLint Bound(GLenum name) {
    GLint value = -1;
    glGetIntegerv(name, &value);
    return value;
}

void DrainGlErrors() {
    while (glGetError() != GL_NO_ERROR) {
    }
}

// Shows the quad's texture coordinate as colour: red = u, green = v. The vertex stage is
// the effect's own, which passes the quad's coordinate through.
const char kUvFragmentSource[] = R"glsl(#version 410 core
in vec2 uv;
out vec4 fragColor;
void main()
{
    fragColor = vec4(uv, 0.0, 1.0);
}
)glsl";

const char kWhiteFragmentSource[] = R"glsl(#version 410 core
out vec4 fragColor;
void main()
{
    fragColor = vec4(1.0);
}
)glsl";

class ScreenQuadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(EnsureGlLoader());
        DrainGlErrors();
        glGenTextures(2, textures_);
        for (GLuint texture : textures_) {
            glBindTexture(GL_TEXTURE_2D, texture);
        }
        glBindTexture(GL_TEXTURE_2D, 0);
        glGenVertexArrays(2, vertexArrays_);
        for (GLuint vertexArray : vertexArrays_) {
            glBindVertexArray(vertexArray);
        }
        glBindVertexArray(0);
        glGenBuffers(2, buffers_);
        for (GLuint buffer : buffers_) {
            glBindBuffer(GL_ARRAY_BUFFER, buffer);
        }
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        ASSERT_TRUE(programs_[0].Build(kFlareVertexSource, kUvFragmentSource));
        ASSERT_TRUE(programs_[1].Build(kCoverVertexSource, kWhiteFragmentSource));
    }

    void TearDown() override {
        glUseProgram(0);
        glBindVertexArray(0);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindBuffer(GL_COPY_READ_BUFFER, 0);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, 0);
        glDeleteTextures(2, textures_);
        glDeleteVertexArrays(2, vertexArrays_);
        glDeleteBuffers(2, buffers_);
        programs_[0].DeleteObjects();
        programs_[1].DeleteObjects();
    }

    GLuint textures_[2] = {};
    GLuint vertexArrays_[2] = {};
    GLuint buffers_[2] = {};
    ShaderProgram programs_[2];
};

// Each guard binds at once and puts the default back, not what was bound before it.
TEST_F(ScreenQuadTest, GuardsLeaveTheDefaultBindingWhateverWasBoundBefore) {
    glBindTexture(GL_TEXTURE_2D, textures_[0]);
    {
        ffglex::Scoped2DTextureBinding binding(textures_[1]);
        EXPECT_EQ(Bound(GL_TEXTURE_BINDING_2D), static_cast<GLint>(textures_[1]));
    }
    EXPECT_EQ(Bound(GL_TEXTURE_BINDING_2D), 0);

    glBindTexture(GL_TEXTURE_2D, textures_[0]);
    {
        ffglex::ScopedTextureBinding binding(GL_TEXTURE_2D, textures_[1]);
        EXPECT_EQ(Bound(GL_TEXTURE_BINDING_2D), static_cast<GLint>(textures_[1]));
    }
    EXPECT_EQ(Bound(GL_TEXTURE_BINDING_2D), 0);

    glActiveTexture(GL_TEXTURE5);
    {
        ScopedTextureUnit unit(3);
        EXPECT_EQ(Bound(GL_ACTIVE_TEXTURE), GL_TEXTURE3);
    }
    EXPECT_EQ(Bound(GL_ACTIVE_TEXTURE), GL_TEXTURE0);

    glUseProgram(programs_[0].GetProgramHandle());
    {
        ScopedProgramUse use(programs_[1].GetProgramHandle());
        EXPECT_EQ(Bound(GL_CURRENT_PROGRAM), static_cast<GLint>(programs_[1].GetProgramHandle()));
    }
    EXPECT_EQ(Bound(GL_CURRENT_PROGRAM), 0);

    glBindVertexArray(vertexArrays_[0]);
    {
        ScopedVertexArrayBinding binding(vertexArrays_[1]);
        EXPECT_EQ(Bound(GL_VERTEX_ARRAY_BINDING), static_cast<GLint>(vertexArrays_[1]));
    }
    EXPECT_EQ(Bound(GL_VERTEX_ARRAY_BINDING), 0);

    glBindBuffer(GL_ARRAY_BUFFER, buffers_[0]);
    {
        ffglex::ScopedVBOBinding binding(buffers_[1]);
        EXPECT_EQ(Bound(GL_ARRAY_BUFFER_BINDING), static_cast<GLint>(buffers_[1]));
    }
    EXPECT_EQ(Bound(GL_ARRAY_BUFFER_BINDING), 0);

    glBindBuffer(GL_COPY_READ_BUFFER, buffers_[0]);
    {
        ffglex::ScopedBufferBinding binding(GL_COPY_READ_BUFFER, buffers_[1]);
        EXPECT_EQ(Bound(GL_COPY_READ_BUFFER_BINDING), static_cast<GLint>(buffers_[1]));
        EXPECT_EQ(Bound(GL_ARRAY_BUFFER_BINDING), 0) << "only the given target is bound";
    }
    EXPECT_EQ(Bound(GL_COPY_READ_BUFFER_BINDING), 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// After Restore, a guard does nothing more: what a test binds after Restore survives both
// a second Restore and the guard's destruction.
TEST_F(ScreenQuadTest, RestoreEndsTheScopeOnce) {
    {
        ffglex::Scoped2DTextureBinding binding(textures_[1]);
        binding.Restore();
        EXPECT_EQ(Bound(GL_TEXTURE_BINDING_2D), 0);
        glBindTexture(GL_TEXTURE_2D, textures_[0]);
        binding.Restore();
        EXPECT_EQ(Bound(GL_TEXTURE_BINDING_2D), static_cast<GLint>(textures_[0]));
    }
    EXPECT_EQ(Bound(GL_TEXTURE_BINDING_2D), static_cast<GLint>(textures_[0]));

    {
        ScopedTextureUnit unit(3);
        unit.Restore();
        EXPECT_EQ(Bound(GL_ACTIVE_TEXTURE), GL_TEXTURE0);
        glActiveTexture(GL_TEXTURE2);
        unit.Restore();
    }
    EXPECT_EQ(Bound(GL_ACTIVE_TEXTURE), GL_TEXTURE2);
    glActiveTexture(GL_TEXTURE0);

    {
        ScopedProgramUse use(programs_[1].GetProgramHandle());
        use.Restore();
        EXPECT_EQ(Bound(GL_CURRENT_PROGRAM), 0);
        glUseProgram(programs_[0].GetProgramHandle());
        use.Restore();
    }
    EXPECT_EQ(Bound(GL_CURRENT_PROGRAM), static_cast<GLint>(programs_[0].GetProgramHandle()));

    {
        ScopedVertexArrayBinding binding(vertexArrays_[1]);
        binding.Restore();
        EXPECT_EQ(Bound(GL_VERTEX_ARRAY_BINDING), 0);
        glBindVertexArray(vertexArrays_[0]);
        binding.Restore();
    }
    EXPECT_EQ(Bound(GL_VERTEX_ARRAY_BINDING), static_cast<GLint>(vertexArrays_[0]));

    {
        ffglex::ScopedVBOBinding binding(buffers_[1]);
        binding.Restore();
        EXPECT_EQ(Bound(GL_ARRAY_BUFFER_BINDING), 0);
        glBindBuffer(GL_ARRAY_BUFFER, buffers_[0]);
        binding.Restore();
    }
    EXPECT_EQ(Bound(GL_ARRAY_BUFFER_BINDING), static_cast<GLint>(buffers_[0]));
}

TEST_F(ScreenQuadTest, CreateBuffersLeavesNoBufferOrVertexArrayBound) {
    glBindVertexArray(vertexArrays_[0]);
    glBindBuffer(GL_ARRAY_BUFFER, buffers_[0]);

    ScreenQuad quad;
    ASSERT_TRUE(quad.CreateBuffers(false));
    EXPECT_EQ(Bound(GL_ARRAY_BUFFER_BINDING), 0);
    EXPECT_EQ(Bound(GL_VERTEX_ARRAY_BINDING), 0);
    EXPECT_NE(quad.VertexArray(), 0u);
    EXPECT_NE(quad.VertexBuffer(), 0u);
    EXPECT_TRUE(glIsVertexArray(quad.VertexArray()));
    EXPECT_TRUE(glIsBuffer(quad.VertexBuffer()));

    // Six vertices of five floats.
    glBindBuffer(GL_ARRAY_BUFFER, quad.VertexBuffer());
    GLint size = 0;
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    EXPECT_EQ(size, 120);
    glBindBuffer(GL_ARRAY_BUFFER, 0);

    quad.DestroyBuffers();
}

// With no GL objects, Draw must not even open its vertex-array scope: the vertex array a
// test left bound stays bound, and nothing reaches the target.
TEST_F(ScreenQuadTest, DrawOnAnEmptyQuadDrawsNothing) {
    ffglhost::RenderTarget target(8, 8);
    target.Clear(0.0f, 0.0f, 0.0f, 0.0f);
    const std::vector<uint8_t> cleared = target.ReadPixels();
    target.Bind();
    glUseProgram(programs_[1].GetProgramHandle());

    ScreenQuad neverCreated;
    glBindVertexArray(vertexArrays_[0]);
    neverCreated.Draw();
    EXPECT_EQ(Bound(GL_VERTEX_ARRAY_BINDING), static_cast<GLint>(vertexArrays_[0]));

    ScreenQuad destroyed;
    ASSERT_TRUE(destroyed.CreateBuffers(false));
    destroyed.DestroyBuffers();
    glBindVertexArray(vertexArrays_[0]);
    destroyed.Draw();
    EXPECT_EQ(Bound(GL_VERTEX_ARRAY_BINDING), static_cast<GLint>(vertexArrays_[0]));

    glBindVertexArray(0);
    glUseProgram(0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_EQ(target.ReadPixels(), cleared);

    // The same set-up does draw when the call reaches GL, so the check above can fail.
    target.Bind();
    glUseProgram(programs_[1].GetProgramHandle());
    glBindVertexArray(vertexArrays_[0]);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glBindVertexArray(0);
    glUseProgram(0);
    EXPECT_NE(target.ReadPixels(), cleared);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

// Renders the quad's texture coordinates and reads the corners. The bottom-left pixel's
// centre lies half a pixel in, so it reads close to, not exactly, the corner's coordinate.
TEST_F(ScreenQuadTest, QuadCoversTheViewportWithPlainOrFlippedCoordinates) {
    constexpr uint32_t kSize = 16;
    constexpr int kNear = 255 / int{kSize};  // at most one pixel's worth of coordinate
    struct Corner {
        uint32_t x, y;
        int u, v;  // expected, 0 or 255
    };
    const struct {
        bool flip;
        Corner corners[4];
    } cases[] = {
        {false,
         {{0, 0, 0, 0},
          {kSize - 1, 0, 255, 0},
          {0, kSize - 1, 0, 255},
          {kSize - 1, kSize - 1, 255, 255}}},
        {true,
         {{0, 0, 0, 255},
          {kSize - 1, 0, 255, 255},
          {0, kSize - 1, 0, 0},
          {kSize - 1, kSize - 1, 255, 0}}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.flip ? "flipped" : "plain");
        ScreenQuad quad;
        ASSERT_TRUE(quad.CreateBuffers(test.flip));
        ffglhost::RenderTarget target(kSize, kSize);
        target.Clear(0.0f, 0.0f, 1.0f, 0.0f);
        glUseProgram(programs_[0].GetProgramHandle());
        quad.Draw();
        glUseProgram(0);
        EXPECT_EQ(Bound(GL_VERTEX_ARRAY_BINDING), 0);

        const std::vector<uint8_t> pixels = target.ReadPixels();
        for (size_t i = 0; i < pixels.size(); i += 4) {
            ASSERT_EQ(pixels[i + 2], 0) << "pixel " << i / 4 << " not covered";
            ASSERT_EQ(pixels[i + 3], 255) << "pixel " << i / 4 << " not covered";
        }
        for (const Corner& corner : test.corners) {
            const uint8_t* p = &pixels[(size_t{corner.y} * kSize + corner.x) * 4];
            EXPECT_NEAR(p[0], corner.u, kNear) << "u at " << corner.x << "," << corner.y;
            EXPECT_NEAR(p[1], corner.v, kNear) << "v at " << corner.x << "," << corner.y;
        }
        quad.DestroyBuffers();
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    }
}

TEST_F(ScreenQuadTest, DestroyBuffersTwiceLeavesNamesZeroAndObjectsGone) {
    ScreenQuad quad;
    ASSERT_TRUE(quad.CreateBuffers(false));
    const GLuint vertexArray = quad.VertexArray();
    const GLuint buffer = quad.VertexBuffer();
    quad.DestroyBuffers();
    EXPECT_EQ(quad.VertexArray(), 0u);
    EXPECT_EQ(quad.VertexBuffer(), 0u);
    EXPECT_FALSE(glIsVertexArray(vertexArray));
    EXPECT_FALSE(glIsBuffer(buffer));

    quad.DestroyBuffers();
    EXPECT_EQ(quad.VertexArray(), 0u);
    EXPECT_EQ(quad.VertexBuffer(), 0u);
    EXPECT_TRUE(glIsBuffer(buffers_[0])) << "no other object was deleted";
    EXPECT_TRUE(glIsVertexArray(vertexArrays_[0]));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    // Empty again, it can be created anew.
    ASSERT_TRUE(quad.CreateBuffers(true));
    EXPECT_NE(quad.VertexArray(), 0u);
    quad.DestroyBuffers();
}

}  // namespace
