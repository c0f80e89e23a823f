// Scope guards for GL bindings. Each binds on construction and, when it ends (Restore or
// destruction), binds the default: object 0, or texture unit 0. They never read what was
// bound before, so after a scope the binding is the default whatever the host had.
#ifndef QUELLIX_GL_SCOPED_BINDINGS_H
#define QUELLIX_GL_SCOPED_BINDINGS_H

#include <cstdint>

namespace ffglex {

class ScopedBufferBinding {
  public:
    ScopedBufferBinding(uint32_t target, uint32_t buffer);
    virtual ~ScopedBufferBinding();
    ScopedBufferBinding(const ScopedBufferBinding&) = delete;
    ScopedBufferBinding& operator=(const ScopedBufferBinding&) = delete;
    void Restore();

  private:
    uint32_t target_;
    bool bound_;
};

class ScopedVBOBinding : public ScopedBufferBinding {
  public:
    explicit ScopedVBOBinding(uint32_t buffer);
};

class ScopedTextureBinding {
  public:
    ScopedTextureBinding(uint32_t target, uint32_t texture);
    virtual ~ScopedTextureBinding();
    ScopedTextureBinding(const ScopedTextureBinding&) = delete;
    ScopedTextureBinding& operator=(const ScopedTextureBinding&) = delete;
    void Restore();

  private:
    uint32_t target_;
    bool bound_;
};

class Scoped2DTextureBinding : public ScopedTextureBinding {
  public:
    explicit Scoped2DTextureBinding(uint32_t texture);
    ~Scoped2DTextureBinding() override;
};

}  // namespace ffglex

class ScopedProgramUse {
  public:
    explicit ScopedProgramUse(uint32_t program);
    ~ScopedProgramUse() { Restore(); }
    ScopedProgramUse(const ScopedProgramUse&) = delete;
    ScopedProgramUse& operator=(const ScopedProgramUse&) = delete;
    void Restore();

  private:
    bool active_ = true;
};

class ScopedTextureUnit {
  public:
    explicit ScopedTextureUnit(int32_t unit);
    ~ScopedTextureUnit() { Restore(); }
    ScopedTextureUnit(const ScopedTextureUnit&) = delete;
    ScopedTextureUnit& operator=(const ScopedTextureUnit&) = delete;
    void Restore();

  private:
    bool active_ = true;
};

class ScopedVertexArrayBinding {
  public:
    explicit ScopedVertexArrayBinding(uint32_t vertexArray);
    ~ScopedVertexArrayBinding() { Restore(); }
    ScopedVertexArrayBinding(const ScopedVertexArrayBinding&) = delete;
    ScopedVertexArrayBinding& operator=(const ScopedVertexArrayBinding&) = delete;
    void Restore();

  private:
    bool active_ = true;
};

#endif  // QUELLIX_GL_SCOPED_BINDINGS_H
