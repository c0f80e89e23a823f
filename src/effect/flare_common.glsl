// The flare program's shared block: the uniforms, the per-frame values the vertex stage
// hands to the fragment stage, and the flare's functions. Both stages include it (see
// flare_vertex.glsl and flare_fragment.glsl); the build embeds the assembled stages into
// the module. Each function is called by one stage or both: the vertex stage works out
// everything that depends only on uniforms, the fragment stage a pixel's own arithmetic.

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

// Per-frame values. FRAME is "flat out" in the vertex stage and "flat in" in the fragment
// stage. Scalars travel four to a vec4, so that the stages stay within the 60 varying
// components GL 4.1 guarantees; every lane has a name of its own. Positions are in
// aspect-corrected texture space: x times the aspect ratio, y unchanged.
FRAME vec4 framePackedA;
#define frameAspect framePackedA.x
// Overall intensity with flicker and strobe gate.
#define frameIntensity framePackedA.y
#define frameStarRate framePackedA.z
// 1 / (ghost count + 1).
#define frameGhostSpacing framePackedA.w
FRAME vec4 framePackedB;
#define frameScreenCentre framePackedB.xy
#define frameHaloStrength framePackedB.z
// Chromatic spread * 0.01.
#define frameGhostChroma framePackedB.w
FRAME vec4 frameStreakShape;
FRAME vec4 frameHaloShape;
// Ghosts and flares drawn. Handed over as values, so that the compiler cannot unroll the
// fragment stage's loops into branches, which a SIMD renderer runs for every pixel.
FRAME ivec2 frameCounts;
#define frameGhostsDrawn frameCounts.x
#define frameFlaresDrawn frameCounts.y
// Per flare: its centre and its strength (flicker, alpha and flare count applied).
FRAME vec3 frameFlares[5];
// Per ghost, four to a vec4: 1 / size and hue.
FRAME vec4 frameGhostSizes[2];
FRAME vec4 frameGhostHues[2];

// Pseudo-random value in [0, 1); exact values depend on the GPU's sin.
float hash(float n)
{
    return fract(sin(n) * 43758.5453123);
}

// ---- Called by the vertex stage: values that depend only on uniforms.

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

// The ghost count: "NumGhosts" rounded, none when too faint. At most eight are drawn, but
// the spacing follows the count.
int ghostCount(float numGhosts, float ghostIntensity)
{
    return ghostIntensity < 0.001 ? 0 : max(int(numGhosts + 0.5), 0);
}

// Ghost i's own look, from hashes of its index: (1 / size, hue).
vec2 ghostLook(int i)
{
    float fi = float(i);
    float ghostSize = 0.02 + 0.015 * float(i % 3) + 0.01 * hash(fi * 7.3);
    return vec2(1.0 / ghostSize, hash(fi * 13.7) * 0.3);
}

// The halo's shape: (radius, 1 / ring width, chromatic spread, log2(e) * 20 / size),
// the size kept above 0.001 so that the shape stays finite.
vec4 haloShape(float haloSz, float chromatic)
{
    float z = max(haloSz, 0.001);
    float radius = z * 0.3;
    return vec4(radius, 1.0 / (radius * 0.08), chromatic * radius * 0.15, 1.44269504 * 20.0 / z);
}

// The halo's strength: 0.6, or 0 (off) below a size of 0.001.
float haloStrength(float haloSz)
{
    return haloSz < 0.001 ? 0.0 : 0.6;
}

// The streak's shape for exp2: (red centre's horizontal offset in aspect-corrected space,
// log2(e) * 2 / length with the length kept above 0.001, strength, and the falloff across
// the offset between two channel centres); below a length of 0.001 the streak is off,
// strength 0.
vec4 streakShape(float streakLen, float chromatic, float aspect)
{
    float shift = chromatic * 0.003 * aspect;
    float rate = 1.44269504 * 2.0 / max(streakLen, 0.001);
    return vec4(shift, rate, streakLen < 0.001 ? 0.0 : streakLen * 1.5,
                exp2(-abs(shift) * rate));
}

// ---- Called by the fragment stage: a pixel's light.

