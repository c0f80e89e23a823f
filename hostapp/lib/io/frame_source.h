// Where the input frames of a render come from.
#ifndef FFGLHOST_FRAME_SOURCE_H
#define FFGLHOST_FRAME_SOURCE_H

#include <cstdint>

#include "image.h"

namespace ffglhost {

class FrameSource {
  public:
    virtual ~FrameSource() = default;
    virtual uint32_t Width() const = 0;
    virtual uint32_t Height() const = 0;
    // The next input frame (top row first), valid until the next call; null once the
    // source has no more frames. Throws HostError when reading fails.
    virtual const Image* Next() = 0;
    // True when every frame is the same picture, so it need be uploaded only once.
    virtual bool IsStill() const = 0;
};

// One picture, repeated for ever.
class StillSource : public FrameSource {
  public:
    explicit StillSource(Image picture) : picture_(std::move(picture)) {}
    uint32_t Width() const override { return picture_.width; }
    uint32_t Height() const override { return picture_.height; }
    const Image* Next() override { return &picture_; }
    bool IsStill() const override { return true; }

  private:
    Image picture_;
};

}  // namespace ffglhost

#endif  // FFGLHOST_FRAME_SOURCE_H
