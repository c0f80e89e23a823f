// The texture the window shows the plug-in's frames in, and the framebuffer it is blitted
// from. Needs the window's GL context current.
#ifndef FFGLHOST_CLI_PLAY_FRAME_TEXTURE_H
#define FFGLHOST_CLI_PLAY_FRAME_TEXTURE_H

#include <cstdint>

#include "lib/io/image.h"

class FrameTexture {
  public:
    FrameTexture(uint32_t width, uint32_t height);
    ~FrameTexture();
    FrameTexture(const FrameTexture&) = delete;
    FrameTexture& operator=(const FrameTexture&) = delete;

    // A frame of the texture's size, top row first; others are ignored.
    void Upload(const ffglhost::Image& image);
    // Scaled to fit `windowWidth` x `windowHeight`, centred; the top row goes up.
    void Draw(int windowWidth, int windowHeight) const;

  private:
    uint32_t texture_ = 0;
    uint32_t framebuffer_ = 0;
    uint32_t width_;
    uint32_t height_;
};

#endif  // FFGLHOST_CLI_PLAY_FRAME_TEXTURE_H
