// Reads rendered frames back from a framebuffer without waiting for each one: the read
// of frame N goes into one pixel-buffer object while frame N - (depth - 1), read earlier
// into another, is mapped and copied out. Frames come out in the order they went in,
// converted to top row first.
#ifndef FFGLHOST_PBO_READER_H
#define FFGLHOST_PBO_READER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "lib/io/image.h"

namespace ffglhost {

class PboReader {
  public:
    // Needs a current GL context. `depth` (at least 2) buffers of width x height RGBA.
    PboReader(uint32_t width, uint32_t height, size_t depth = 2);
    ~PboReader();
    PboReader(const PboReader&) = delete;
    PboReader& operator=(const PboReader&) = delete;

    // Starts reading the colour attachment of `framebuffer`. Once `depth` reads are in
    // flight, the oldest is finished into `out` (resized as needed) and true returned.
    bool Read(uint32_t framebuffer, Image& out);
    // Finishes the oldest read still in flight into `out`; false when none is left.
    bool Drain(Image& out);
    // The same into width x height x 4 bytes at `topRowFirst`.
    bool Drain(uint8_t* topRowFirst);
    size_t InFlight() const { return inFlight_; }

  private:
    void CopyOldest(Image& out);
    void CopyOldest(uint8_t* out);

    uint32_t width_;
    uint32_t height_;
    std::vector<uint32_t> buffers_;
    size_t oldest_ = 0;
    size_t inFlight_ = 0;
};

}  // namespace ffglhost

#endif  // FFGLHOST_PBO_READER_H
