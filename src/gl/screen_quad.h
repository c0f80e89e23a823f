// A vertex array with one buffer of two triangles covering the whole viewport, with
// texture coordinates (0,0) at the lower-left corner (or the upper-left when flipped).
#ifndef QUELLIX_GL_SCREEN_QUAD_H
#define QUELLIX_GL_SCREEN_QUAD_H

#include <cstdint>

class ScreenQuad {
  public:
    ScreenQuad() = default;
    ScreenQuad(const ScreenQuad&) = delete;
    ScreenQuad& operator=(const ScreenQuad&) = delete;

    // Makes and fills the GL objects; false (and nothing left) when GL hands out no name.
    bool CreateBuffers(bool flipTextureCoordinates);
    // Draws the six vertices; no GL call while the quad is empty.
    void Draw() const;
    void DestroyBuffers();

    uint32_t VertexArray() const { return vertexArray_; }
    uint32_t VertexBuffer() const { return vertexBuffer_; }

  private:
    uint32_t vertexArray_ = 0;
    uint32_t vertexBuffer_ = 0;
};

#endif  // QUELLIX_GL_SCREEN_QUAD_H
