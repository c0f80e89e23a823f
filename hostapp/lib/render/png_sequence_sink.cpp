#include "png_sequence_sink.h"

#include <sys/stat.h>

#include <cstdio>

#include "lib/io/png_file.h"

namespace ffglhost {

int SequenceDigits(uint64_t expectedFrames) {
    int digits = 4;
    for (uint64_t limit = 10000; expectedFrames > limit && digits < 19; limit *= 10) {
        ++digits;
    }
    return digits;
}

std::string SequenceFrameName(uint64_t index, int digits) {
    char name[64];
    std::snprintf(name, sizeof name, "frame_%0*llu.png", digits,
                  static_cast<unsigned long long>(index));
    return name;
}

std::string OlderFramesNote(const std::string& directory, uint64_t written, int digits) {
    uint64_t older = 0;
    struct stat info {};
    while (stat((directory + "/" + SequenceFrameName(written + older, digits)).c_str(), &info) ==
           0) {
        ++older;
    }
    if (older == 0 || written == 0) {
        return "";
    }
    return std::to_string(older) + " older frames after " + SequenceFrameName(written - 1, digits) +
           " in " + directory + " are left from an earlier run";
}

PngSequenceSink::PngSequenceSink(StagedOutput output, uint64_t expectedFrames)
    : output_(std::move(output)), digits_(SequenceDigits(expectedFrames)) {}

void PngSequenceSink::Write(const Image& frame, uint64_t index) {
    const std::string name = FrameName(index);
    WriteOutputPng(output_.stagedPath + "/" + name, output_.finalPath + "/" + name, frame,
                   WriteFramePng);
    written_ = index + 1;
}

std::string PngSequenceSink::Describe() const {
    if (written_ == 0) {
        return "no frames in " + output_.finalPath;
    }
    return std::to_string(written_) + " frames in " + output_.finalPath + "/ (" + FrameName(0) +
           " to " + FrameName(written_ - 1) + ")";
}

}  // namespace ffglhost
