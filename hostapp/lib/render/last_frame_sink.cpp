#include "last_frame_sink.h"

#include "lib/host_error.h"
#include "lib/io/png_file.h"

namespace ffglhost {

void LastFrameSink::Write(const Image& frame, uint64_t index) {
    last_ = frame;
    lastIndex_ = index;
    any_ = true;
}

void LastFrameSink::Finish() {
    if (!any_) {
        throw HostError("no frame was rendered for " + path_);
    }
    file_ = std::make_unique<PendingFile>(path_);
    WritePng(file_->TemporaryPath(), last_);
}

void LastFrameSink::Commit() {
    file_->Commit();
}

std::string LastFrameSink::Describe() const {
    return "frame " + std::to_string(lastIndex_) + " in " + path_;
}

}  // namespace ffglhost
