// The last frame of a render, written as one PNG file.
#ifndef FFGLHOST_LAST_FRAME_SINK_H
#define FFGLHOST_LAST_FRAME_SINK_H

#include <memory>
#include <string>

#include "frame_sink.h"
#include "lib/io/pending_file.h"

namespace ffglhost {

class LastFrameSink : public FrameSink {
  public:
    explicit LastFrameSink(std::string path) : path_(std::move(path)) {}

    void Write(const Image& frame, uint64_t index) override;
    // Writes the frame kept last; throws HostError when no frame arrived.
    void Finish() override;
    void Commit() override;
    std::string Describe() const override;

  private:
    std::string path_;
    Image last_;
    uint64_t lastIndex_ = 0;
    bool any_ = false;
    std::unique_ptr<PendingFile> file_;
};

}  // namespace ffglhost

#endif  // FFGLHOST_LAST_FRAME_SINK_H
