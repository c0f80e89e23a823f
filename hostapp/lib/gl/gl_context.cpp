#include "gl_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#define GL_GLEXT_PROTOTYPES
#include <GL/glcorearb.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "lib/host_error.h"

namespace ffglhost {

namespace {

constexpr const char* kInstallHint =
    " (Mesa's EGL and llvmpipe come with the Debian packages libegl1 libegl-mesa0 "
    "libgl1-mesa-dri)";

bool HasExtension(const char* extensions, const char* name) {
    if (extensions == nullptr) {
        return false;
    }
    const size_t length = std::strlen(name);
    for (const char* p = std::strstr(extensions, name); p != nullptr;
         p = std::strstr(p + length, name)) {
        const char end = p[length];
        if ((p == extensions || p[-1] == ' ') && (end == ' ' || end == '\0')) {
            return true;
        }
    }
    return false;
}

// Surfaceless first; then the first EGL device, which a GPU driver may offer instead.
std::vector<EGLDisplay> CandidateDisplays() {
    std::vector<EGLDisplay> displays;
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay == nullptr) {
        return displays;
    }
    if (HasExtension(clientExtensions, "EGL_MESA_platform_surfaceless")) {
        displays.push_back(
            getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr));
    }
    auto queryDevices =
        reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
    if (queryDevices != nullptr && HasExtension(clientExtensions, "EGL_EXT_platform_device")) {
        EGLDeviceEXT devices[8];
        EGLint count = 0;
        if (queryDevices(8, devices, &count) && count > 0) {
            for (EGLint i = 0; i < count; ++i) {
                displays.push_back(
                    getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr));
            }
        }
    }
    return displays;
}

EGLContext CreateCoreContext(EGLDisplay display) {
    EGLint major = 0;
    EGLint minor = 0;
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
        return EGL_NO_CONTEXT;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        eglTerminate(display);
        return EGL_NO_CONTEXT;
    }
    const EGLint configAttributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                                       EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configCount = 0;
    if (!eglChooseConfig(display, configAttributes, &config, 1, &configCount) || configCount < 1) {
        config = nullptr;  // surfaceless contexts may still be made without a config
    }
    const EGLint contextAttributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                        4,
                                        EGL_CONTEXT_MINOR_VERSION,
                                        1,
                                        EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                        EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                        EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
    if (context == EGL_NO_CONTEXT) {
        eglTerminate(display);
        return EGL_NO_CONTEXT;
    }
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        eglDestroyContext(display, context);
        eglTerminate(display);
        return EGL_NO_CONTEXT;
    }
    return context;
}

}  // namespace

GlContext::GlContext() {
    for (EGLDisplay display : CandidateDisplays()) {
        EGLContext context = CreateCoreContext(display);
        if (context != EGL_NO_CONTEXT) {
            display_ = display;
            context_ = context;
            return;
        }
    }
    throw HostError(std::string("no OpenGL 4.1 core context could be made through EGL") +
                    kInstallHint);
}

// EGL hands out one display per platform to the whole process, so other contexts may
// still use it: it is left initialised.
GlContext::~GlContext() {
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display_, context_);
}

void GlContext::MakeCurrent() const {
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_);
}

std::string GlContext::Renderer() const {
    const auto* text = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    return text != nullptr ? text : "";
}

std::string GlContext::Version() const {
    const auto* text = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    return text != nullptr ? text : "";
}

GlLimits GlContext::Limits() const {
    GLint texture = 0;
    GLint renderbuffer = 0;
    GLint viewport[2] = {};
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texture);
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &renderbuffer);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    GLint framebuffer[2] = {};  // stays 0 where GL 4.3's query is unknown
    glGetIntegerv(GL_MAX_FRAMEBUFFER_WIDTH, &framebuffer[0]);
    glGetIntegerv(GL_MAX_FRAMEBUFFER_HEIGHT, &framebuffer[1]);
    for (int i = 0; i < 8 && glGetError() != GL_NO_ERROR; ++i) {
    }
    const auto side = [](GLint value) { return static_cast<uint32_t>(std::max(value, 0)); };
    const auto stated = [](GLint value) {
        return value > 0 ? static_cast<uint32_t>(value) : UINT32_MAX;
    };
    return {side(texture),     side(renderbuffer),     side(viewport[0]),
            side(viewport[1]), stated(framebuffer[0]), stated(framebuffer[1])};
}

}  // namespace ffglhost
