// The flare program as it was before its per-frame values moved to the vertex stage: a
// verbatim copy kept as the reference the effect's program is compared against.
#include "support/reference_flare_program.h"

const char kReferenceFlareVertexSource[] = R"glsl(#version 410 core
layout(location = 0) in vec4 vPosition;
layout(location = 1) in vec2 vUV;
out vec2 uv;

void main()
{
    uv = vUV;
    gl_Position = vPosition;
}
)glsl";

const char kReferenceFlareFragmentSource[] =
    "#version 410 core\n"
    R"glsl(
in vec2 uv;
out vec4 fragColor;

uniform sampler2D InputTexture;
uniform vec2 MaxUV;
uniform float Time;
uniform float Intensity;
uniform float Size;
uniform vec3 FlareColor;
uniform float NumGhosts;
uniform float GhostIntensity;
uniform float HaloSize;
uniform float StreakLength;
uniform float FlickerSpeed;
uniform float FlickerAmount;
uniform float ChromaticSpread;
uniform float Strobe;
uniform vec2 Resolution;
uniform int NumFlares;
uniform vec2 FlarePos[5];
uniform float FlareAlpha[5];
)glsl"
    R"glsl(
// Hermite step from a to b. Unlike smoothstep it is defined for a > b, which
// gives a falling step (1 at or below b, 0 at or above a).
float hermite(float a, float b, float x)
{
    float t = clamp((x - a) / (b - a), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

// Pseudo-random value in [0, 1); exact values depend on the GPU's sin.
float hash(float n)
{
    return fract(sin(n) * 43758.5453123);
}

// Smooth one-dimensional value noise.
float noise1d(float t)
{
    float i = floor(t);
    float f = fract(t);
    f = f * f * (3.0 - 2.0 * f);
    return mix(hash(i), hash(i + 1.0), f);
}

// Brightness multiplier in [1 - amount, 1]: three sines and value noise.
float flicker(float t, float speed, float amount)
{
    if (amount < 0.001)
        return 1.0;
    float s = speed * 10.0;
    float f = 0.3 * sin(t * s * 1.0)
            + 0.25 * sin(t * s * 2.37 + 1.7)
            + 0.15 * sin(t * s * 4.71 + 3.1)
            + 0.3 * noise1d(t * s * 0.5);
    f = 0.5 + f * 0.5;
    return mix(1.0, clamp(f, 0.0, 1.0), amount);
}

// Bright core with six thin rays and eight thinner ones.
float primaryStar(vec2 delta, float size, float aspect)
{
    vec2 d = vec2(delta.x * aspect, delta.y);
    float dist = length(d);
    float z = max(size, 0.001);
    float glow = exp(-dist * 8.0 / z);
    // atan(0, 0) is undefined; the centre is dominated by the glow anyway.
    float angle = (dist == 0.0) ? 0.0 : atan(d.y, d.x);
    float rays = pow(abs(cos(angle * 3.0)), 80.0) * exp(-dist * 3.0 / z) * 0.7;
    float rays8 = pow(abs(cos(angle * 4.0)), 120.0) * exp(-dist * 5.0 / z) * 0.4;
    return glow + rays + rays8;
}

// Chromatic discs and rings on the line from the flare through the centre.
vec3 ghostOrbs(vec2 p, vec2 flareCenter, vec2 maxUV, int count, float intensity,
               float chromatic, float aspect)
{
    if (count <= 0 || intensity < 0.001)
        return vec3(0.0);
    vec2 axis = maxUV * 0.5 - flareCenter;
    vec3 total = vec3(0.0);
    for (int i = 0; i < 8; ++i) {
        if (i >= count)
            break;
        float fi = float(i);
        float k = (fi + 1.0) / (float(count) + 1.0);
        k = k * 1.8 - 0.4;
        vec2 ghostPos = flareCenter + axis * k * 2.0;
        float ghostSize = 0.02 + 0.015 * float(i % 3) + 0.01 * hash(fi * 7.3);

        float chromShift = chromatic * 0.01 * (fi + 1.0);
        vec2 dR = p - (ghostPos + axis * chromShift);
        vec2 dG = p - ghostPos;
        vec2 dB = p - (ghostPos - axis * chromShift);
        float rR = length(vec2(dR.x * aspect, dR.y));
        float rG = length(vec2(dG.x * aspect, dG.y));
        float rB = length(vec2(dB.x * aspect, dB.y));

        // Soft filled disc plus a ring between 0.85 and 1.0 of the size.
        float gR = hermite(ghostSize, ghostSize * 0.3, rR) * 0.5
                 + hermite(ghostSize * 0.8, ghostSize * 0.85, rR)
                 * hermite(ghostSize * 1.05, ghostSize, rR) * 0.8;
        float gG = hermite(ghostSize, ghostSize * 0.3, rG) * 0.5
                 + hermite(ghostSize * 0.8, ghostSize * 0.85, rG)
                 * hermite(ghostSize * 1.05, ghostSize, rG) * 0.8;
        float gB = hermite(ghostSize, ghostSize * 0.3, rB) * 0.5
                 + hermite(ghostSize * 0.8, ghostSize * 0.85, rB)
                 * hermite(ghostSize * 1.05, ghostSize, rB) * 0.8;

        float hue = hash(fi * 13.7) * 0.3;
        vec3 ghostColor = vec3(gR * (1.0 + hue), gG, gB * (1.0 - hue * 0.5));
        total += ghostColor * intensity;
    }
    return total;
}

// Thin ring around the flare, red outside and blue inside, with a soft glow.
vec3 haloRing(vec2 delta, float haloSz, float chromatic, float aspect)
{
    if (haloSz < 0.001)
        return vec3(0.0);
    float dist = length(vec2(delta.x * aspect, delta.y));
    float radius = haloSz * 0.3;
    float ringWidth = radius * 0.08;
    float spread = chromatic * radius * 0.15;
    float ringR = hermite(ringWidth, 0.0, abs(dist - (radius + spread)));
    float ringG = hermite(ringWidth, 0.0, abs(dist - radius));
    float ringB = hermite(ringWidth, 0.0, abs(dist - (radius - spread)));
    float outerGlow = exp(-abs(dist - radius) * 20.0 / max(haloSz, 0.001)) * 0.3;
    return vec3(ringR + outerGlow, ringG + outerGlow * 0.8, ringB + outerGlow * 1.2) * 0.6;
}

// Thin horizontal line through the flare.
float streak(vec2 delta, float streakLen, float aspect)
{
    if (streakLen < 0.001)
        return 0.0;
    float dx = abs(delta.x) * aspect;
    float dy = abs(delta.y);
    return exp(-dy * 200.0) * exp(-dx * 2.0 / max(streakLen, 0.001)) * streakLen * 1.5;
}

vec3 screenBlend(vec3 base, vec3 flare)
{
    return 1.0 - (1.0 - base) * (1.0 - flare);
}

// One flare: star, ghosts, halo and a chromatically split streak.
vec3 computeFlare(vec2 p, vec2 center, vec2 maxUV, float aspect, float totalIntensity,
                  float flareSize, vec3 color, float numGhosts, float ghostInt,
                  float haloSz, float streakLen, float chromSpread)
{
    vec2 delta = p - center;
    vec3 flare = color * primaryStar(delta, flareSize, aspect) * totalIntensity;
    flare += ghostOrbs(p, center, maxUV, int(numGhosts + 0.5), ghostInt, chromSpread, aspect)
           * color * totalIntensity;
    flare += haloRing(delta, haloSz, chromSpread, aspect) * color * totalIntensity;
    vec2 shift = vec2(chromSpread * 0.003, 0.0);
    float red = streak(delta + shift, streakLen, aspect);
    float green = streak(delta, streakLen, aspect);
    float blue = streak(delta - shift, streakLen, aspect);
    flare += vec3(red, green, blue) * color * totalIntensity * 0.8;
    return flare;
}
)glsl"
    R"glsl(
void main()
{
    vec2 tc = uv * MaxUV;
    vec3 src = texture(InputTexture, tc).rgb;
    float aspect = Resolution.x / max(Resolution.y, 1.0);

    // Strobe: on for the half cycle where the sine is non-negative.
    float gate = 1.0;
    if (Strobe > 0.001) {
        float frequency = Strobe * 30.0 + 1.0;
        gate = (sin(Time * frequency * 6.2831853) >= 0.0) ? 1.0 : 0.0;
    }

    float flickerMod = flicker(Time, FlickerSpeed, FlickerAmount);
    float totalIntensity = Intensity * flickerMod * gate;
    if (totalIntensity < 0.001) {
        fragColor = vec4(src, 1.0);
        return;
    }

    // Flare centres, ghost axis and aspect are all in texture space, so the
    // flare is evaluated at tc; for an unpadded input tc equals uv.
    vec3 totalFlare = vec3(0.0);
    for (int i = 0; i < 5; ++i) {
        if (i >= NumFlares)
            break;
        vec2 center = FlarePos[i] * MaxUV;
        float alpha = FlareAlpha[i];
        if (alpha < 0.001)
            continue;
        float perFlicker = flicker(Time + float(i) * 1.37, FlickerSpeed, FlickerAmount * 0.3);
        totalFlare += computeFlare(tc, center, MaxUV, aspect, totalIntensity * alpha * perFlicker,
                                   Size, FlareColor, NumGhosts, GhostIntensity, HaloSize,
                                   StreakLength, ChromaticSpread);
    }

    // Faint static-like dirt tied to the output pixel.
    float dirt = hash(uv.x * 127.1 + uv.y * 311.7 + Time * 0.01);
    totalFlare *= 0.95 + dirt * 0.05;

    // Screen blend the clamped flare, then add a share of the unclamped flare.
    vec3 result = screenBlend(src, clamp(totalFlare, 0.0, 1.0)) + totalFlare * 0.3;
    fragColor = vec4(clamp(result, 0.0, 1.0), 1.0);
}
)glsl";
