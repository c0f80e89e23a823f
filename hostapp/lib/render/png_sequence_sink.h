// Frames written as numbered PNG files (frame_0000.png, frame_0001.png, ...) into the
// staging directory of a frame directory output.
#ifndef FFGLHOST_PNG_SEQUENCE_SINK_H
#define FFGLHOST_PNG_SEQUENCE_SINK_H

#include <string>

#include "frame_sink.h"
#include "lib/io/staged_outputs.h"

namespace ffglhost {

// The width of the frame numbers for a run of `expectedFrames` (at least four digits).
int SequenceDigits(uint64_t expectedFrames);
// "frame_0042.png".
std::string SequenceFrameName(uint64_t index, int digits);
// After a run of `written` frames was moved into `directory`: a note on the frames of an
// earlier, longer run that follow them there, or "" when there are none.
std::string OlderFramesNote(const std::string& directory, uint64_t written, int digits);

class PngSequenceSink : public FrameSink {
  public:
    // `output` is a directory output whose staging directory exists.
    PngSequenceSink(StagedOutput output, uint64_t expectedFrames);

    void Write(const Image& frame, uint64_t index) override;
    void Finish() override {}
    std::string Describe() const override;

    // The file name of frame `index`, without the directory.
    std::string FrameName(uint64_t index) const { return SequenceFrameName(index, digits_); }

  private:
    StagedOutput output_;
    int digits_;
    uint64_t written_ = 0;
};

}  // namespace ffglhost

#endif  // FFGLHOST_PNG_SEQUENCE_SINK_H
