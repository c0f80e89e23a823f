#include "sound_track.h"

#include <cmath>
#include <cstdio>

namespace ffglhost {

namespace {

// Codecs each container takes as they are, and players commonly play.
bool ContainerTakes(const std::string& extension, const std::string& codec) {
    if (extension == ".mp4") {
        return codec == "aac" || codec == "mp3" || codec == "ac3" || codec == "eac3" ||
               codec == "alac";
    }
    return extension == ".webm" && (codec == "opus" || codec == "vorbis");
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", seconds);
    return text;
}

std::string Rate(double fps) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", fps);
    return text;
}

SoundPlan Without(const std::string& reason) {
    SoundPlan plan;
    plan.note = "without sound: " + reason;
    return plan;
}

}  // namespace

SoundPlan PlanSound(const SoundRequest& request, const std::string& extension) {
    const bool video = extension == ".mp4" || extension == ".webm";
    if (request.inputPath.empty() || (!video && request.codec.empty()) ||
        (request.dropped && !video)) {
        return SoundPlan();
    }
    if (!video && extension != ".gif") {
        SoundPlan plan;
        plan.note = "the input's sound is not written: PNG holds none";
        return plan;
    }
    if (extension == ".gif") {
        return Without("GIF holds none");
    }
    if (request.dropped) {
        return Without("--no-audio");
    }
    if (request.codec.empty()) {
        return Without("the input has none");
    }
    if (std::fabs(request.outputFps - request.inputFps) > 1e-6 * request.inputFps) {
        return Without("the video plays at " + Rate(request.outputFps) +
                       " frames per second and the input at " + Rate(request.inputFps) +
                       ", so the sound would not keep step");
    }
    const bool copy = request.start == 0 && ContainerTakes(extension, request.codec);
    const std::string encoder = extension == ".mp4" ? "AAC" : "Opus";
    SoundPlan plan;
    plan.note = "with the input's sound (" + request.codec +
                (copy ? ", copied)" : ", encoded as " + encoder + ")");
    plan.arguments.clear();
    if (request.start > 0) {
        plan.arguments = {"-ss", Seconds(static_cast<double>(request.start) / request.inputFps)};
    }
    const std::vector<std::string> input = {
        "-t",   Seconds(static_cast<double>(request.frames) / request.inputFps),
        "-i",   "file:" + request.inputPath,
        "-map", "0:v:0",
        "-map", "1:a:0",
        "-c:a"};
    plan.arguments.insert(plan.arguments.end(), input.begin(), input.end());
    if (copy) {
        plan.arguments.push_back("copy");
        return plan;
    }
    // Silence after a sound shorter than the frames; the end of the frames ends it.
    const std::vector<std::string> encoded = {extension == ".mp4" ? "aac" : "libopus",
                                              "-b:a",
                                              extension == ".mp4" ? "192k" : "128k",
                                              "-af",
                                              "apad",
                                              "-shortest"};
    plan.arguments.insert(plan.arguments.end(), encoded.begin(), encoded.end());
    return plan;
}

}  // namespace ffglhost
