#include "screen_quad.h"

#include <cstddef>

#include "gl_loader.h"
#include "scoped_bindings.h"

namespace {

// u, v, x, y, z per vertex: (top-left, top-right, bottom-left), (bottom-left, top-right,
// bottom-right). Both triangles wind clockwise, so face culling must be off to see them.
struct QuadVertex {
    float u, v, x, y, z;
};
static_assert(sizeof(QuadVertex) == 20, "the vertex layout is five packed floats");

constexpr QuadVertex kPlainVertices[6] = {
    {0, 1, -1, 1, 0},  {1, 1, 1, 1, 0}, {0, 0, -1, -1, 0},
    {0, 0, -1, -1, 0}, {1, 1, 1, 1, 0}, {1, 0, 1, -1, 0},
};
constexpr QuadVertex kFlippedVertices[6] = {
    {0, 0, -1, 1, 0},  {1, 0, 1, 1, 0}, {0, 1, -1, -1, 0},
    {0, 1, -1, -1, 0}, {1, 0, 1, 1, 0}, {1, 1, 1, -1, 0},
};
static_assert(sizeof(kPlainVertices) == 120, "six vertices of 20 bytes");

}  // namespace

bool ScreenQuad::CreateBuffers(bool flipTextureCoordinates) {
    glGenVertexArrays(1, &vertexArray_);
    glGenBuffers(1, &vertexBuffer_);
    if (vertexArray_ == 0 || vertexBuffer_ == 0) {
        DestroyBuffers();
        return false;
    }
    ScopedVertexArrayBinding vertexArrayBinding(vertexArray_);
    ffglex::ScopedVBOBinding bufferBinding(vertexBuffer_);
    glBufferData(GL_ARRAY_BUFFER, sizeof(kPlainVertices),
                 flipTextureCoordinates ? kFlippedVertices : kPlainVertices, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(QuadVertex),
                          reinterpret_cast<const void*>(offsetof(QuadVertex, x)));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, sizeof(QuadVertex),
                          reinterpret_cast<const void*>(offsetof(QuadVertex, u)));
    bufferBinding.Restore();
    vertexArrayBinding.Restore();
    return true;
}

void ScreenQuad::Draw() const {
    if (vertexArray_ == 0 || vertexBuffer_ == 0) {
        return;
    }
    ScopedVertexArrayBinding vertexArrayBinding(vertexArray_);
    glDrawArrays(GL_TRIANGLES, 0, 6);
}

void ScreenQuad::DestroyBuffers() {
    glDeleteBuffers(1, &vertexBuffer_);
    vertexBuffer_ = 0;
    glDeleteVertexArrays(1, &vertexArray_);
    vertexArray_ = 0;
}
