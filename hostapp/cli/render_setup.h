// Turning render options into an input source and output sinks, with every check that
// can fail done before anything is written.
#ifndef FFGLHOST_CLI_RENDER_SETUP_H
#define FFGLHOST_CLI_RENDER_SETUP_H

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "lib/gl/gl_context.h"
#include "lib/io/frame_source.h"
#include "lib/io/staged_outputs.h"
#include "lib/io/video_format.h"
#include "lib/render/frame_sink.h"
#include "lib/render/sound_track.h"
#include "lib/worker/worker_client.h"

struct FrameSize {
    uint32_t width = 0;
    uint32_t height = 0;
};

// A whole decimal number of at least `minimum` for `option`; throws UsageError ("--frames
// must be a whole number of at least 1, got "-1"") for anything else, signs and numbers
// beyond 18 digits included.
uint64_t ParseCount(const std::string& text, const std::string& option, uint64_t minimum);

// "1280x720" (an 'X' works too); throws UsageError for anything else or sizes outside
// 1 .. 16384.
FrameSize ParseFrameSize(const std::string& text);

enum class OutputKind { kDirectory, kPicture, kVideo };

// What --out names: a .png file, a .mp4/.webm/.gif video, or else a directory (an
// existing one, or a name without an extension). Throws UsageError otherwise.
OutputKind ClassifyOutput(const std::string& path);

// True when --input names a video (read through ffmpeg) rather than a picture; false for
// the built-in picture (empty path).
bool IsVideoInput(const std::string& inputPath);

struct OpenedInput {
    std::unique_ptr<ffglhost::FrameSource> source;
    FrameSize output;             // the size frames are rendered at
    double fps = 60.0;            // the input's own rate for videos that state one
    std::string note;             // how the input was turned or scaled, for the summary
    ffglhost::ColourTags colour;  // a video's colour tags, for a video output
    std::string audioCodec;       // a video's sound; empty when it has none
};

// Opens the input: the built-in picture when `path` is empty, a PNG/JPEG picture (turned
// upright by its EXIF orientation), or a video through ffmpeg (turned upright by its
// display matrix and scaled to square pixels). `size` overrides the output size (pictures
// keep their size as input textures; videos are scaled by ffmpeg). The input and output
// sizes are checked against `limits` (and the padded size with `pad`) from headers
// alone, before anything is decoded. Throws HostError.
OpenedInput OpenInput(const std::string& path, const std::optional<FrameSize>& size,
                      const ffglhost::GlLimits& limits, bool pad);

// The limits of the worker's GL context (made now if it was not), with the largest side
// the worker draws: what OpenInput checks inputs against. Throws WorkerError.
ffglhost::GlLimits WorkerLimits(ffglhost::WorkerClient& client);

// The sinks writing the staged --out (a directory, a .png or a video, carrying `sound` and
// `colour`) and --sheet; either may be null. Throws HostError.
std::unique_ptr<ffglhost::FanOutSink> MakeSinks(const ffglhost::StagedOutput* out,
                                                const ffglhost::StagedOutput* sheet,
                                                uint64_t frames, FrameSize size, double fps,
                                                const ffglhost::SoundPlan& sound,
                                                const ffglhost::ColourTags& colour);

#endif  // FFGLHOST_CLI_RENDER_SETUP_H
