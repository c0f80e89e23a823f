#version 410 core
// Vertex stage of the flare program: passes the quad through untransformed, hands the
// quad coordinate to the fragment stage as "uv", and works out the values that depend
// only on uniforms once per vertex, handed on as flat outputs.
#define FRAME flat out
layout(location = 0) in vec4 vPosition;
layout(location = 1) in vec2 vUV;
out vec2 uv;

#include "flare_common.glsl"

void main()
{
    uv = vUV;
    gl_Position = vPosition;

    float aspect = Resolution.x / max(Resolution.y, 1.0);
    // Strobe: on for the half cycle where the sine is non-negative.
    float gate = 1.0;
    if (Strobe > 0.001) {
        float frequency = Strobe * 30.0 + 1.0;
        gate = (sin(Time * frequency * 6.2831853) >= 0.0) ? 1.0 : 0.0;
    }
    float totalIntensity = Intensity * flicker(Time, FlickerSpeed, FlickerAmount) * gate;
    int count = ghostCount(NumGhosts, GhostIntensity);
    frameAspect = aspect;
    frameIntensity = totalIntensity;
    frameStarRate = starRate(Size);
    frameGhostSpacing = 1.0 / (float(count) + 1.0);
    frameScreenCentre = vec2(MaxUV.x * 0.5 * aspect, MaxUV.y * 0.5);
    frameHaloStrength = haloStrength(HaloSize);
    frameGhostChroma = ChromaticSpread * 0.01;
    frameStreakShape = streakShape(StreakLength, ChromaticSpread, aspect);
    frameHaloShape = haloShape(HaloSize, ChromaticSpread);
    frameGhostsDrawn = min(count, 8);
    frameFlaresDrawn = clamp(NumFlares, 0, 5);

    // A flare that is not drawn (beyond "NumFlares", or too faint) gets strength 0.
    for (int i = 0; i < 5; ++i) {
        vec2 centre = FlarePos[i] * MaxUV;
        float alpha = FlareAlpha[i];
        float perFlicker = flicker(Time + float(i) * 1.37, FlickerSpeed, FlickerAmount * 0.3);
        bool drawn = i < NumFlares && alpha >= 0.001;
        float strength = drawn ? totalIntensity * alpha * perFlicker : 0.0;
        frameFlares[i] = vec3(centre.x * aspect, centre.y, strength);
    }
    for (int g = 0; g < 2; ++g) {
        vec2 look[4] = vec2[4](ghostLook(4 * g), ghostLook(4 * g + 1), ghostLook(4 * g + 2),
                               ghostLook(4 * g + 3));
        frameGhostSizes[g] = vec4(look[0].x, look[1].x, look[2].x, look[3].x);
        frameGhostHues[g] = vec4(look[0].y, look[1].y, look[2].y, look[3].y);
    }
}