// Hermite step t * t * (3 - 2t) of a value already scaled so that the step's edges are 0
// and 1 (a falling step is a rising one of a mirrored value).
vec3 unitStep(vec3 t)
{
    t = clamp(t, 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

// Bright core with six thin rays and eight thinner ones, at aspect-corrected offset d
// from the centre, rate from starRate. The rays' cos 3θ and cos 4θ are polynomials of the
// unit direction (at the centre the angle is taken as 0), |cos 3θ|^80 and |cos 4θ|^120
// are repeated squares, and the three exponentials are powers of one.
float primaryStar(vec2 d, float rate)
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

// Entry j (0 to 7) of eight values held four to a vec4, picked by selects: an indexed read
// of a flat input costs a SIMD renderer a gather per pixel.
float pick(vec4 table[2], int j)
{
    vec4 four = j < 4 ? table[0] : table[1];
    vec2 two = (j & 2) == 0 ? four.xy : four.zw;
    return (j & 1) == 0 ? two.x : two.y;
}

// The chromatic discs and rings of a flare at c on the line through the screen centre,
// at point q, all in aspect-corrected space: `drawn` ghosts, with 1 / size and hue per
// ghost from ghostLook, four to a vec4; spacing = 1 / (count + 1), chroma = chromatic
// spread * 0.01. Ghost j sits at c + axis * 2k, k = (j + 1) * spacing * 1.8 - 0.4, its
// red centre shifted along the axis by axis * chroma * (j + 1) and its blue centre
// against it. With r / size as the variable every step has constant edges: a soft
// filled disc (1 inside 0.3 of the size, 0 beyond it) plus a ring, full between 0.85 and
// 1.0 of the size and gone below 0.8 and above 1.05.
//
// A ghost's light is exactly 0 farther than 1.05 of its size from its channel centres,
// and ghostLook's sizes stay below 0.06, so a pixel visits only the ghosts whose centres
// lie within that reach of it along the axis, and none farther from the axis than that.
// Ghosts are evenly spaced, so these are a run of indices; the loop runs as often as the
// pixel with the longest run among those a SIMD renderer shades together (once where
// none is near).
vec3 ghostOrbs(vec2 q, vec2 c, vec2 axis, int drawn, float spacing, float chroma,
               float intensity, vec4 sizes[2], vec4 hues[2])
{
    const float reach = 1.05 * 0.06 * 1.001;
    vec2 d = q - c;
    float len = length(axis);
    vec2 dir = len > 0.0 ? axis * (1.0 / len) : vec2(1.0, 0.0);
    float along = dot(d, dir);
    float across = d.x * dir.y - d.y * dir.x;
    // Ghost j's centre lies at along = gap * (j + 1) - 0.8 * len.
    float perGap = 1.0 / max(3.6 * spacing * len, 1e-20);
    float alongReach = reach + len * abs(chroma) * float(drawn);
    float nearest = (along + 0.8 * len) * perGap - 1.0;
    float halfRun = alongReach * perGap;
    // Clamped as floats, so that a huge value stays in range, and as integers, so that no
    // value (not even a NaN from a position out of range) can make the loop run long.
    int j = clamp(int(clamp(ceil(nearest - halfRun), 0.0, 7.0)), 0, 7);
    int last = clamp(int(clamp(floor(nearest + halfRun), -1.0, 7.0)), -1, drawn - 1);
    last = abs(across) > reach ? -1 : last;
    vec3 total = vec3(0.0);
    do {
        float k = float(j + 1);
        float shift = len * chroma * k;
        vec3 x = along - (3.6 * spacing * k - 0.8) * len - vec3(shift, 0.0, -shift);
        vec3 u = sqrt(x * x + across * across) * pick(sizes, j);
        vec3 disc = unitStep((1.0 - u) * (1.0 / 0.7));
        vec3 ring = unitStep(min(u - 0.8, 1.05 - u) * 20.0);
        float hue = pick(hues, j);
        float on = j <= last ? intensity : 0.0;
        total += (disc * 0.5 + ring * 0.8) * vec3(1.0 + hue, 1.0, 1.0 - hue * 0.5) * on;
    } while (++j <= last);
    return total;
}

// Thin ring at distance dist from the flare, red outside and blue inside, with a soft
// glow; each ring is a falling step over the ring width. Shape and strength from
// haloShape and haloStrength.
vec3 haloRing(float dist, vec4 shape, float strength)
{
    vec3 x = abs(dist - vec3(shape.x + shape.z, shape.x, shape.x - shape.z));
    float outerGlow = exp2(-x.g * shape.w) * 0.3;
    return (unitStep(1.0 - x * shape.y) + outerGlow * vec3(1.0, 0.8, 1.2)) * strength;
}

// Thin horizontal line through the flare at aspect-corrected offset d, its three channels
// at once, red and blue shifted sideways; the vertical falloff is shared by the three.
// Of red and blue, the centre on the far side of the flare is farther by exactly the
// shift, so its light is the green one times a per-frame factor; only the near one needs
// an exponential of its own. Shape from streakShape.
vec3 streak(vec2 d, vec4 shape)
{
    float dx = abs(d.x);
    float dy = -abs(d.y) * (200.0 * 1.44269504);
    float green = exp2(dy - dx * shape.y);
    float near = exp2(dy - abs(dx - abs(shape.x)) * shape.y);
    float far = green * shape.w;
    return (d.x * shape.x >= 0.0 ? vec3(far, green, near) : vec3(near, green, far)) * shape.z;
}

// One flare at q, tinted: star, ghosts, halo and streak of the flare with centre and
// strength `flare`, from the per-frame values handed in.
vec3 computeFlare(vec2 q, vec3 flare, vec2 screenCentre, vec3 color, float rate,
                  int ghostsDrawn, float ghostSpacing, float ghostChroma, float ghostIntensity,
                  vec4 ghostSizes[2], vec4 ghostHues[2], vec4 halo, float haloLevel,
                  vec4 streakLook)
{
    vec2 centre = flare.xy;
    float strength = flare.z;
    vec2 d = q - centre;
    vec3 light = vec3(primaryStar(d, rate));
    light += ghostOrbs(q, centre, screenCentre - centre, ghostsDrawn, ghostSpacing, ghostChroma,
                       ghostIntensity, ghostSizes, ghostHues);
    light += haloRing(length(d), halo, haloLevel);
    light += streak(d, streakLook) * 0.8;
    return color * strength * light;
}

vec3 screenBlend(vec3 base, vec3 flare)
{
    return 1.0 - (1.0 - base) * (1.0 - flare);
}
