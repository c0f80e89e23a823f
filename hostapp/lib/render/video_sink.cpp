#include "video_sink.h"

#include <cstdio>

#include "lib/host_error.h"
#include "lib/io/file_names.h"

namespace ffglhost {

bool IsVideoOutputExtension(const std::string& extension) {
    return extension == ".mp4" || extension == ".webm" || extension == ".gif";
}

std::vector<std::string> EncoderArguments(const std::string& outputPath,
                                          const std::string& extension, uint32_t width,
                                          uint32_t height, double fps) {
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.6g", fps);
    std::vector<std::string> arguments = {
        "ffmpeg",     "-nostdin", "-hide_banner",
        "-loglevel",  "error",    "-y",
        "-f",         "rawvideo", "-pix_fmt",
        "rgba",       "-s",       std::to_string(width) + "x" + std::to_string(height),
        "-framerate", rate,       "-i",
        "pipe:0",     "-an"};
    // 4:2:0 video needs even sizes; an odd row or column is padded.
    const bool odd = (width % 2) != 0 || (height % 2) != 0;
    const std::vector<std::string> pad = {"-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2"};
    std::vector<std::string> format;
    if (extension == ".mp4") {
        format = {"-c:v",     "libx264", "-preset",   "veryfast",   "-crf", "18",
                  "-pix_fmt", "yuv420p", "-movflags", "+faststart", "-f",   "mp4"};
    } else if (extension == ".webm") {
        format = {"-c:v", "libvpx", "-deadline", "realtime", "-cpu-used", "8",
                  "-b:v", "8M",     "-pix_fmt",  "yuv420p",  "-f",        "webm"};
    } else {
        // A palette made for each frame keeps colours good without holding the clip.
        format = {"-vf", "split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse=new=1",
                  "-f", "gif"};
    }
    if (odd && extension != ".gif") {
        arguments.insert(arguments.end(), pad.begin(), pad.end());
    }
    arguments.insert(arguments.end(), format.begin(), format.end());
    arguments.push_back("file:" + outputPath);
    return arguments;
}

VideoSink::VideoSink(std::string path, uint32_t width, uint32_t height, double fps)
    : path_(std::move(path)), file_(path_) {
    const std::string extension = LowercaseExtension(path_);
    if (!IsVideoOutputExtension(extension)) {
        throw HostError("cannot write video " + path_ + ": use .mp4, .webm or .gif");
    }
    encoder_ = std::make_unique<ChildProcess>(
        EncoderArguments(file_.TemporaryPath(), extension, width, height, fps),
        ChildProcess::Pipe::kToChild);
}

void VideoSink::Write(const Image& frame, uint64_t) {
    if (!encoder_->Write(frame.rgba.data(), frame.rgba.size())) {
        encoder_->ClosePipe();
        encoder_->Wait();
        const std::string reason = encoder_->LastErrorLine();
        throw HostError("ffmpeg stopped while encoding " + path_ +
                        (reason.empty() ? "" : ": " + reason));
    }
    ++frames_;
}

void VideoSink::Finish() {
    encoder_->ClosePipe();
    const int status = encoder_->Wait();
    if (status != 0) {
        const std::string reason = encoder_->LastErrorLine();
        throw HostError(
            "ffmpeg could not encode " + path_ +
            (reason.empty() ? " (exit status " + std::to_string(status) + ")" : ": " + reason));
    }
}

std::string VideoSink::Describe() const {
    return std::to_string(frames_) + " frames in " + path_;
}

}  // namespace ffglhost
