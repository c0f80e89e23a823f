#include "png_sequence_sink.h"

#include <sys/stat.h>

#include <cstdio>

#include "lib/host_error.h"
#include "lib/io/file_names.h"
#include "lib/io/pending_file.h"
#include "lib/io/png_file.h"

namespace ffglhost {

PngSequenceSink::PngSequenceSink(std::string directory, uint64_t expectedFrames)
    : directory_(std::move(directory)), digits_(4) {
    while (!directory_.empty() && directory_.size() > 1 && directory_.back() == '/') {
        directory_.pop_back();
    }
    for (uint64_t limit = 10000; expectedFrames > limit && digits_ < 19; limit *= 10) {
        ++digits_;
    }
    createdDirectories_ = MakeDirectories(directory_);
}

PngSequenceSink::~PngSequenceSink() {
    if (committed_) {
        return;
    }
    for (const std::string& path : written_) {
        std::remove(path.c_str());
    }
    RemoveDirectories(createdDirectories_);
}

std::string PngSequenceSink::FrameName(uint64_t index) const {
    char name[64];
    std::snprintf(name, sizeof name, "frame_%0*llu.png", digits_,
                  static_cast<unsigned long long>(index));
    return name;
}

void PngSequenceSink::Write(const Image& frame, uint64_t index) {
    PendingFile file(directory_ + "/" + FrameName(index));
    WriteFramePng(file.TemporaryPath(), frame);
    file.Commit();
    written_.push_back(file.FinalPath());
}

std::string PngSequenceSink::Describe() const {
    if (written_.empty()) {
        return "no frames in " + directory_;
    }
    std::string description = std::to_string(written_.size()) + " frames in " + directory_ + "/ (" +
                              FrameName(0) + " to " + FrameName(written_.size() - 1) + ")";
    // Frames of an earlier, longer run are left alone, but said so: they are not this run's.
    uint64_t stale = 0;
    struct stat info {};
    while (stat((directory_ + "/" + FrameName(written_.size() + stale)).c_str(), &info) == 0) {
        ++stale;
    }
    if (stale > 0) {
        description += "; " + std::to_string(stale) + " older frames after " +
                       FrameName(written_.size() - 1) + " are left from an earlier run";
    }
    return description;
}

}  // namespace ffglhost
