#include "scoped_bindings.h"

#include "gl_loader.h"

namespace ffglex {

ScopedBufferBinding::ScopedBufferBinding(uint32_t target, uint32_t buffer)
    : target_(target), bound_(true) {
    glBindBuffer(target_, buffer);
}

ScopedBufferBinding::~ScopedBufferBinding() {
    Restore();
}

void ScopedBufferBinding::Restore() {
    if (bound_) {
        glBindBuffer(target_, 0);
        bound_ = false;
    }
}

ScopedVBOBinding::ScopedVBOBinding(uint32_t buffer)
    : ScopedBufferBinding(GL_ARRAY_BUFFER, buffer) {}

ScopedTextureBinding::ScopedTextureBinding(uint32_t target, uint32_t texture)
    : target_(target), bound_(true) {
    glBindTexture(target_, texture);
}

ScopedTextureBinding::~ScopedTextureBinding() {
    Restore();
}

void ScopedTextureBinding::Restore() {
    if (bound_) {
        glBindTexture(target_, 0);
        bound_ = false;
    }
}

Scoped2DTextureBinding::Scoped2DTextureBinding(uint32_t texture)
    : ScopedTextureBinding(GL_TEXTURE_2D, texture) {}

Scoped2DTextureBinding::~Scoped2DTextureBinding() {
    Restore();
}

}  // namespace ffglex

ScopedProgramUse::ScopedProgramUse(uint32_t program) {
    glUseProgram(program);
}

void ScopedProgramUse::Restore() {
    if (active_) {
        glUseProgram(0);
        active_ = false;
    }
}

ScopedTextureUnit::ScopedTextureUnit(int32_t unit) {
    glActiveTexture(static_cast<GLenum>(GL_TEXTURE0 + unit));
}

void ScopedTextureUnit::Restore() {
    if (active_) {
        glActiveTexture(GL_TEXTURE0);
        active_ = false;
    }
}

ScopedVertexArrayBinding::ScopedVertexArrayBinding(uint32_t vertexArray) {
    glBindVertexArray(vertexArray);
}

void ScopedVertexArrayBinding::Restore() {
    if (active_) {
        glBindVertexArray(0);
        active_ = false;
    }
}
