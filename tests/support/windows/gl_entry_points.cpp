// OpenGL32.dll exports only OpenGL 1.1; the tests and the host library's GL objects call
// later entry points directly, as on Linux. These definitions give them those names and
// forward each call to the driver's function, looked up at its first call (the tests'
// context is current by then).
#include <windows.h>

#define GL_GLEXT_PROTOTYPES
#include <GL/glcorearb.h>

#include <cstdio>
#include <cstdlib>

namespace {

template <typename Function>
Function Resolve(const char* name) {
    PROC entry = wglGetProcAddress(name);
    if (entry == nullptr) {
        std::fprintf(stderr, "OpenGL entry point %s is missing\n", name);
        std::abort();
    }
    return reinterpret_cast<Function>(reinterpret_cast<void*>(entry));
}

}  // namespace

#define QUELLIX_GL_FORWARD(Result, Name, Pointer, Parameters, Arguments) \
    extern "C" Result APIENTRY Name Parameters {                         \
        static const Pointer entry = Resolve<Pointer>(#Name);            \
        return entry Arguments;                                          \
    }

QUELLIX_GL_FORWARD(void, glActiveTexture, PFNGLACTIVETEXTUREPROC, (GLenum unit), (unit))
QUELLIX_GL_FORWARD(void, glBindBuffer, PFNGLBINDBUFFERPROC, (GLenum target, GLuint buffer),
                   (target, buffer))
QUELLIX_GL_FORWARD(void, glBindFramebuffer, PFNGLBINDFRAMEBUFFERPROC,
                   (GLenum target, GLuint framebuffer), (target, framebuffer))
QUELLIX_GL_FORWARD(void, glBindVertexArray, PFNGLBINDVERTEXARRAYPROC, (GLuint array), (array))
QUELLIX_GL_FORWARD(GLenum, glCheckFramebufferStatus, PFNGLCHECKFRAMEBUFFERSTATUSPROC,
                   (GLenum target), (target))
QUELLIX_GL_FORWARD(void, glDeleteBuffers, PFNGLDELETEBUFFERSPROC,
                   (GLsizei count, const GLuint* names), (count, names))
QUELLIX_GL_FORWARD(void, glDeleteFramebuffers, PFNGLDELETEFRAMEBUFFERSPROC,
                   (GLsizei count, const GLuint* names), (count, names))
QUELLIX_GL_FORWARD(void, glDeleteVertexArrays, PFNGLDELETEVERTEXARRAYSPROC,
                   (GLsizei count, const GLuint* names), (count, names))
QUELLIX_GL_FORWARD(void, glFramebufferTexture2D, PFNGLFRAMEBUFFERTEXTURE2DPROC,
                   (GLenum target, GLenum attachment, GLenum textarget, GLuint texture,
                    GLint level),
                   (target, attachment, textarget, texture, level))
QUELLIX_GL_FORWARD(void, glGenBuffers, PFNGLGENBUFFERSPROC, (GLsizei count, GLuint* names),
                   (count, names))
QUELLIX_GL_FORWARD(void, glGenFramebuffers, PFNGLGENFRAMEBUFFERSPROC,
                   (GLsizei count, GLuint* names), (count, names))
QUELLIX_GL_FORWARD(void, glGenVertexArrays, PFNGLGENVERTEXARRAYSPROC,
                   (GLsizei count, GLuint* names), (count, names))
QUELLIX_GL_FORWARD(GLint, glGetUniformLocation, PFNGLGETUNIFORMLOCATIONPROC,
                   (GLuint program, const GLchar* name), (program, name))
QUELLIX_GL_FORWARD(void, glGetUniformfv, PFNGLGETUNIFORMFVPROC,
                   (GLuint program, GLint location, GLfloat* values), (program, location, values))
QUELLIX_GL_FORWARD(GLboolean, glIsProgram, PFNGLISPROGRAMPROC, (GLuint program), (program))
