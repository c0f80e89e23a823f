// Where rendered frames go. Sinks write only to the staged paths of their outputs (see
// StagedOutputs), which are moved into place once the whole run has succeeded, and name
// the final paths in what they say.
#ifndef FFGLHOST_FRAME_SINK_H
#define FFGLHOST_FRAME_SINK_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lib/io/image.h"

namespace ffglhost {

class FrameSink {
  public:
    virtual ~FrameSink() = default;
    // Takes one frame (top row first); `index` counts the frames written, from 0.
    // Throws HostError when writing fails.
    virtual void Write(const Image& frame, uint64_t index) = 0;
    // Completes the staged output; throws HostError when that fails.
    virtual void Finish() = 0;
    // One line for the user saying what was written.
    virtual std::string Describe() const = 0;
};

// Hands every frame to several sinks.
class FanOutSink : public FrameSink {
  public:
    void Add(std::unique_ptr<FrameSink> sink) { sinks_.push_back(std::move(sink)); }
    bool Empty() const { return sinks_.empty(); }
    void Write(const Image& frame, uint64_t index) override;
    void Finish() override;
    std::string Describe() const override;

  private:
    std::vector<std::unique_ptr<FrameSink>> sinks_;
};

// Writes `image` as a PNG to `stagedPath` with `write` (WritePng, or WriteFramePng for
// frames of a sequence); a failure names `shownPath` and the system's reason ("cannot
// write out/last.png: No space left on device").
void WriteOutputPng(const std::string& stagedPath, const std::string& shownPath, const Image& image,
                    void (*write)(const std::string&, const Image&) = nullptr);

}  // namespace ffglhost

#endif  // FFGLHOST_FRAME_SINK_H
