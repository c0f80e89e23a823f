// Video input decoded by ffmpeg into raw RGBA frames, read one frame at a time.
#ifndef FFGLHOST_VIDEO_SOURCE_H
#define FFGLHOST_VIDEO_SOURCE_H

#include <memory>
#include <string>

#include "child_process.h"
#include "frame_source.h"
#include "video_format.h"

namespace ffglhost {

class VideoSource : public FrameSource {
  public:
    // Starts ffmpeg decoding `path` into upright RGBA frames of width x height (the shown
    // size), turned, scaled and converted as `format` says (DecodeFilter) rather than by
    // ffmpeg's own rotation. Throws HostError when ffmpeg cannot be started.
    VideoSource(const std::string& path, uint32_t width, uint32_t height,
                const VideoFormat& format);

    uint32_t Width() const override { return frame_.width; }
    uint32_t Height() const override { return frame_.height; }
    // Null at the end of the video; throws HostError when ffmpeg failed without
    // delivering a single frame.
    const Image* Next() override;
    bool IsStill() const override { return false; }

  private:
    std::string path_;
    std::unique_ptr<ChildProcess> decoder_;
    Image frame_;
    uint64_t framesRead_ = 0;
    bool ended_ = false;
};

}  // namespace ffglhost

#endif  // FFGLHOST_VIDEO_SOURCE_H
