#include "last_frame_sink.h"

#include "lib/host_error.h"

namespace ffglhost {

void LastFrameSink::Write(const Image& frame, uint64_t index) {
    last_ = frame;
    lastIndex_ = index;
    any_ = true;
}

void LastFrameSink::Finish() {
    if (!any_) {
        throw HostError("no frame was rendered for " + output_.finalPath);
    }
    WriteOutputPng(output_.stagedPath, output_.finalPath, last_);
}

std::string LastFrameSink::Describe() const {
    return "frame " + std::to_string(lastIndex_) + " in " + output_.finalPath;
}

}  // namespace ffglhost
