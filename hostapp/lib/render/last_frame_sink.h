// The last frame of a render, written as one PNG file.
#ifndef FFGLHOST_LAST_FRAME_SINK_H
#define FFGLHOST_LAST_FRAME_SINK_H

#include <string>

#include "frame_sink.h"
#include "lib/io/staged_outputs.h"

namespace ffglhost {

class LastFrameSink : public FrameSink {
  public:
    explicit LastFrameSink(StagedOutput output) : output_(std::move(output)) {}

    void Write(const Image& frame, uint64_t index) override;
    // Writes the frame kept last; throws HostError when no frame arrived.
    void Finish() override;
    std::string Describe() const override;

  private:
    StagedOutput output_;
    Image last_;
    uint64_t lastIndex_ = 0;
    bool any_ = false;
};

}  // namespace ffglhost

#endif  // FFGLHOST_LAST_FRAME_SINK_H
