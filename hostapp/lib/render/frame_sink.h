// Where rendered frames go. Completing a sink has two steps, so that several sinks can
// all fail or all succeed: Finish writes what is left under temporary names (and may
// fail), Commit moves everything to its final names. A sink destroyed before Commit
// leaves nothing behind.
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
    // Completes the output under temporary names; throws HostError when that fails.
    virtual void Finish() = 0;
    // Renames the finished output into place; throws HostError when that fails.
    virtual void Commit() = 0;
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
    void Commit() override;
    std::string Describe() const override;

  private:
    std::vector<std::unique_ptr<FrameSink>> sinks_;
};

}  // namespace ffglhost

#endif  // FFGLHOST_FRAME_SINK_H
