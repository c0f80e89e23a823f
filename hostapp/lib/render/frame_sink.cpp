#include "frame_sink.h"

#include <cerrno>
#include <cstring>

#include "lib/host_error.h"
#include "lib/io/png_file.h"

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

void WriteOutputPng(const std::string& stagedPath, const std::string& shownPath, const Image& image,
                    void (*write)(const std::string&, const Image&)) {
    errno = 0;
    try {
        (write != nullptr ? write : WritePng)(stagedPath, image);
    } catch (const HostError&) {
        const int error = errno;
        throw HostError("cannot write " + shownPath + ": " +
                        (error != 0 ? std::strerror(error) : "the PNG encoder failed"));
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
