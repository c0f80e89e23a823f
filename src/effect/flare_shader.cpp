#include "flare_shader.h"

// The program is assembled at compile time from shared pieces: both stages declare the
// same uniforms, the same per-frame values (written by the vertex stage, read by the
// fragment stage as flat inputs) and the same function block. Everything that depends
// only on uniforms is worked out in the vertex stage, six times a frame, so a pixel
// pays only for its own arithmetic.

// The heads of the two stages; the rest of each is built from the pieces below.
#define FLARE_VERTEX_HEAD                       \
    "#version 410 core\n"                       \
    "#define FRAME flat out\n"                  \
    "layout(location = 0) in vec4 vPosition;\n" \
    "layout(location = 1) in vec2 vUV;\n"       \
    "out vec2 uv;\n"
#define FLARE_FRAGMENT_HEAD   \
    "#version 410 core\n"     \
    "#define FRAME flat in\n" \
    "in vec2 uv;\n"           \
    "out vec4 fragColor;\n"

#define DEFINE_FLARE_SOURCES(uniforms, frameValues, functions, vertexMain, fragmentMain)           \
    const char kFlareVertexSource[] = FLARE_VERTEX_HEAD uniforms frameValues functions vertexMain; \
    const char kFlareFragmentPrelude[] = FLARE_FRAGMENT_HEAD uniforms frameValues functions;       \
    const char kFlareFragmentSource[] =                                                            \
        FLARE_FRAGMENT_HEAD uniforms frameValues functions fragmentMain;                           \
    const char kFlareFunctionSource[] = functions

DEFINE_FLARE_SOURCES(
    // Uniform block.
    R"glsl(
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
)glsl",

    // Per-frame values. FRAME is "flat out" in the vertex stage and "flat in" in the
    // fragment stage. Positions are in aspect-corrected texture space: x times the aspect
    // ratio, y unchanged.
    R"glsl(
// (first flare's centre, aspect ratio, overall intensity with flicker and strobe gate)
FRAME vec4 frameFlare;
// (flare colour times the first flare's strength, star falloff rate)
FRAME vec4 frameStar;
// (streak shape, halo strength, streak strength)
FRAME vec4 frameStreak;
// halo shape
FRAME vec4 frameHalo;
// (first ghosts: green centre, offset of the red centre), (tint times strength, 1 / size)
FRAME vec4 frameGhostPlace[4];
FRAME vec4 frameGhostLook[4];
)glsl",

    // Function block.
    R"glsl(
