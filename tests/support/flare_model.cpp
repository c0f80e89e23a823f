#include "flare_model.h"

#include <algorithm>
#include <cmath>

namespace flare_model {
namespace {

struct Vec2 {
    double x, y;
};
struct Rgb {
    double r, g, b;
};

Rgb operator+(Rgb a, Rgb b) {
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}
Rgb operator*(Rgb a, double k) {
    return {a.r * k, a.g * k, a.b * k};
}
Rgb operator*(Rgb a, Rgb b) {
    return {a.r * b.r, a.g * b.g, a.b * b.b};
}

double Clamp01(double v) {
    return std::min(std::max(v, 0.0), 1.0);
}

// Hermite step from a to b; for a > b it falls from 1 to 0.
double Step(double a, double b, double x) {
    const double t = Clamp01((x - a) / (b - a));
    return t * t * (3.0 - 2.0 * t);
}

double Length(Vec2 v, double aspect) {
    return std::hypot(v.x * aspect, v.y);
}

double Star(Vec2 delta, double size, double aspect) {
    const Vec2 d{delta.x * aspect, delta.y};
    const double dist = std::hypot(d.x, d.y);
    const double z = std::max(size, 0.001);
    const double angle = std::atan2(d.y, d.x);
    const double glow = std::exp(-dist * 8.0 / z);
    const double rays6 =
        std::pow(std::fabs(std::cos(angle * 3.0)), 80.0) * std::exp(-dist * 3.0 / z) * 0.7;
    const double rays8 =
        std::pow(std::fabs(std::cos(angle * 4.0)), 120.0) * std::exp(-dist * 5.0 / z) * 0.4;
    return glow + rays6 + rays8;
}

// A soft disc plus a ring between 0.85 and 1.0 of the size.
double Ghost(double r, double size) {
    return Step(size, size * 0.3, r) * 0.5 +
           Step(size * 0.8, size * 0.85, r) * Step(size * 1.05, size, r) * 0.8;
}

Rgb Ghosts(Vec2 p, Vec2 centre, const Uniforms& u, const HashValues& hashes, double aspect) {
    const int count = static_cast<int>(u.numGhosts + 0.5);
    if (count <= 0 || u.ghostIntensity < 0.001) {
        return {0, 0, 0};
    }
    const Vec2 axis{u.maxUV[0] * 0.5 - centre.x, u.maxUV[1] * 0.5 - centre.y};
    Rgb total{0, 0, 0};
    for (int i = 0; i < std::min(count, kMaxGhosts); ++i) {
        const double k = (i + 1.0) / (count + 1.0) * 1.8 - 0.4;
        const Vec2 at{centre.x + axis.x * k * 2.0, centre.y + axis.y * k * 2.0};
        const double size = 0.02 + 0.015 * (i % 3) + 0.01 * hashes.ghostSize[i];
        const double shift = u.chromaticSpread * 0.01 * (i + 1);
        const double red =
            Ghost(Length({p.x - at.x - axis.x * shift, p.y - at.y - axis.y * shift}, aspect), size);
        const double green = Ghost(Length({p.x - at.x, p.y - at.y}, aspect), size);
        const double blue =
            Ghost(Length({p.x - at.x + axis.x * shift, p.y - at.y + axis.y * shift}, aspect), size);
        const double hue = hashes.ghostHue[i] * 0.3;
        total = total + Rgb{red * (1.0 + hue), green, blue * (1.0 - hue * 0.5)} * u.ghostIntensity;
    }
    return total;
}

Rgb Halo(Vec2 delta, double haloSize, double chromatic, double aspect) {
    if (haloSize < 0.001) {
        return {0, 0, 0};
    }
    const double dist = Length(delta, aspect);
    const double radius = haloSize * 0.3;
    const double width = radius * 0.08;
    const double spread = chromatic * radius * 0.15;
    const double glow =
        std::exp(-std::fabs(dist - radius) * 20.0 / std::max(haloSize, 0.001)) * 0.3;
    return Rgb{Step(width, 0.0, std::fabs(dist - radius - spread)) + glow,
               Step(width, 0.0, std::fabs(dist - radius)) + glow * 0.8,
               Step(width, 0.0, std::fabs(dist - radius + spread)) + glow * 1.2} *
           0.6;
}

double Streak(Vec2 delta, double length, double aspect) {
    if (length < 0.001) {
        return 0.0;
    }
    return std::exp(-std::fabs(delta.y) * 200.0) *
           std::exp(-std::fabs(delta.x) * aspect * 2.0 / std::max(length, 0.001)) * length * 1.5;
}

Rgb OneFlare(Vec2 p, Vec2 centre, double strength, const Uniforms& u, const HashValues& hashes,
             double aspect) {
    const Vec2 delta{p.x - centre.x, p.y - centre.y};
    const Rgb colour{u.flareColor[0], u.flareColor[1], u.flareColor[2]};
    const double shift = u.chromaticSpread * 0.003;
    const Rgb streak{Streak({delta.x + shift, delta.y}, u.streakLength, aspect),
                     Streak(delta, u.streakLength, aspect),
                     Streak({delta.x - shift, delta.y}, u.streakLength, aspect)};
    const Rgb light = Rgb{1, 1, 1} * Star(delta, u.size, aspect) +
                      Ghosts(p, centre, u, hashes, aspect) +
                      Halo(delta, u.haloSize, u.chromaticSpread, aspect) + streak * 0.8;
    return light * colour * strength;
}

double Blend(double source, double flare) {
    const double screen = 1.0 - (1.0 - source) * (1.0 - Clamp01(flare));
    return Clamp01(screen + flare * 0.3);
}

}  // namespace

double Flicker(double t, double speed, double amount, double latticePoint,
               const double latticeValue[2]) {
    if (amount < 0.001) {
        return 1.0;
    }
    const double s = speed * 10.0;
    double f = Clamp01(t * s * 0.5 - latticePoint);
    f = f * f * (3.0 - 2.0 * f);
    const double noise = latticeValue[0] + (latticeValue[1] - latticeValue[0]) * f;
    double sum = 0.3 * std::sin(t * s) + 0.25 * std::sin(t * s * 2.37 + 1.7) +
                 0.15 * std::sin(t * s * 4.71 + 3.1) + 0.3 * noise;
    sum = 0.5 + sum * 0.5;
    return 1.0 + (Clamp01(sum) - 1.0) * amount;
}

Bands ExpectedFrame(const Uniforms& u, const HashValues& hashes, const Picture& input,
                    uint32_t width, uint32_t height) {
    const double aspect = u.resolution[0] / std::max(u.resolution[1], 1.0);
    double gate = 1.0;
    if (u.strobe > 0.001) {
        gate = std::sin(u.time * (u.strobe * 30.0 + 1.0) * 6.2831853) >= 0.0 ? 1.0 : 0.0;
    }
    const double strength = u.intensity * gate *
                            Flicker(u.time, u.flickerSpeed, u.flickerAmount, hashes.latticePoint[0],
                                    hashes.latticeValue[0]);

    Bands bands;
    bands.flareOff = strength < 0.001;
    bands.low.resize(size_t{width} * height * 4);
    bands.high.resize(bands.low.size());
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const Vec2 uv{(x + 0.5) / width, (y + 0.5) / height};
            const Vec2 p{uv.x * u.maxUV[0], uv.y * u.maxUV[1]};
            const auto tx = std::min(static_cast<uint32_t>(p.x * input.width), input.width - 1);
            const auto ty = std::min(static_cast<uint32_t>(p.y * input.height), input.height - 1);
            const uint8_t* texel = &input.rgba[(size_t{ty} * input.width + tx) * 4];
            Rgb light{0, 0, 0};
            for (int i = 0; !bands.flareOff && i < std::min(u.numFlares, kMaxFlares); ++i) {
                if (u.flareAlpha[i] < 0.001) {
                    continue;
                }
                const double own = Flicker(u.time + i * 1.37, u.flickerSpeed, u.flickerAmount * 0.3,
                                           hashes.latticePoint[i], hashes.latticeValue[i]);
                const Vec2 centre{u.flarePos[i][0] * u.maxUV[0], u.flarePos[i][1] * u.maxUV[1]};
                light = light +
                        OneFlare(p, centre, strength * u.flareAlpha[i] * own, u, hashes, aspect);
            }
            const double flare[3] = {light.r, light.g, light.b};
            const size_t at = (size_t{y} * width + x) * 4;
            for (int c = 0; c < 3; ++c) {
                const double source = texel[c] / 255.0;
                const double a = bands.flareOff ? source : Blend(source, flare[c] * 0.95);
                const double b = bands.flareOff ? source : Blend(source, flare[c]);
                bands.low[at + c] = std::min(a, b);
                bands.high[at + c] = std::max(a, b);
            }
            bands.low[at + 3] = bands.high[at + 3] = 1.0;
        }
    }
    return bands;
}

}  // namespace flare_model
