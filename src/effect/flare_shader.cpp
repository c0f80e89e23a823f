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

#define DEFINE_FLARE_SOURCES(uniforms, frameValues, functions, vertexMain, fragmentFunctions,      \
                             fragmentMain)                                                         \
    const char kFlareVertexSource[] = FLARE_VERTEX_HEAD uniforms frameValues functions vertexMain; \
    const char kFlareFragmentPrelude[] =                                                           \
        FLARE_FRAGMENT_HEAD uniforms frameValues functions fragmentFunctions;                      \
    const char kFlareFragmentSource[] =                                                            \
        FLARE_FRAGMENT_HEAD uniforms frameValues functions fragmentFunctions fragmentMain;         \
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
// (aspect ratio, overall intensity with flicker and strobe gate, star falloff rate,
//  1 / (ghost count + 1))
FRAME vec4 frameA;
// (screen centre, streak shape)
FRAME vec4 frameB;
// (halo strength, streak strength, chromatic spread * 0.01, unused)
FRAME vec4 frameC;
// halo shape
FRAME vec4 frameHalo;
// (ghosts drawn, flares drawn): they bound the fragment stage's loop over further ghosts
// and flares. Handed over as values, so that the compiler cannot unroll that loop into
// branches, which a SIMD renderer runs for every pixel.
FRAME ivec2 frameCounts;
// per flare: (centre, strength with flicker, alpha and flare count applied, unused)
FRAME vec4 frameFlares[5];
// per ghost, four to a group: 1 / size and hue
FRAME vec4 frameGhostSizes[2];
FRAME vec4 frameGhostHues[2];
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

// Ghost i's own look, from hashes of its index: (1 / size, hue).
vec2 ghostLook(int i)
{
    float fi = float(i);
    float ghostSize = 0.02 + 0.015 * float(i % 3) + 0.01 * hash(fi * 7.3);
    return vec2(1.0 / ghostSize, hash(fi * 13.7) * 0.3);
}

// Ghost i (as a float) of a flare at c at point q, with axis from c to the screen centre,
// all in aspect-corrected space; kScale = 1 / (count + 1), chroma = chromatic * 0.01.
// Each channel is measured from its own centre, red shifted along the axis and blue
// against it. With r / size as the variable every step has constant edges: a soft
// filled disc (1 inside 0.3 of the size, 0 beyond it) plus a ring, full between 0.85 and
// 1.0 of the size and gone below 0.8 and above 1.05.
vec3 ghostAt(vec2 q, vec2 c, vec2 axis, float fi, float kScale, float chroma, vec2 look,
             float intensity)
{
    float k = (fi + 1.0) * kScale * 1.8 - 0.4;
    vec2 dG = q - (c + axis * (k * 2.0));
    vec2 shift = axis * (chroma * (fi + 1.0));
    vec3 u = vec3(length(dG - shift), length(dG), length(dG + shift)) * look.x;
    vec3 disc = unitStep((1.0 - u) * (1.0 / 0.7));
    vec3 ring = unitStep((u - 0.8) * 20.0) * unitStep((1.05 - u) * 20.0);
    return (disc * 0.5 + ring * 0.8) * vec3(1.0 + look.y, 1.0, 1.0 - look.y * 0.5) * intensity;
}

// The ghost count: "NumGhosts" rounded, none when too faint. At most eight are drawn, but
// the spacing follows the count.
int ghostCount(float numGhosts, float ghostIntensity)
{
    return ghostIntensity < 0.001 ? 0 : max(int(numGhosts + 0.5), 0);
}

// Chromatic discs and rings on the line from the flare through the centre.
vec3 ghostOrbs(vec2 p, vec2 flareCenter, vec2 maxUV, int count, float intensity,
               float chromatic, float aspect)
{
    if (count <= 0 || intensity < 0.001)
        return vec3(0.0);
    vec2 q = vec2(p.x * aspect, p.y);
    vec2 c = vec2(flareCenter.x * aspect, flareCenter.y);
    vec2 axis = vec2(maxUV.x * 0.5 * aspect, maxUV.y * 0.5) - c;
    float kScale = 1.0 / (float(count) + 1.0);
    vec3 total = vec3(0.0);
    for (int i = 0; i < 8; ++i) {
        if (i >= count)
            break;
        total += ghostAt(q, c, axis, float(i), kScale, chromatic * 0.01, ghostLook(i), intensity);
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
    int count = ghostCount(NumGhosts, GhostIntensity);
    frameA = vec4(aspect, totalIntensity, starRate(Size), 1.0 / (float(count) + 1.0));
    frameB = vec4(MaxUV.x * 0.5 * aspect, MaxUV.y * 0.5,
                  streakShape(StreakLength, ChromaticSpread, aspect));
    frameC = vec4(HaloSize < 0.001 ? 0.0 : 1.0, StreakLength < 0.001 ? 0.0 : StreakLength * 1.2,
                  ChromaticSpread * 0.01, 0.0);
    frameHalo = haloShape(HaloSize, ChromaticSpread);
    frameCounts = ivec2(min(count, 8), clamp(NumFlares, 0, 5));

    // A flare that is not drawn (beyond "NumFlares", or too faint) gets strength 0.
    for (int i = 0; i < 5; ++i) {
        vec2 center = FlarePos[i] * MaxUV;
        float alpha = FlareAlpha[i];
        float perFlicker = flicker(Time + float(i) * 1.37, FlickerSpeed, FlickerAmount * 0.3);
        bool drawn = i < NumFlares && alpha >= 0.001;
        float strength = drawn ? totalIntensity * alpha * perFlicker : 0.0;
        frameFlares[i] = vec4(center.x * aspect, center.y, strength, 0.0);
    }
    for (int g = 0; g < 2; ++g) {
        vec2 look[4] = vec2[4](ghostLook(4 * g), ghostLook(4 * g + 1), ghostLook(4 * g + 2),
                               ghostLook(4 * g + 3));
        frameGhostSizes[g] = vec4(look[0].x, look[1].x, look[2].x, look[3].x);
        frameGhostHues[g] = vec4(look[0].y, look[1].y, look[2].y, look[3].y);
    }
}
)glsl",

    // Fragment stage: functions that read the per-frame values.
    R"glsl(
