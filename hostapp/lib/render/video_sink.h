// Frames encoded into a video file (.mp4 H.264, .webm VP8, .gif) by piping raw RGBA
// frames into ffmpeg.
#ifndef FFGLHOST_VIDEO_SINK_H
#define FFGLHOST_VIDEO_SINK_H

#include <memory>
#include <string>
#include <vector>

#include "frame_sink.h"
#include "lib/io/child_process.h"
#include "lib/io/staged_outputs.h"
#include "sound_track.h"

#include "lib/io/video_format.h"

namespace ffglhost {

// True for the extensions VideoSink can write.
bool IsVideoOutputExtension(const std::string& extension);

// GIF delays are whole hundredths of a second and players stretch delays under two to a
// tenth of a second, so GIFs are written at no more than this rate.
constexpr double kMaxGifFps = 50.0;

// The ffmpeg arguments that encode raw RGBA frames of the given size and rate from
// standard input into `outputPath`, in the format its extension names. Odd sizes are
// padded to even ones for H.264 and VP8; GIFs above kMaxGifFps drop frames evenly down
// to that rate, so the clip lasts as long as the render. `sound` comes from PlanSound.
// H.264 and VP8 are converted with the matrix and range of `colour` and carry its tags
// (EncodeColourFilter).
std::vector<std::string> EncoderArguments(const std::string& outputPath,
                                          const std::string& extension, uint32_t width,
                                          uint32_t height, double fps,
                                          const std::vector<std::string>& sound = {"-an"},
                                          const ColourTags& colour = {});

class VideoSink : public FrameSink {
  public:
    // Starts ffmpeg writing the staged file. Throws HostError when the extension is not
    // a video format or ffmpeg cannot be started.
    VideoSink(StagedOutput output, uint32_t width, uint32_t height, double fps,
              SoundPlan sound = SoundPlan(), const ColourTags& colour = {});

    void Write(const Image& frame, uint64_t index) override;
    // Ends the stream and waits for ffmpeg; throws HostError when ffmpeg failed.
    void Finish() override;
    // Says too when the size was padded or the GIF rate lowered, and what became of the
    // input's sound.
    std::string Describe() const override;

  private:
    // ffmpeg's last error line, with the staged name replaced by the output's.
    std::string EncoderReason() const;

    StagedOutput output_;
    uint32_t width_;
    uint32_t height_;
    double fps_;
    SoundPlan sound_;
    uint64_t frames_ = 0;
    std::unique_ptr<ChildProcess> encoder_;
};

}  // namespace ffglhost

#endif  // FFGLHOST_VIDEO_SINK_H
