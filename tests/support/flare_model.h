// An independent reference model of the flare's fragment program: plain C++ in double
// precision, written from the program's formulas. Given an input picture and the uniform
// values a frame fed the program, it tells, for every output channel, the band the
// program's result must lie in. The band comes from the per-pixel dirt factor, which lies
// in 0.95..1.0 and is not modelled pixel by pixel.
#ifndef QUELLIX_TESTS_SUPPORT_FLARE_MODEL_H
#define QUELLIX_TESTS_SUPPORT_FLARE_MODEL_H

#include <cstdint>
#include <vector>

namespace flare_model {

constexpr int kMaxFlares = 5;
constexpr int kMaxGhosts = 8;

// The program's uniforms as read back after a frame.
struct Uniforms {
    double maxUV[2] = {1, 1};
    double time = 0;
    double intensity = 0;
    double size = 0;
    double flareColor[3] = {0, 0, 0};
    double numGhosts = 0;
    double ghostIntensity = 0;
    double haloSize = 0;
    double streakLength = 0;
    double flickerSpeed = 0;
    double flickerAmount = 0;
    double chromaticSpread = 0;
    double strobe = 0;
    double resolution[2] = {1, 1};
    int numFlares = 0;
    double flarePos[kMaxFlares][2] = {};
    double flareAlpha[kMaxFlares] = {};
};

// The values that come from the program's hash, which is not portable between a GPU's sin
// and the CPU's: they are evaluated by the GPU itself.
struct HashValues {
    double ghostSize[kMaxGhosts] = {};  // hash(i * 7.3)
    double ghostHue[kMaxGhosts] = {};   // hash(i * 13.7)
    // Flicker noise of flare i (flare 0's is also the frame's): the lattice point
    // n = floor((time + i * 1.37) * speed * 10 * 0.5), hash(n) and hash(n + 1).
    double latticePoint[kMaxFlares] = {};
    double latticeValue[kMaxFlares][2] = {};
};

// An RGBA8 picture, bottom row first (GL order).
struct Picture {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgba;
};

// Lowest and highest expected value of each output channel, in 0..1, in Picture order.
struct Bands {
    std::vector<double> low;
    std::vector<double> high;
    bool flareOff = false;  // the whole frame is the input unchanged
};

// The flicker multiplier at time t, given its noise lattice point n = floor(t * speed * 5)
// and the hash values there and at n + 1.
double Flicker(double t, double speed, double amount, double latticePoint,
               const double latticeValue[2]);

// The expected output of a frame of `width` × `height` pixels. `input` is the picture in
// the input texture, which may be larger than the image (padding); it is sampled at
// texel centres.
Bands ExpectedFrame(const Uniforms& uniforms, const HashValues& hashes, const Picture& input,
                    uint32_t width, uint32_t height);

}  // namespace flare_model

#endif  // QUELLIX_TESTS_SUPPORT_FLARE_MODEL_H
