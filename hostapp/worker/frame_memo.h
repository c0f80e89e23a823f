// The last frame the worker drew, known so that a request for the very same frame again
// (same step, size, parameter values and input) is answered without drawing: drawing it
// again would need an instance whose clock is one step back. Tools ask for a frame twice,
// MLT at the end of a playlist for one.
#ifndef FFGLHOST_WORKER_FRAME_MEMO_H
#define FFGLHOST_WORKER_FRAME_MEMO_H

#include <cstdint>
#include <vector>

namespace ffglhost {

struct FrameKey {
    int64_t step = -1;
    uint32_t width = 0;
    uint32_t height = 0;
    bool hasInput = false;
    double seconds = 0.0;       // the host's time
    uint64_t valueChanges = 0;  // how many values the worker had taken
};

// Knows the last frame drawn; its pixels stay where they were written, so only the key
// and the input are kept.
class FrameMemo {
  public:
    // True when `key` and `input` (width x height RGBA, or null without input) are those
    // of the last frame.
    bool Matches(const FrameKey& key, const uint8_t* input) const;
    void Remember(FrameKey key, const uint8_t* input);
    void Forget() { known_ = false; }

  private:
    bool known_ = false;
    FrameKey key_;
    std::vector<uint8_t> input_;
};

}  // namespace ffglhost

#endif  // FFGLHOST_WORKER_FRAME_MEMO_H
