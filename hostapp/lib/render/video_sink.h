// Frames encoded into a video file (.mp4 H.264, .webm VP8, .gif) by piping raw RGBA
// frames into ffmpeg.
#ifndef FFGLHOST_VIDEO_SINK_H
#define FFGLHOST_VIDEO_SINK_H

#include <memory>
#include <string>
#include <vector>

#include "frame_sink.h"
#include "lib/io/child_process.h"
#include "lib/io/pending_file.h"

namespace ffglhost {

// True for the extensions VideoSink can write.
bool IsVideoOutputExtension(const std::string& extension);

// The ffmpeg arguments that encode raw RGBA frames of the given size and rate from
// standard input into `outputPath`, in the format its extension names.
std::vector<std::string> EncoderArguments(const std::string& outputPath,
                                          const std::string& extension, uint32_t width,
                                          uint32_t height, double fps);

class VideoSink : public FrameSink {
  public:
    // Starts ffmpeg writing to a temporary file beside `path`. Throws HostError when the
    // extension is not a video format or ffmpeg cannot be started.
    VideoSink(std::string path, uint32_t width, uint32_t height, double fps);

    void Write(const Image& frame, uint64_t index) override;
    // Ends the stream and waits for ffmpeg; throws HostError when ffmpeg failed.
    void Finish() override;
    void Commit() override { file_.Commit(); }
    std::string Describe() const override;

  private:
    std::string path_;
    uint64_t frames_ = 0;
    PendingFile file_;  // declared before the encoder: the encoder stops first
    std::unique_ptr<ChildProcess> encoder_;
};

}  // namespace ffglhost

#endif  // FFGLHOST_VIDEO_SINK_H
