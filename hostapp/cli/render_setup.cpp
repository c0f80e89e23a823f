#include "render_setup.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

#include "lib/gl/gl_objects.h"
#include "lib/host_error.h"
#include "lib/io/file_names.h"
#include "lib/io/picture_file.h"
#include "lib/io/test_picture.h"
#include "lib/io/video_source.h"
#include "lib/render/contact_sheet_sink.h"
#include "lib/render/last_frame_sink.h"
#include "lib/render/png_sequence_sink.h"
#include "lib/render/video_sink.h"
#include "lib/worker/worker_protocol.h"
#include "usage_error.h"

using ffglhost::HostError;

namespace {

bool Exists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

uint32_t ParseSide(const std::string& text, const std::string& whole) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        throw UsageError("--size needs WIDTHxHEIGHT such as 1280x720, got \"" + whole + "\"");
    }
    const unsigned long value = std::strtoul(text.c_str(), nullptr, 10);
    if (value < 1 || value > ffglhost::kMaxFrameSide || text.size() > 5) {
        throw UsageError("--size sides must be 1 to " + std::to_string(ffglhost::kMaxFrameSide) +
                         " pixels, got \"" + whole + "\"");
    }
    return static_cast<uint32_t>(value);
}

}  // namespace

uint64_t ParseCount(const std::string& text, const std::string& option, uint64_t minimum) {
    const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    const uint64_t value =
        digits && text.size() <= 18 ? std::strtoull(text.c_str(), nullptr, 10) : 0;
    if (!digits || value < minimum || text.size() > 18) {
        throw UsageError(option + " must be a whole number of at least " + std::to_string(minimum) +
                         (digits && text.size() > 18 ? " and below 10^18" : "") + ", got \"" +
                         text + "\"");
    }
    return value;
}

FrameSize ParseFrameSize(const std::string& text) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos) {
        throw UsageError("--size needs WIDTHxHEIGHT such as 1280x720, got \"" + text + "\"");
    }
    return {ParseSide(text.substr(0, x), text), ParseSide(text.substr(x + 1), text)};
}

OutputKind ClassifyOutput(const std::string& path) {
    if (path.empty()) {
        throw UsageError("--out needs a directory or a file name");
    }
    const std::string extension = ffglhost::LowercaseExtension(path);
    if (ffglhost::IsDirectory(path) || extension.empty()) {
        return OutputKind::kDirectory;
    }
    if (extension == ".png") {
        return OutputKind::kPicture;
    }
    if (ffglhost::IsVideoOutputExtension(extension)) {
        return OutputKind::kVideo;
    }
    throw UsageError("cannot write " + path +
                     ": --out takes a directory (numbered PNGs), a .png file (the last frame) "
                     "or a .mp4, .webm or .gif video");
}

bool IsVideoInput(const std::string& inputPath) {
    return !inputPath.empty() && !ffglhost::HasPictureExtension(inputPath);
}

