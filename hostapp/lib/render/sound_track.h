// The input's sound in a video output: probed with ffprobe, cut to the frames written
// and copied or encoded by the same ffmpeg that encodes the frames.
#ifndef FFGLHOST_SOUND_TRACK_H
#define FFGLHOST_SOUND_TRACK_H

#include <cstdint>
#include <string>
#include <vector>

namespace ffglhost {

struct SoundRequest {
    std::string inputPath;   // a video input; empty for pictures and the built-in one
    std::string codec;       // its audio codec; empty when it has no sound
    bool dropped = false;    // --no-audio
    double inputFps = 0.0;   // the input's own rate
    double outputFps = 0.0;  // the rate the output plays at
    uint64_t start = 0;      // frames rendered before the first one written
    uint64_t frames = 0;     // frames to write
};

struct SoundPlan {
    // The encoder's arguments for the sound, placed after its frame input: a second
    // input with the stretch of sound under the frames written, its mapping and codec;
    // or "-an".
    std::vector<std::string> arguments{"-an"};
    // What happens to the sound, for the summary; empty when the input is no video.
    std::string note;
};

// Copies the sound when the output's container takes its codec and the render starts
// at the clip's start (a copied stream can only be cut between its packets); encodes it
// otherwise, AAC in MP4 and Opus in WebM, padded with silence or cut to end with the
// frames. GIF and PNG hold no sound, and a sound that would not keep step with the
// frames (another --fps than the input's) is left out; the note says which.
SoundPlan PlanSound(const SoundRequest& request, const std::string& extension);

}  // namespace ffglhost

#endif  // FFGLHOST_SOUND_TRACK_H
