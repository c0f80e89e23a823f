// The GL state a host finds after each GL code: what the module touched is back at the
// default binding, what it did not touch is as the host left it, and a frame leaves the
// framebuffer it was given bound.
#include <gtest/gtest.h>

#define GL_GLEXT_PROTOTYPES
#include <GL/glcorearb.h>

#include <vector>

#include "lib/gl/gl_objects.h"
#include "support/loaded_module.h"

namespace {

using L = ffglhost::PluginLibrary;

GLint Get(GLenum what) {
    GLint value = -1;
    glGetIntegerv(what, &value);
    return value;
}

// Host objects bound everywhere the module could touch, before each call.
class HostBindings {
  public:
    HostBindings() {
        glGenVertexArrays(1, &vertexArray_);
        glGenBuffers(1, &buffer_);
        glGenTextures(1, &texture_);
    }
    ~HostBindings() {
        glBindVertexArray(0);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, 0);
        glDeleteVertexArrays(1, &vertexArray_);
        glDeleteBuffers(1, &buffer_);
        glDeleteTextures(1, &texture_);
    }
    void Bind() const {
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, texture_);
        glActiveTexture(GL_TEXTURE2);
        glBindVertexArray(vertexArray_);
        glBindBuffer(GL_ARRAY_BUFFER, buffer_);
    }
    void ExpectUntouched(const char* after) const {
        EXPECT_EQ(Get(GL_ACTIVE_TEXTURE), GL_TEXTURE2) << after;
        EXPECT_EQ(Get(GL_VERTEX_ARRAY_BINDING), static_cast<GLint>(vertexArray_)) << after;
        EXPECT_EQ(Get(GL_ARRAY_BUFFER_BINDING), static_cast<GLint>(buffer_)) << after;
        glActiveTexture(GL_TEXTURE0);
        EXPECT_EQ(Get(GL_TEXTURE_BINDING_2D), static_cast<GLint>(texture_)) << after;
        EXPECT_EQ(Get(GL_CURRENT_PROGRAM), 0) << after;
    }

    GLuint Buffer() const { return buffer_; }

  private:
    GLuint vertexArray_ = 0;
    GLuint buffer_ = 0;
    GLuint texture_ = 0;
};

TEST(GlState, EachGlCodeLeavesTheDefaultsWhereItTouchedAndNothingElse) {
    HostBindings host;
    const std::vector<uint8_t> picture(32 * 32 * 4, 77);
    ffglhost::Texture input(32, 32, picture.data());
    ffglhost::RenderTarget target(32, 32);

    host.Bind();
    FFGLViewportStruct viewport{0, 0, 32, 32};
    const FFResult handle = Module().Call(FF_INSTANTIATE_GL, &viewport);
    ASSERT_NE(handle, FF_FAIL);
    FFInstanceID instance = L::AsPointer<void>(handle);
    // Building the quad uses the vertex-array and array-buffer bindings.
    EXPECT_EQ(Get(GL_VERTEX_ARRAY_BINDING), 0);
    EXPECT_EQ(Get(GL_ARRAY_BUFFER_BINDING), 0);
    EXPECT_EQ(Get(GL_ACTIVE_TEXTURE), GL_TEXTURE2) << "code 18 leaves the texture unit";
    EXPECT_EQ(Get(GL_CURRENT_PROGRAM), 0);

    for (uint32_t code : {FF_CONNECT, FF_DISCONNECT, FF_RESIZE}) {
        host.Bind();
        ASSERT_EQ(Module().Call(code, &viewport, instance), FF_SUCCESS);
        host.ExpectUntouched(code == FF_RESIZE ? "code 23" : "code 21 or 22");
    }

    host.Bind();
    FFGLTextureStruct texture = input.Describe();
    FFGLTextureStruct* inputs[] = {&texture};
    ProcessOpenGLStruct frame{1, inputs, target.Framebuffer()};
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, 32, 32);
    ASSERT_EQ(Module().Call(FF_PROCESS_OPENGL, &frame, instance), FF_SUCCESS);
    EXPECT_EQ(Get(GL_DRAW_FRAMEBUFFER_BINDING), static_cast<GLint>(target.Framebuffer()));
    EXPECT_EQ(Get(GL_CURRENT_PROGRAM), 0);
    EXPECT_EQ(Get(GL_ACTIVE_TEXTURE), GL_TEXTURE0);
    EXPECT_EQ(Get(GL_TEXTURE_BINDING_2D), 0);
    EXPECT_EQ(Get(GL_VERTEX_ARRAY_BINDING), 0);
    EXPECT_EQ(Get(GL_ARRAY_BUFFER_BINDING), static_cast<GLint>(host.Buffer()))
        << "the frame does not bind buffers";
    GLint viewportNow[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewportNow);
    EXPECT_EQ(viewportNow[2], 32) << "the host's viewport is not touched";

    host.Bind();
    ASSERT_EQ(Module().Call(FF_DEINSTANTIATE_GL, 0, instance), FF_SUCCESS);
    host.ExpectUntouched("code 19");
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

}  // namespace