namespace {

std::string SizeText(uint32_t width, uint32_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

// Refuses a frame the context cannot take, before anything of that size is decoded or
// allocated.
void CheckFits(const std::string& what, uint32_t width, uint32_t height,
               const ffglhost::GlLimits& limits) {
    if (width > limits.MaxWidth() || height > limits.MaxHeight()) {
        throw HostError(what + " is " + SizeText(width, height) +
                        ", larger than this OpenGL context takes (at most " +
                        SizeText(limits.MaxWidth(), limits.MaxHeight()) + ")");
    }
}

// The input texture, padded to powers of two with --pad.
void CheckInputFits(const std::string& what, FrameSize size, const ffglhost::GlLimits& limits,
                    bool pad) {
    CheckFits(what, size.width, size.height, limits);
    if (pad) {
        CheckFits(what + " padded for --pad", ffglhost::NextPowerOfTwo(size.width),
                  ffglhost::NextPowerOfTwo(size.height), limits);
    }
}

}  // namespace

OpenedInput OpenInput(const std::string& path, const std::optional<FrameSize>& size,
                      const ffglhost::GlLimits& limits, bool pad) {
    OpenedInput opened;
    if (size) {
        CheckFits("the output size", size->width, size->height, limits);
    }
    if (path.empty()) {
        opened.output =
            size.value_or(FrameSize{ffglhost::kTestPictureWidth, ffglhost::kTestPictureHeight});
        CheckInputFits("the built-in picture", opened.output, limits, pad);
        opened.source = std::make_unique<ffglhost::StillSource>(
            ffglhost::MakeTestPicture(opened.output.width, opened.output.height));
        return opened;
    }
    if (!Exists(path)) {
        throw HostError("input not found: " + path);
    }
    if (ffglhost::HasPictureExtension(path)) {
        // The header alone decides whether the picture fits; only then is it decoded.
        const ffglhost::PictureHeader header = ffglhost::ReadPictureHeader(path);
        CheckInputFits(path, FrameSize{header.ShownWidth(), header.ShownHeight()}, limits, pad);
        ffglhost::Image picture = ffglhost::ReadPicture(path);
        opened.output = size.value_or(FrameSize{picture.width, picture.height});
        if (header.exifOrientation != 1) {
            opened.note = "turned upright by its EXIF orientation " +
                          std::to_string(header.exifOrientation) + " (" +
                          ffglhost::DescribeOrientation(header.Turn()) + ")";
        }
        opened.source = std::make_unique<ffglhost::StillSource>(std::move(picture));
        return opened;
    }
    const ffglhost::ClipProbe probe = ffglhost::ProbeClip(path);
    const ffglhost::VideoFormat& format = probe.format;
    FrameSize shown;
    format.ShownSize(&shown.width, &shown.height);
    opened.output = size.value_or(shown);
    CheckFits(path + " as shown", shown.width, shown.height, limits);
    CheckInputFits(size ? "the output size" : path + " as shown", opened.output, limits, pad);
    if (probe.fps > 0) {
        opened.fps = probe.fps;
    }
    opened.audioCodec = probe.audioCodec;
    opened.note = ffglhost::DescribeVideoFormat(format);
    opened.colour = format.colour;
    opened.source = std::make_unique<ffglhost::VideoSource>(path, opened.output.width,
                                                            opened.output.height, format);
    return opened;
}

// The worker's GL limits, with the largest side it draws.
ffglhost::GlLimits WorkerLimits(ffglhost::WorkerClient& client) {
    const ffglhost::LimitsAnswer answer = client.Limits();
    ffglhost::GlLimits limits;
    limits.maxTextureSize = std::min(answer.maxTextureSize, ffglhost::kMaxFrameSide);
    limits.maxRenderbufferSize = std::min(answer.maxRenderbufferSize, ffglhost::kMaxFrameSide);
    limits.maxViewportWidth = std::min(answer.maxViewportWidth, ffglhost::kMaxFrameSide);
    limits.maxViewportHeight = std::min(answer.maxViewportHeight, ffglhost::kMaxFrameSide);
    limits.maxFramebufferWidth = std::min(answer.maxFramebufferWidth, ffglhost::kMaxFrameSide);
    limits.maxFramebufferHeight = std::min(answer.maxFramebufferHeight, ffglhost::kMaxFrameSide);
    return limits;
}

std::unique_ptr<ffglhost::FanOutSink> MakeSinks(const ffglhost::StagedOutput* out,
                                                const ffglhost::StagedOutput* sheet,
                                                uint64_t frames, FrameSize size, double fps,
                                                const ffglhost::SoundPlan& sound,
                                                const ffglhost::ColourTags& colour) {
    auto sinks = std::make_unique<ffglhost::FanOutSink>();
    if (out != nullptr && out->directory) {
        sinks->Add(std::make_unique<ffglhost::PngSequenceSink>(*out, frames));
    } else if (out != nullptr && ffglhost::LowercaseExtension(out->finalPath) == ".png") {
        sinks->Add(std::make_unique<ffglhost::LastFrameSink>(*out));
    } else if (out != nullptr) {
        sinks->Add(std::make_unique<ffglhost::VideoSink>(*out, size.width, size.height, fps, sound,
                                                         colour));
    }
    if (sheet != nullptr) {
        sinks->Add(
            std::make_unique<ffglhost::ContactSheetSink>(*sheet, frames, size.width, size.height));
    }
    return sinks;
}
