// Frames written as numbered PNG files (frame_0000.png, frame_0001.png, ...) in a
// directory, which is created when missing.
#ifndef FFGLHOST_PNG_SEQUENCE_SINK_H
#define FFGLHOST_PNG_SEQUENCE_SINK_H

#include <string>
#include <vector>

#include "frame_sink.h"

namespace ffglhost {

class PngSequenceSink : public FrameSink {
  public:
    // `expectedFrames` sets the width of the numbers (at least four digits). Throws
    // HostError when the directory cannot be made.
    PngSequenceSink(std::string directory, uint64_t expectedFrames);
    // Unless committed: removes the frames written and the directories it made.
    ~PngSequenceSink() override;

    void Write(const Image& frame, uint64_t index) override;
    void Finish() override {}
    void Commit() override { committed_ = true; }
    std::string Describe() const override;

    // The file name of frame `index`, without the directory.
    std::string FrameName(uint64_t index) const;

  private:
    std::string directory_;
    int digits_;
    std::vector<std::string> createdDirectories_;
    std::vector<std::string> written_;
    bool committed_ = false;
};

}  // namespace ffglhost

#endif  // FFGLHOST_PNG_SEQUENCE_SINK_H