// Hermite step t * t * (3 - 2t) of a value already scaled so that the step's edges are 0
// and 1 (a falling step is a rising one of a mirrored value).
vec3 unitStep(vec3 t)
{
    t = clamp(t, 0.0, 1.0);
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

// The star's falloff rate for exp2: log2(e) / size, the size kept above 0.001.
float starRate(float size)
{
    return 1.44269504 / max(size, 0.001);
}

// Bright core with six thin rays and eight thinner ones, at aspect-corrected offset d
// from the centre. The rays' cos 3θ and cos 4θ are polynomials of the unit direction
// (at the centre the angle is taken as 0), |cos 3θ|^80 and |cos 4θ|^120 are repeated
// squares, and the three exponentials are powers of one.
float starLight(vec2 d, float rate)
{
    float dist = length(d);
    float c = dist > 0.0 ? d.x / dist : 1.0;
    float c2 = c * c;
    float cos3 = c * (4.0 * c2 - 3.0);
    float cos4 = 8.0 * c2 * (c2 - 1.0) + 1.0;
    float s2 = cos3 * cos3;
    float s4 = s2 * s2;
    float s16 = (s4 * s4) * (s4 * s4);
    float s64 = (s16 * s16) * (s16 * s16);
    float t2 = cos4 * cos4;
    float t4 = t2 * t2;
    float t8 = t4 * t4;
    float t16 = t8 * t8;
    float t32 = t16 * t16;
    float e = exp2(-dist * rate);
    float e2 = e * e;
    float e4 = e2 * e2;
    return e4 * e4 + (s64 * s16) * (e2 * e) * 0.7 + (t32 * t32 * t32 * t16 * t8) * (e4 * e) * 0.4;
}

float primaryStar(vec2 delta, float size, float aspect)
{
    return starLight(vec2(delta.x * aspect, delta.y), starRate(size));
}

// Ghost i of count, for a flare at flareCenter with the given axis towards the screen
// centre, as two vectors in aspect-corrected space: place = (green centre, offset of the
// red centre from it; blue lies opposite), look = (tint times intensity, 1 / size).
void placeGhost(int i, int count, vec2 flareCenter, vec2 axis, float chromatic, float aspect,
                float intensity, out vec4 place, out vec4 look)
{
    float fi = float(i);
    float k = (fi + 1.0) / (float(count) + 1.0);
    k = k * 1.8 - 0.4;
    vec2 ghostPos = flareCenter + axis * k * 2.0;
    float ghostSize = 0.02 + 0.015 * float(i % 3) + 0.01 * hash(fi * 7.3);
    vec2 shift = axis * (chromatic * 0.01 * (fi + 1.0));
    float hue = hash(fi * 13.7) * 0.3;
    place = vec4(ghostPos.x * aspect, ghostPos.y, shift.x * aspect, shift.y);
    look = vec4(vec3(1.0 + hue, 1.0, 1.0 - hue * 0.5) * intensity, 1.0 / ghostSize);
}

// One ghost at aspect-corrected point q, each channel around its own centre. With r / size
// as the variable, every step has constant edges: a soft filled disc (1 inside 0.3 of the
// size, 0 beyond it) plus a ring, full between 0.85 and 1.0 of the size and gone below
// 0.8 and above 1.05.
vec3 ghostLight(vec2 q, vec4 place, vec4 look)
{
    vec2 dG = q - place.xy;
    vec3 u = vec3(length(dG - place.zw), length(dG), length(dG + place.zw)) * look.w;
    vec3 disc = unitStep((1.0 - u) * (1.0 / 0.7));
    vec3 ring = unitStep((u - 0.8) * 20.0) * unitStep((1.05 - u) * 20.0);
    return (disc * 0.5 + ring * 0.8) * look.rgb;
}

// The number of ghosts drawn: "NumGhosts" rounded, at most eight, none when too faint.
int ghostCount(float numGhosts, float ghostIntensity)
{
    return ghostIntensity < 0.001 ? 0 : min(int(numGhosts + 0.5), 8);
}

// Chromatic discs and rings on the line from the flare through the centre.
vec3 ghostOrbs(vec2 p, vec2 flareCenter, vec2 maxUV, int count, float intensity,
               float chromatic, float aspect)
{
    if (count <= 0 || intensity < 0.001)
        return vec3(0.0);
    vec2 axis = maxUV * 0.5 - flareCenter;
    vec2 q = vec2(p.x * aspect, p.y);
    vec3 total = vec3(0.0);
    for (int i = 0; i < 8; ++i) {
        if (i >= count)
            break;
        vec4 place;
        vec4 look;
        placeGhost(i, count, flareCenter, axis, chromatic, aspect, intensity, place, look);
        total += ghostLight(q, place, look);
    }
    return total;
}

// The halo's shape: (radius, 1 / ring width, chromatic spread, log2(e) * 20 / size),
// the size kept above 0.001 so that the shape stays finite.
vec4 haloShape(float haloSz, float chromatic)
{
    float z = max(haloSz, 0.001);
    float radius = z * 0.3;
    return vec4(radius, 1.0 / (radius * 0.08), chromatic * radius * 0.15, 1.44269504 * 20.0 / z);
}

// Thin ring at distance dist from the flare, red outside and blue inside, with a soft
// glow; each ring is a falling step over the ring width.
vec3 haloLight(float dist, vec4 shape)
{
    vec3 x = abs(dist - vec3(shape.x + shape.z, shape.x, shape.x - shape.z));
    float outerGlow = exp2(-x.g * shape.w) * 0.3;
    return (unitStep(1.0 - x * shape.y) + outerGlow * vec3(1.0, 0.8, 1.2)) * 0.6;
}

vec3 haloRing(vec2 delta, float haloSz, float chromatic, float aspect)
{
    if (haloSz < 0.001)
        return vec3(0.0);
    return haloLight(length(vec2(delta.x * aspect, delta.y)), haloShape(haloSz, chromatic));
}

// The streak's shape for exp2: (red centre's horizontal offset in aspect-corrected space,
// log2(e) * 2 / length, the length kept above 0.001).
vec2 streakShape(float streakLen, float chromatic, float aspect)
{
    return vec2(chromatic * 0.003 * aspect, 1.44269504 * 2.0 / max(streakLen, 0.001));
}

// Thin horizontal line through the flare at aspect-corrected offset d, per channel with
// red and blue shifted sideways; the vertical falloff is shared by the three channels.
vec3 streakLight(vec2 d, vec2 shape)
{
    vec3 dx = abs(d.x + vec3(shape.x, 0.0, -shape.x));
    return exp2(-abs(d.y) * (200.0 * 1.44269504) - dx * shape.y);
}

// One channel of the streak, scaled by its strength.
float streak(vec2 delta, float streakLen, float aspect)
{
    if (streakLen < 0.001)
        return 0.0;
    vec2 d = vec2(delta.x * aspect, delta.y);
    return streakLight(d, streakShape(streakLen, 0.0, aspect)).g * streakLen * 1.5;
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
)glsl",

    // Vertex stage: per-frame values, from uniforms only.
    R"glsl(
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

    // The first flare; one that is not drawn gets strength 0.
    vec2 center = FlarePos[0] * MaxUV;
    bool drawn = NumFlares >= 1 && FlareAlpha[0] >= 0.001;
    float strength = totalIntensity * FlareAlpha[0] * flicker(Time, FlickerSpeed, FlickerAmount * 0.3);
    frameFlare = vec4(center.x * aspect, center.y, aspect, totalIntensity);
    frameStar = vec4(FlareColor * (drawn ? strength : 0.0), starRate(Size));
    frameHalo = haloShape(HaloSize, ChromaticSpread);
    frameStreak = vec4(streakShape(StreakLength, ChromaticSpread, aspect), HaloSize < 0.001 ? 0.0 : 1.0,
                       StreakLength < 0.001 ? 0.0 : StreakLength * 1.2);

    // Its first four ghosts; a slot beyond the count gets intensity 0 (and a finite place).
    int count = ghostCount(NumGhosts, GhostIntensity);
    vec2 axis = MaxUV * 0.5 - center;
    for (int i = 0; i < 4; ++i) {
        float intensity = i < count ? GhostIntensity : 0.0;
        placeGhost(i, max(count, 1), center, axis, ChromaticSpread, aspect, intensity,
                   frameGhostPlace[i], frameGhostLook[i]);
    }
}
)glsl",

    // Fragment stage.
    R"glsl(
