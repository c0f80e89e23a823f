#include "video_source.h"

#include <cstdlib>
#include <sstream>

#include "lib/host_error.h"

namespace ffglhost {

namespace {

// "30000/1001" or "25" as frames per second; 0 when unreadable.
double ParseRate(const std::string& text) {
    const size_t slash = text.find('/');
    const double numerator = std::strtod(text.substr(0, slash).c_str(), nullptr);
    if (slash == std::string::npos) {
        return numerator;
    }
    const double denominator = std::strtod(text.substr(slash + 1).c_str(), nullptr);
    return denominator > 0 ? numerator / denominator : 0.0;
}

}  // namespace

VideoInfo ProbeVideo(const std::string& path) {
    ChildProcess probe({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                        "stream=width,height,avg_frame_rate,r_frame_rate", "-of",
                        "default=noprint_wrappers=1", "-i", "file:" + path},
                       ChildProcess::Pipe::kFromChild);
    const std::string output = probe.ReadAll();
    const int status = probe.Wait();
    VideoInfo info;
    double averageRate = 0.0;
    double baseRate = 0.0;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        if (key == "width") {
            info.width = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
        } else if (key == "height") {
            info.height = static_cast<uint32_t>(std::strtoul(value.c_str(), nullptr, 10));
        } else if (key == "avg_frame_rate") {
            averageRate = ParseRate(value);
        } else if (key == "r_frame_rate") {
            baseRate = ParseRate(value);
        }
    }
    if (status != 0 || info.width == 0 || info.height == 0) {
        const std::string reason = probe.LastErrorLine();
        throw HostError("cannot read video " + path + ": " +
                        (reason.empty() ? "no video stream" : reason));
    }
    info.fps = averageRate > 0 ? averageRate : baseRate;
    return info;
}

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
