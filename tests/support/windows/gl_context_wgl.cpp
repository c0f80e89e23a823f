// The host library's GL context on Windows: a hidden window whose device context carries a
// legacy OpenGL context, used only to reach wglCreateContextAttribsARB, which then makes
// the 4.1 core context the tests run in.
#include <windows.h>

#define GL_GLEXT_PROTOTYPES
#include <GL/glcorearb.h>
#include <GL/wglext.h>

#include <string>

#include "lib/gl/gl_context.h"
#include "lib/host_error.h"

namespace ffglhost {

namespace {

constexpr const char* kWindowClass = "QuellixTestGlWindow";

HWND CreateHiddenWindow() {
    WNDCLASSA windowClass = {};
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass);  // fails harmlessly when already registered
    HWND window = CreateWindowExA(0, kWindowClass, "Quellix tests", WS_OVERLAPPEDWINDOW, 0, 0, 64,
                                  64, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window == nullptr) {
        throw HostError("cannot create a window for the OpenGL context");
    }
    return window;
}

void ChoosePixelFormatFor(HDC dc) {
    PIXELFORMATDESCRIPTOR format = {};
    format.nSize = sizeof format;
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = 32;
    format.cDepthBits = 24;
    const int index = ChoosePixelFormat(dc, &format);
    if (index == 0 || !SetPixelFormat(dc, index, &format)) {
        throw HostError("no OpenGL pixel format for the window");
    }
}

// The legacy context exists only while wglCreateContextAttribsARB is looked up and called.
HGLRC CreateCoreContext(HDC dc) {
    HGLRC legacy = wglCreateContext(dc);
    if (legacy == nullptr || !wglMakeCurrent(dc, legacy)) {
        throw HostError("cannot make a legacy OpenGL context");
    }
    auto createContextAttribs = reinterpret_cast<PFNWGLCREATECONTEXTATTRIBSARBPROC>(
        reinterpret_cast<void*>(wglGetProcAddress("wglCreateContextAttribsARB")));
    const int attributes[] = {WGL_CONTEXT_MAJOR_VERSION_ARB,
                              4,
                              WGL_CONTEXT_MINOR_VERSION_ARB,
                              1,
                              WGL_CONTEXT_PROFILE_MASK_ARB,
                              WGL_CONTEXT_CORE_PROFILE_BIT_ARB,
                              0};
    HGLRC core =
        createContextAttribs != nullptr ? createContextAttribs(dc, nullptr, attributes) : nullptr;
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(legacy);
    if (core == nullptr) {
        throw HostError("no OpenGL 4.1 core context (wglCreateContextAttribsARB)");
    }
    return core;
}

}  // namespace

GlContext::GlContext() {
    HWND window = CreateHiddenWindow();
    display_ = window;
    try {
        HDC dc = GetDC(window);
        ChoosePixelFormatFor(dc);
        context_ = CreateCoreContext(dc);
    } catch (...) {
        DestroyWindow(window);
        throw;
    }
    MakeCurrent();
}

GlContext::~GlContext() {
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(static_cast<HGLRC>(context_));
    DestroyWindow(static_cast<HWND>(display_));
}

void GlContext::MakeCurrent() const {
    // CS_OWNDC: the window keeps one device context, so GetDC answers it every time.
    if (!wglMakeCurrent(GetDC(static_cast<HWND>(display_)), static_cast<HGLRC>(context_))) {
        throw HostError("cannot make the OpenGL context current");
    }
}

std::string GlContext::Renderer() const {
    return reinterpret_cast<const char*>(glGetString(GL_RENDERER));
}

std::string GlContext::Version() const {
    return reinterpret_cast<const char*>(glGetString(GL_VERSION));
}

}  // namespace ffglhost
