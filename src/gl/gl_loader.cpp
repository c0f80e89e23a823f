#include "gl_loader.h"

namespace {

// True when every entry point the module calls through GLEW is resolved.
bool ModuleEntryPointsResolved() {
    const void* const entryPoints[] = {
        reinterpret_cast<const void*>(glCreateShader),
        reinterpret_cast<const void*>(glShaderSource),
        reinterpret_cast<const void*>(glCompileShader),
        reinterpret_cast<const void*>(glGetShaderiv),
        reinterpret_cast<const void*>(glGetShaderInfoLog),
        reinterpret_cast<const void*>(glCreateProgram),
        reinterpret_cast<const void*>(glAttachShader),
        reinterpret_cast<const void*>(glTransformFeedbackVaryings),
        reinterpret_cast<const void*>(glLinkProgram),
        reinterpret_cast<const void*>(glGetProgramiv),
        reinterpret_cast<const void*>(glGetProgramInfoLog),
        reinterpret_cast<const void*>(glDeleteShader),
        reinterpret_cast<const void*>(glDeleteProgram),
        reinterpret_cast<const void*>(glGetUniformLocation),
        reinterpret_cast<const void*>(glUniform1i),
        reinterpret_cast<const void*>(glUniform1f),
        reinterpret_cast<const void*>(glUniform2f),
        reinterpret_cast<const void*>(glUniform3f),
        reinterpret_cast<const void*>(glBindBuffer),
        reinterpret_cast<const void*>(glUseProgram),
        reinterpret_cast<const void*>(glActiveTexture),
        reinterpret_cast<const void*>(glBindVertexArray),
        reinterpret_cast<const void*>(glGenVertexArrays),
        reinterpret_cast<const void*>(glGenBuffers),
        reinterpret_cast<const void*>(glBufferData),
        reinterpret_cast<const void*>(glEnableVertexAttribArray),
        reinterpret_cast<const void*>(glVertexAttribPointer),
        reinterpret_cast<const void*>(glDeleteBuffers),
        reinterpret_cast<const void*>(glDeleteVertexArrays),
        reinterpret_cast<const void*>(glBindFramebuffer),
    };
    for (const void* entryPoint : entryPoints) {
        if (entryPoint == nullptr) {
            return false;
        }
    }
    return true;
}

unsigned RunGlew() {
    glewExperimental = GL_FALSE;
    GLenum result = glewInit();
#ifndef _WIN32
    // In a context made through EGL without an X display (headless and Wayland hosts),
    // GLEW resolves the GL entry points and then fails its GLX step, which the module
    // does not need: that answer counts as success when the entry points are there.
    if (result == GLEW_ERROR_NO_GLX_DISPLAY) {
        result = GLEW_OK;
    }
#endif
    // A context that lacks an entry point the module calls would crash a later call.
    if (result == GLEW_OK && !ModuleEntryPointsResolved()) {
        result = GLEW_ERROR_NO_GL_VERSION;
    }
    return result;
}

GlLoaderFunc g_loader = RunGlew;
bool g_loaderAttempted = false;
bool g_loaderReady = false;

}  // namespace

bool EnsureGlLoader() {
    if (!g_loaderAttempted) {
        g_loaderAttempted = true;
        g_loaderReady = g_loader() == 0;
    }
    return g_loaderReady;
}

void SetGlLoaderForTesting(GlLoaderFunc loader) {
    g_loader = loader != nullptr ? loader : RunGlew;
    g_loaderAttempted = false;
    g_loaderReady = false;
}
