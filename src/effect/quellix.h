// The Quellix effect: an animated blue lens flare drawn over one video input.
#ifndef QUELLIX_EFFECT_QUELLIX_H
#define QUELLIX_EFFECT_QUELLIX_H

#include "framework/plugin.h"
#include "gl/screen_quad.h"
#include "gl/shader_program.h"

class Quellix : public CFFGLPlugin {
  public:
    // Parameter indices, as declared to the host.
    enum Parameter : uint32_t {
        kFlareX = 0,
        kFlareY = 1,
        kIntensity = 2,
        kSize = 3,
        kAutoMove = 4,
        kStrobe = 5,
        kParameterCount = 6,
    };

    Quellix();
    ~Quellix() override;

    uint32_t InitGL(const FFGLViewportStruct* viewport) override;
    uint32_t ReleaseGL() override;
    uint32_t SetParamFloat(uint32_t index, float value) override;
    float GetParamFloat(uint32_t index) override;
    uint32_t RenderFrame(const ProcessOpenGLStruct* frame) override;

    static uint32_t CreateInstance(CFFGLPlugin** instance);

    // The instance's own clock in seconds; it grows by 1/60 per successful frame. The
    // setter lets tests jump ahead instead of rendering millions of frames.
    double AccumulatedTime() const { return accumulatedTime_; }
    void SetAccumulatedTime(double seconds) { accumulatedTime_ = seconds; }

    const ShaderProgram& Program() const { return shader_; }
    const ScreenQuad& Quad() const { return quad_; }

  private:
    ShaderProgram shader_;
    ScreenQuad quad_;
    // Stored exactly as set, indexed by Parameter.
    float values_[kParameterCount] = {0.5f, 0.5f, 0.9f, 0.6f, 0.5f, 0.0f};
    double accumulatedTime_ = 0.0;
};

// Test seam: makes InitGL fail as a context would that cannot build the flare program
// (kProgram: it is given an empty fragment source) or create the quad (kQuad).
enum class InitGLFault { kNone, kProgram, kQuad };
void SetInitGLFaultForTesting(InitGLFault fault);

// The flare position for one frame: still at (flareX, flareY) unclamped, or moving along
// the Auto Move path (clamped into 0..1) when autoMove exceeds 0.001. All in 32-bit float.
struct FlarePosition {
    float x;
    float y;
};
FlarePosition ComputeFlarePosition(float flareX, float flareY, float autoMove, float time);

#endif  // QUELLIX_EFFECT_QUELLIX_H