// The first four ghosts of the flare at c, with axis from c to the screen centre; those
// beyond the count get intensity 0.
vec3 firstGhosts(vec2 q, vec2 c, vec2 axis)
{
    vec4 sizes = frameGhostSizes[0];
    vec4 hues = frameGhostHues[0];
    vec4 intensity = vec4(lessThan(ivec4(0, 1, 2, 3), ivec4(frameCounts.x))) * GhostIntensity;
    return ghostAt(q, c, axis, 0.0, frameA.w, frameC.z, vec2(sizes.x, hues.x), intensity.x)
         + ghostAt(q, c, axis, 1.0, frameA.w, frameC.z, vec2(sizes.y, hues.y), intensity.y)
         + ghostAt(q, c, axis, 2.0, frameA.w, frameC.z, vec2(sizes.z, hues.z), intensity.z)
         + ghostAt(q, c, axis, 3.0, frameA.w, frameC.z, vec2(sizes.w, hues.w), intensity.w);
}

// Star, halo and streak of a flare at offset d.
vec3 flareCore(vec2 d)
{
    vec3 light = vec3(starLight(d, frameA.z));
    light += haloLight(length(d), frameHalo) * frameC.x;
    return light + streakLight(d, frameB.zw) * frameC.y;
}

// The first flare's light at q, tinted and scaled.
vec3 firstFlareLight(vec2 q)
{
    vec4 flare = frameFlares[0];
    vec2 axis = frameB.xy - flare.xy;
    vec3 light = flareCore(q - flare.xy) + firstGhosts(q, flare.xy, axis);
    return FlareColor * flare.z * light;
}

// Ghost j's (1 / size, hue) from the per-frame values, picked by selects.
vec2 lookOf(int j)
{
    bvec4 lane = equal(ivec4(j & 3), ivec4(0, 1, 2, 3));
    vec4 sizes = j < 4 ? frameGhostSizes[0] : frameGhostSizes[1];
    vec4 hues = j < 4 ? frameGhostHues[0] : frameGhostHues[1];
    return vec2(dot(sizes, vec4(lane)), dot(hues, vec4(lane)));
}

// Everything beyond the first flare's first four ghosts, one item per pass: the first
// flare's fifth and later ghosts, then per further flare its star, halo and streak with
// its first ghost, and its other ghosts. With the effect's own values (one flare, four
// ghosts) there is no item; on a SIMD renderer the body still costs one masked pass,
// so all of it is one loop with one small body.
vec3 extraLight(vec2 q)
{
    int count = frameCounts.x;
    int perFlare = max(count, 1);
    int firstExtra = max(count - 4, 0);
    int items = firstExtra + max(frameCounts.y - 1, 0) * perFlare;
    // (flare, ghost) of the current item, stepped without a division.
    int i = firstExtra > 0 ? 0 : 1;
    int j = firstExtra > 0 ? 4 : 0;
    vec3 total = vec3(0.0);
    for (int k = 0; k < items; ++k) {
        vec4 flare = frameFlares[i];
        vec2 axis = frameB.xy - flare.xy;
        vec3 light = ghostAt(q, flare.xy, axis, float(j), frameA.w, frameC.z, lookOf(j),
                             j < count ? GhostIntensity : 0.0);
        light += flareCore(q - flare.xy) * (i > 0 && j == 0 ? 1.0 : 0.0);
        total += FlareColor * flare.z * light;
        ++j;
        bool nextFlare = j >= (i == 0 ? count : perFlare);
        i = nextFlare ? i + 1 : i;
        j = nextFlare ? 0 : j;
    }
    return total;
}
)glsl",

    // Fragment stage: main.
    R"glsl(
void main()
{
    vec2 tc = uv * MaxUV;
    vec3 src = texture(InputTexture, tc).rgb;
    if (frameA.y < 0.001) {
        fragColor = vec4(src, 1.0);
        return;
    }

    // Flare centres, ghost axis and aspect are all in texture space, so the flare is
    // evaluated at tc; for an unpadded input tc equals uv. The loop runs once per flare.
    vec2 q = vec2(tc.x * frameA.x, tc.y);
    vec3 totalFlare = firstFlareLight(q) + extraLight(q);

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
