#include "pbo_reader.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/glcorearb.h>

#include "lib/host_error.h"

namespace ffglhost {

PboReader::PboReader(uint32_t width, uint32_t height, size_t depth)
    : width_(width), height_(height), buffers_(depth < 2 ? 2 : depth, 0) {
    const auto bytes = static_cast<GLsizeiptr>(size_t{width} * height * 4);
    glGenBuffers(static_cast<GLsizei>(buffers_.size()), buffers_.data());
    for (uint32_t buffer : buffers_) {
        if (buffer == 0) {
            glDeleteBuffers(static_cast<GLsizei>(buffers_.size()), buffers_.data());
            throw HostError("cannot create GL pixel buffers");
        }
        glBindBuffer(GL_PIXEL_PACK_BUFFER, buffer);
        glBufferData(GL_PIXEL_PACK_BUFFER, bytes, nullptr, GL_STREAM_READ);
    }
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
}

PboReader::~PboReader() {
    glDeleteBuffers(static_cast<GLsizei>(buffers_.size()), buffers_.data());
}

bool PboReader::Read(uint32_t framebuffer, Image& out) {
    const size_t slot = (oldest_ + inFlight_) % buffers_.size();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, buffers_[slot]);
    glReadPixels(0, 0, static_cast<GLsizei>(width_), static_cast<GLsizei>(height_), GL_RGBA,
                 GL_UNSIGNED_BYTE, nullptr);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    ++inFlight_;
    if (inFlight_ < buffers_.size()) {
        return false;
    }
    CopyOldest(out);
    return true;
}

bool PboReader::Drain(Image& out) {
    if (inFlight_ == 0) {
        return false;
    }
    CopyOldest(out);
    return true;
}

bool PboReader::Drain(uint8_t* topRowFirst) {
    if (inFlight_ == 0) {
        return false;
    }
    CopyOldest(topRowFirst);
    return true;
}

void PboReader::CopyOldest(Image& out) {
    if (out.width != width_ || out.height != height_ ||
        out.rgba.size() != size_t{width_} * 4 * height_) {
        out = Image(width_, height_);
    }
    CopyOldest(out.rgba.data());
}

void PboReader::CopyOldest(uint8_t* out) {
    const size_t rowBytes = size_t{width_} * 4;
    glBindBuffer(GL_PIXEL_PACK_BUFFER, buffers_[oldest_]);
    const void* pixels = glMapBufferRange(
        GL_PIXEL_PACK_BUFFER, 0, static_cast<GLsizeiptr>(rowBytes * height_), GL_MAP_READ_BIT);
    if (pixels == nullptr) {
        glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
        throw HostError("cannot map a GL pixel buffer for reading");
    }
    FlipRowsInto(static_cast<const uint8_t*>(pixels), out, rowBytes, height_);
    glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    oldest_ = (oldest_ + 1) % buffers_.size();
    --inFlight_;
}

}  // namespace ffglhost
