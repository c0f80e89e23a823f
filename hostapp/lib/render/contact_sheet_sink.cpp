#include "contact_sheet_sink.h"

#include <algorithm>

#include "lib/host_error.h"

namespace ffglhost {

ContactSheetSink::ContactSheetSink(StagedOutput output, uint64_t expectedFrames,
                                   uint32_t frameWidth, uint32_t frameHeight)
    : output_(std::move(output)),
      frameWidth_(frameWidth),
      frameHeight_(frameHeight),
      planned_(PlanContactSheet(EvenlySpacedFrames(expectedFrames, kSheetFrames), frameWidth,
                                frameHeight)),
      thumbnails_(planned_.frames.size()),
      arrived_(planned_.frames.size(), false) {}

void ContactSheetSink::Write(const Image& frame, uint64_t index) {
    received_ = index + 1;
    const auto it = std::find(planned_.frames.begin(), planned_.frames.end(), index);
    if (it == planned_.frames.end()) {
        last_ = frame;
        return;
    }
    const size_t position = static_cast<size_t>(it - planned_.frames.begin());
    thumbnails_[position] = ScaleImage(frame, planned_.thumbnailWidth, planned_.thumbnailHeight);
    arrived_[position] = true;
}

void ContactSheetSink::Finish() {
    if (received_ == 0) {
        throw HostError("no frame was rendered for " + output_.finalPath);
    }
    std::vector<uint64_t> frames;
    std::vector<Image> thumbnails;
    for (size_t k = 0; k < planned_.frames.size(); ++k) {
        if (arrived_[k]) {
            frames.push_back(planned_.frames[k]);
            thumbnails.push_back(std::move(thumbnails_[k]));
        }
    }
    if (frames.empty() || frames.back() != received_ - 1) {
        frames.push_back(received_ - 1);
        thumbnails.push_back(ScaleImage(last_, planned_.thumbnailWidth, planned_.thumbnailHeight));
    }
    const ContactSheetLayout layout = PlanContactSheet(frames, frameWidth_, frameHeight_);
    WriteOutputPng(output_.stagedPath, output_.finalPath, ComposeContactSheet(layout, thumbnails));
    shown_ = frames.size();
}

std::string ContactSheetSink::Describe() const {
    std::string text =
        "contact sheet of " + std::to_string(shown_) + " frames in " + output_.finalPath;
    if (shown_ < planned_.frames.size()) {
        text += " (not the " + std::to_string(planned_.frames.size()) +
                " planned: the render ended after " + std::to_string(received_) + " frames)";
    }
    return text;
}

}  // namespace ffglhost
