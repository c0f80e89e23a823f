#include "frame_texture.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/glcorearb.h>

#include <algorithm>

FrameTexture::FrameTexture(uint32_t width, uint32_t height) : width_(width), height_(height) {
    glGenTextures(1, &texture_);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(width),
                 static_cast<GLsizei>(height), 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture_, 0);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
}

FrameTexture::~FrameTexture() {
    glDeleteFramebuffers(1, &framebuffer_);
    glDeleteTextures(1, &texture_);
}

void FrameTexture::Upload(const ffglhost::Image& image) {
    if (image.width != width_ || image.height != height_) {
        return;
    }
    glBindTexture(GL_TEXTURE_2D, texture_);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, static_cast<GLsizei>(width_),
                    static_cast<GLsizei>(height_), GL_RGBA, GL_UNSIGNED_BYTE, image.rgba.data());
}

void FrameTexture::Draw(int windowWidth, int windowHeight) const {
    const double scale = std::min(static_cast<double>(windowWidth) / width_,
                                  static_cast<double>(windowHeight) / height_);
    const auto w = static_cast<GLint>(width_ * scale);
    const auto h = static_cast<GLint>(height_ * scale);
    const GLint x = (windowWidth - w) / 2;
    const GLint y = (windowHeight - h) / 2;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glBlitFramebuffer(0, 0, static_cast<GLint>(width_), static_cast<GLint>(height_), x, y + h,
                      x + w, y, GL_COLOR_BUFFER_BIT, GL_LINEAR);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
}