// Ghosts beyond the fourth of the first flare, set up per pixel: the loop runs only when
// "NumGhosts" asks for more than four.
vec3 moreGhosts(vec2 q, vec2 center, int count, float aspect)
{
    vec3 total = vec3(0.0);
    for (int i = 4; i < count; ++i) {
        vec4 place;
        vec4 look;
        placeGhost(i, count, center, MaxUV * 0.5 - center, ChromaticSpread, aspect, GhostIntensity,
                   place, look);
        total += ghostLight(q, place, look);
    }
    return total;
}

// Flares after the first, set up per pixel: the loop runs only when "NumFlares" exceeds 1.
vec3 moreFlares(vec2 tc, float aspect, float totalIntensity)
{
    vec3 total = vec3(0.0);
    for (int i = 1; i < min(NumFlares, 5); ++i) {
        float alpha = FlareAlpha[i];
        if (alpha < 0.001)
            continue;
        float perFlicker = flicker(Time + float(i) * 1.37, FlickerSpeed, FlickerAmount * 0.3);
        total += computeFlare(tc, FlarePos[i] * MaxUV, MaxUV, aspect,
                              totalIntensity * alpha * perFlicker, Size, FlareColor, NumGhosts,
                              GhostIntensity, HaloSize, StreakLength, ChromaticSpread);
    }
    return total;
}

void main()
{
    vec2 tc = uv * MaxUV;
    vec3 src = texture(InputTexture, tc).rgb;
    float totalIntensity = frameFlare.w;
    if (totalIntensity < 0.001) {
        fragColor = vec4(src, 1.0);
        return;
    }

    // Flare centres, ghost axis and aspect are all in texture space, so the flare is
    // evaluated at tc; for an unpadded input tc equals uv.
    float aspect = frameFlare.z;
    vec2 q = vec2(tc.x * aspect, tc.y);
    vec2 delta = vec2((q.x - frameFlare.x) / aspect, q.y - frameFlare.y);
    vec3 light = vec3(starLight(q - frameFlare.xy, frameStar.w));
    light += haloLight(length(q - frameFlare.xy), frameHalo) * frameStreak.z;
    light += streakLight(q - frameFlare.xy, frameStreak.xy) * frameStreak.w;
    light += ghostLight(q, frameGhostPlace[0], frameGhostLook[0]);
    light += ghostLight(q, frameGhostPlace[1], frameGhostLook[1]);
    light += ghostLight(q, frameGhostPlace[2], frameGhostLook[2]);
    light += ghostLight(q, frameGhostPlace[3], frameGhostLook[3]);
    vec2 center = FlarePos[0] * MaxUV;
    int count = ghostCount(NumGhosts, GhostIntensity);
    light += moreGhosts(q, center, count, aspect);
    vec3 totalFlare = frameStar.rgb * light + moreFlares(tc, aspect, totalIntensity);

    // Faint static-like dirt tied to the output pixel.
    float dirt = hash(uv.x * 127.1 + uv.y * 311.7 + Time * 0.01);
    totalFlare *= 0.95 + dirt * 0.05;

    // Screen blend the clamped flare, then add a share of the unclamped flare.
    vec3 result = screenBlend(src, clamp(totalFlare, 0.0, 1.0)) + totalFlare * 0.3;
    fragColor = vec4(clamp(result, 0.0, 1.0), 1.0);
}
)glsl");

#undef DEFINE_FLARE_SOURCES
#undef FLARE_FRAGMENT_HEAD
#undef FLARE_VERTEX_HEAD
