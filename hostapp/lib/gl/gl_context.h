// An OpenGL 4.1 core context with no display and no window, made through EGL: Mesa's
// surfaceless platform first, then the EGL device platform that GPU drivers offer.
#ifndef FFGLHOST_GL_CONTEXT_H
#define FFGLHOST_GL_CONTEXT_H

#include <string>

namespace ffglhost {

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

  private:
    void* display_ = nullptr;
    void* context_ = nullptr;
};

}  // namespace ffglhost

#endif  // FFGLHOST_GL_CONTEXT_H
