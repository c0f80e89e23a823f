#include "video_sink.h"

#include <cstdio>

#include "lib/host_error.h"
#include "lib/io/file_names.h"

namespace ffglhost {

bool IsVideoOutputExtension(const std::string& extension) {
    return extension == ".mp4" || extension == ".webm" || extension == ".gif";
}

namespace {

bool NeedsEvenSize(const std::string& extension, uint32_t width, uint32_t height) {
    return extension != ".gif" && ((width % 2) != 0 || (height % 2) != 0);
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

}  // namespace

std::vector<std::string> EncoderArguments(const std::string& outputPath,
                                          const std::string& extension, uint32_t width,
                                          uint32_t height, double fps,
                                          const std::vector<std::string>& sound,
                                          const ColourTags& colour) {
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.6g", fps);
    std::vector<std::string> arguments = {
        "ffmpeg",     "-nostdin", "-hide_banner",
        "-loglevel",  "error",    "-y",
        "-f",         "rawvideo", "-pix_fmt",
        "rgba",       "-s",       std::to_string(width) + "x" + std::to_string(height),
        "-framerate", rate,       "-i",
        "pipe:0"};
    arguments.insert(arguments.end(), sound.begin(), sound.end());
    // 4:2:0 video needs even sizes; an odd row or column is padded.
    std::string filters =
        NeedsEvenSize(extension, width, height) ? "pad=ceil(iw/2)*2:ceil(ih/2)*2" : "";
    std::vector<std::string> format;
    if (extension == ".mp4") {
        format = {"-c:v",     "libx264", "-preset",   "veryfast",   "-crf", "18",
                  "-pix_fmt", "yuv420p", "-movflags", "+faststart", "-f",   "mp4"};
    } else if (extension == ".webm") {
        format = {"-c:v", "libvpx", "-deadline", "realtime", "-cpu-used", "8",
                  "-b:v", "8M",     "-pix_fmt",  "yuv420p",  "-f",        "webm"};
    } else {
        // A palette made for each frame keeps colours good without holding the clip.
        char rate[32] = "";
        if (fps > kMaxGifFps) {
            std::snprintf(rate, sizeof rate, "fps=%g,", kMaxGifFps);
        }
        format = {"-vf",
                  std::string(rate) +
                      "split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse=new=1",
                  "-f", "gif"};
    }
    if (extension != ".gif") {
        // The input's matrix and range, and square pixels said in so many words.
        const std::string convert = EncodeColourFilter(colour);
        filters +=
            (filters.empty() ? "" : ",") + (convert.empty() ? "" : convert + ",") + "setsar=1";
        const std::vector<std::string> tags = ColourTagArguments(colour);
        format.insert(format.end() - 2, tags.begin(), tags.end());  // before "-f" FORMAT
    }
    if (!filters.empty()) {
        arguments.insert(arguments.end(), {"-vf", filters});
    }
    arguments.insert(arguments.end(), format.begin(), format.end());
    arguments.push_back("file:" + outputPath);
    return arguments;
}

VideoSink::VideoSink(StagedOutput output, uint32_t width, uint32_t height, double fps,
                     SoundPlan sound, const ColourTags& colour)
    : output_(std::move(output)),
      width_(width),
      height_(height),
      fps_(fps),
      sound_(std::move(sound)) {
    const std::string extension = LowercaseExtension(output_.finalPath);
    if (!IsVideoOutputExtension(extension)) {
        throw HostError("cannot write video " + output_.finalPath + ": use .mp4, .webm or .gif");
    }
    encoder_ =
        std::make_unique<ChildProcess>(EncoderArguments(output_.stagedPath, extension, width,
                                                        height, fps, sound_.arguments, colour),
                                       ChildProcess::Pipe::kToChild);
}

std::string VideoSink::EncoderReason() const {
    const std::string reason =
        Replaced(encoder_->LastErrorLine(), output_.stagedPath, output_.finalPath);
    return reason.empty() ? "" : ": " + reason;
}

void VideoSink::Write(const Image& frame, uint64_t) {
    if (!encoder_->Write(frame.rgba.data(), frame.rgba.size())) {
        encoder_->ClosePipe();
        encoder_->Wait();
        throw HostError("ffmpeg stopped while encoding " + output_.finalPath + EncoderReason());
    }
    ++frames_;
}

void VideoSink::Finish() {
    encoder_->ClosePipe();
    const int status = encoder_->Wait();
    if (status != 0) {
        const std::string reason = EncoderReason();
        throw HostError(
            "ffmpeg could not encode " + output_.finalPath +
            (reason.empty() ? " (exit status " + std::to_string(status) + ")" : reason));
    }
}

std::string VideoSink::Describe() const {
    std::string text = std::to_string(frames_) + " frames in " + output_.finalPath;
    const std::string extension = LowercaseExtension(output_.finalPath);
    if (NeedsEvenSize(extension, width_, height_)) {
        text += ", " + std::to_string(width_) + "x" + std::to_string(height_) + " padded to " +
                std::to_string(width_ + width_ % 2) + "x" + std::to_string(height_ + height_ % 2) +
                " with black (this format needs even sizes)";
    }
    if (extension == ".gif" && fps_ > kMaxGifFps) {
        char played[160];
        std::snprintf(played, sizeof played,
                      ", played at %g frames per second, the most GIF plays (frames dropped "
                      "evenly; it lasts %.2f s as rendered)",
                      kMaxGifFps, static_cast<double>(frames_) / fps_);
        text += played;
    }
    return text + (sound_.note.empty() ? "" : ", " + sound_.note);
}

}  // namespace ffglhost
