// An OpenGL 4.1 core context with no display and no window, made through EGL: Mesa's
// surfaceless platform first, then the EGL device platform that GPU drivers offer.
#ifndef FFGLHOST_GL_CONTEXT_H
#define FFGLHOST_GL_CONTEXT_H

#include <algorithm>
#include <cstdint>
#include <string>

namespace ffglhost {

// The largest sizes a context takes for textures, renderbuffers, the viewport and
// framebuffers (the last from GL 4.3 on; UINT32_MAX where the context does not say).
struct GlLimits {
    uint32_t maxTextureSize = 0;
    uint32_t maxRenderbufferSize = 0;
    uint32_t maxViewportWidth = 0;
    uint32_t maxViewportHeight = 0;
    uint32_t maxFramebufferWidth = UINT32_MAX;
    uint32_t maxFramebufferHeight = UINT32_MAX;

    // The largest frame each way that an input texture and a framebuffer both take.
    uint32_t MaxWidth() const {
        return std::min(
            {maxTextureSize, maxRenderbufferSize, maxViewportWidth, maxFramebufferWidth});
    }
    uint32_t MaxHeight() const {
        return std::min(
            {maxTextureSize, maxRenderbufferSize, maxViewportHeight, maxFramebufferHeight});
    }
};

class GlContext {
  public:
    // Makes the context and makes it current; throws HostError when no 4.1 core context
    // can be made.
    GlContext();
    ~GlContext();
    GlContext(const GlContext&) = delete;
    GlContext& operator=(const GlContext&) = delete;

    void MakeCurrent() const;
    std::string Renderer() const;
    std::string Version() const;
    GlLimits Limits() const;

  private:
    void* display_ = nullptr;
    void* context_ = nullptr;
};

}  // namespace ffglhost

#endif  // FFGLHOST_GL_CONTEXT_H
