// GL objects a host gives a plug-in: input textures and a framebuffer to draw into.
// Pixels cross this interface as RGBA, 8 bits per channel, bottom row first (GL order).
#ifndef FFGLHOST_GL_OBJECTS_H
#define FFGLHOST_GL_OBJECTS_H

#include <cstdint>
#include <vector>

#include "ffgl/abi.h"

namespace ffglhost {

// A 2D texture holding an image, optionally padded to power-of-two sizes (the padding is
// transparent black), described to a plug-in by Describe().
class Texture {
  public:
    Texture(uint32_t width, uint32_t height, const uint8_t* rgba, bool padToPowerOfTwo = false);
    ~Texture();
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    // Replaces the image (same size) in the texture.
    void Upload(const uint8_t* rgba);
    FFGLTextureStruct Describe() const {
        return {width_, height_, textureWidth_, textureHeight_, name_};
    }
    uint32_t Name() const { return name_; }

  private:
    uint32_t name_ = 0;
    uint32_t width_;
    uint32_t height_;
    uint32_t textureWidth_;
    uint32_t textureHeight_;
};

// A framebuffer with an RGBA8 colour texture; binding it also sets the viewport.
class RenderTarget {
  public:
    RenderTarget(uint32_t width, uint32_t height);
    ~RenderTarget();
    RenderTarget(const RenderTarget&) = delete;
    RenderTarget& operator=(const RenderTarget&) = delete;

    void Bind() const;
    void Clear(float r, float g, float b, float a) const;
    std::vector<uint8_t> ReadPixels() const;
    uint32_t Framebuffer() const { return framebuffer_; }
    uint32_t ColourTexture() const { return texture_; }
    uint32_t Width() const { return width_; }
    uint32_t Height() const { return height_; }

  private:
    uint32_t framebuffer_ = 0;
    uint32_t texture_ = 0;
    uint32_t width_;
    uint32_t height_;
};

uint32_t NextPowerOfTwo(uint32_t value);

}  // namespace ffglhost

#endif  // FFGLHOST_GL_OBJECTS_H
