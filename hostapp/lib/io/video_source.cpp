#include "video_source.h"

#include "lib/host_error.h"

namespace ffglhost {

VideoSource::VideoSource(const std::string& path, uint32_t width, uint32_t height,
                         const VideoFormat& format)
    : path_(path), frame_(width, height) {
    decoder_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error",
                                 "-noautorotate", "-i", "file:" + path, "-an", "-vf",
                                 DecodeFilter(format, width, height), "-f", "rawvideo", "-pix_fmt",
                                 "rgba", "-"},
        ChildProcess::Pipe::kFromChild);
}

const Image* VideoSource::Next() {
    if (ended_) {
        return nullptr;
    }
    const size_t got = decoder_->Read(frame_.rgba.data(), frame_.rgba.size());
    if (got == frame_.rgba.size()) {
        ++framesRead_;
        return &frame_;
    }
    ended_ = true;
    decoder_->ClosePipe();
    const int status = decoder_->Wait();
    if (framesRead_ == 0 && status != 0) {
        const std::string reason = decoder_->LastErrorLine();
        throw HostError("cannot decode video " + path_ + ": " +
                        (reason.empty() ? "ffmpeg failed" : reason));
    }
    return nullptr;
}

}  // namespace ffglhost
