#version 410 core
// Fragment stage of the flare program: the input image plus every flare's star, ghosts,
// halo and streak, screen blended; alpha is always 1.
#define FRAME flat in
in vec2 uv;
out vec4 fragColor;

#include "flare_common.glsl"

// Flare i's per-frame values, picked by selects: an indexed read of a flat input costs a
// SIMD renderer a gather per pixel.
vec3 flareValues(int i)
{
    return i == 0 ? frameFlares[0]
         : i == 1 ? frameFlares[1]
         : i == 2 ? frameFlares[2]
         : i == 3 ? frameFlares[3]
         : frameFlares[4];
}

void main()
{
    vec2 tc = uv * MaxUV;
    vec3 src = texture(InputTexture, tc).rgb;
    if (frameIntensity < 0.001) {
        fragColor = vec4(src, 1.0);
        return;
    }

    // Flare centres, ghost axis and aspect are all in texture space, so the flares are
    // evaluated at tc; for an unpadded input tc equals uv. One pass per flare drawn, at
    // least one: a flare that is not drawn has strength 0.
    vec2 q = vec2(tc.x * frameAspect, tc.y);
    vec3 totalFlare = vec3(0.0);
    int i = 0;
    do {
        totalFlare += computeFlare(q, flareValues(i), frameScreenCentre, FlareColor,
                                   frameStarRate, frameGhostsDrawn, frameGhostSpacing,
                                   frameGhostChroma, GhostIntensity, frameGhostSizes,
                                   frameGhostHues, frameHaloShape, frameHaloStrength,
                                   frameStreakShape);
    } while (++i < frameFlaresDrawn);

    // Faint static-like dirt tied to the output pixel.
    float dirt = hash(uv.x * 127.1 + uv.y * 311.7 + Time * 0.01);
    totalFlare *= 0.95 + dirt * 0.05;

    // Screen blend the clamped flare, then add a share of the unclamped flare.
    vec3 result = screenBlend(src, clamp(totalFlare, 0.0, 1.0)) + totalFlare * 0.3;
    fragColor = vec4(clamp(result, 0.0, 1.0), 1.0);
}
