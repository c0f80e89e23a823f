#include "gl_objects.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/glcorearb.h>

#include <string>

#include "lib/host_error.h"

namespace ffglhost {

uint32_t NextPowerOfTwo(uint32_t value) {
    uint32_t power = 1;
    while (power < value && power < 0x80000000u) {
        power <<= 1;
    }
    return power;
}

Texture::Texture(uint32_t width, uint32_t height, const uint8_t* rgba, bool padToPowerOfTwo)
    : width_(width),
      height_(height),
      textureWidth_(padToPowerOfTwo ? NextPowerOfTwo(width) : width),
      textureHeight_(padToPowerOfTwo ? NextPowerOfTwo(height) : height) {
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    if (textureWidth_ > static_cast<uint32_t>(maxSide) ||
        textureHeight_ > static_cast<uint32_t>(maxSide)) {
        throw HostError("a " + std::to_string(textureWidth_) + "x" +
                        std::to_string(textureHeight_) +
                        " texture is larger than this OpenGL allows (" + std::to_string(maxSide) +
                        " pixels a side)");
    }
    glGenTextures(1, &name_);
    if (name_ == 0) {
        throw HostError("cannot create a GL texture");
    }
    glBindTexture(GL_TEXTURE_2D, name_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    const std::vector<uint8_t> zeros(size_t{textureWidth_} * textureHeight_ * 4, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(textureWidth_),
                 static_cast<GLsizei>(textureHeight_), 0, GL_RGBA, GL_UNSIGNED_BYTE, zeros.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    if (rgba != nullptr) {
        Upload(rgba);
    }
}

Texture::~Texture() {
    glDeleteTextures(1, &name_);
}

void Texture::Upload(const uint8_t* rgba) {
    glBindTexture(GL_TEXTURE_2D, name_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(width_),
                    static_cast<GLsizei>(height_), GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glBindTexture(GL_TEXTURE_2D, 0);
}

RenderTarget::RenderTarget(uint32_t width, uint32_t height) : width_(width), height_(height) {
    glGenTextures(1, &texture_);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(width),
                 static_cast<GLsizei>(height), 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);
    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture_, 0);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        glDeleteFramebuffers(1, &framebuffer_);
        glDeleteTextures(1, &texture_);
        throw HostError("cannot create a framebuffer of the requested size");
    }
}

RenderTarget::~RenderTarget() {
    glDeleteFramebuffers(1, &framebuffer_);
    glDeleteTextures(1, &texture_);
}

void RenderTarget::Bind() const {
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glViewport(0, 0, static_cast<GLsizei>(width_), static_cast<GLsizei>(height_));
}

void RenderTarget::Clear(float r, float g, float b, float a) const {
    Bind();
    glClearColor(r, g, b, a);
    glClear(GL_COLOR_BUFFER_BIT);
}

std::vector<uint8_t> RenderTarget::ReadPixels() const {
    std::vector<uint8_t> pixels(size_t{width_} * height_ * 4);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, static_cast<GLsizei>(width_), static_cast<GLsizei>(height_), GL_RGBA,
                 GL_UNSIGNED_BYTE, pixels.data());
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    return pixels;
}

}  // namespace ffglhost
