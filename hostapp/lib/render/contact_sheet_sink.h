// A contact sheet of evenly spaced frames of a render, written as one PNG.
#ifndef FFGLHOST_CONTACT_SHEET_SINK_H
#define FFGLHOST_CONTACT_SHEET_SINK_H

#include <string>
#include <vector>

#include "contact_sheet.h"
#include "frame_sink.h"
#include "lib/io/staged_outputs.h"

namespace ffglhost {

class ContactSheetSink : public FrameSink {
  public:
    // Plans the sheet for `expectedFrames` frames of frameWidth x frameHeight.
    ContactSheetSink(StagedOutput output, uint64_t expectedFrames, uint32_t frameWidth,
                     uint32_t frameHeight);

    // Keeps a small copy of each frame the sheet shows.
    void Write(const Image& frame, uint64_t index) override;
    // When fewer frames came than expected (a short video), the sheet shows the planned
    // frames that came and the last one, and Describe says so.
    void Finish() override;
    std::string Describe() const override;

  private:
    StagedOutput output_;
    uint32_t frameWidth_;
    uint32_t frameHeight_;
    ContactSheetLayout planned_;
    std::vector<Image> thumbnails_;  // by position in planned_.frames
    std::vector<bool> arrived_;
    Image last_;  // the latest frame the sheet did not plan for
    uint64_t received_ = 0;
    size_t shown_ = 0;
};

}  // namespace ffglhost

#endif  // FFGLHOST_CONTACT_SHEET_SINK_H
