#include "frame_sink.h"

namespace ffglhost {

void FanOutSink::Write(const Image& frame, uint64_t index) {
    for (auto& sink : sinks_) {
        sink->Write(frame, index);
    }
}

void FanOutSink::Finish() {
    for (auto& sink : sinks_) {
        sink->Finish();
    }
}

void FanOutSink::Commit() {
    for (auto& sink : sinks_) {
        sink->Commit();
    }
}

std::string FanOutSink::Describe() const {
    std::string text;
    for (const auto& sink : sinks_) {
        text += (text.empty() ? "" : "\n") + sink->Describe();
    }
    return text;
}

}  // namespace ffglhost
