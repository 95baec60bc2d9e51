#pragma once
// Photograph-like pictures made here for the decode benchmarks, so that no
// picture is downloaded: a sky-to-ground scene lit from one side, with
// soft-edged shapes of their own shading, fractal texture (stronger on the
// ground), thin dark strokes and a little sensor noise. The same seed always
// gives the same picture.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace benchpictures {

// Interleaved red, green, blue, top row first.
struct Rgb {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
};

namespace detail {

struct Random {
    uint32_t s;
    uint32_t Next() { return s = s * 1664525u + 1013904223u; }
    double Unit() { return (Next() >> 8) * (1.0 / 16777216.0); }  // 0 .. 1
};

// Smooth noise of about one cycle per `spacing` pixels, -1 .. 1, summed over
// octaves down to `finest` pixels with falling amplitudes; one value a pixel.
std::vector<float> Fractal(int w, int h, int spacing, int finest, Random& rng) {
    std::vector<float> out(size_t(w) * h, 0.0f);
    float amplitude = 1.0f, total = 0.0f;
    for (int s = spacing; s >= finest; s /= 2, amplitude *= 0.6f) {
        const int gw = w / s + 2, gh = h / s + 2;
        std::vector<float> grid(size_t(gw) * gh);
        for (float& g : grid) g = float(rng.Unit() * 2 - 1);
        for (int y = 0; y < h; ++y) {
            const int gy = y / s;
            float fy = float(y - gy * s) / s;
            fy = fy * fy * (3 - 2 * fy);
            const float* r0 = &grid[size_t(gy) * gw];
            const float* r1 = r0 + gw;
            float* o = &out[size_t(y) * w];
            for (int x = 0; x < w; ++x) {
                const int gx = x / s;
                float fx = float(x - gx * s) / s;
                fx = fx * fx * (3 - 2 * fx);
                const float top = r0[gx] + (r0[gx + 1] - r0[gx]) * fx;
                const float bottom = r1[gx] + (r1[gx + 1] - r1[gx]) * fx;
                o[x] += amplitude * (top + (bottom - top) * fy);
            }
        }
        total += amplitude;
    }
    for (float& v : out) v /= total;
    return out;
}

// Ellipses with an anti-aliased rim, their own colour, a shading ramp
// across them and some of the fine texture.
inline void AddShapes(int w, int h, Random& rng, double texture, const std::vector<float>& fine,
                      const std::vector<float>& speckle, std::vector<float>& r, std::vector<float>& g,
                      std::vector<float>& b) {
    const int shapes = 40;
    for (int k = 0; k < shapes; ++k) {
        const double cx = rng.Unit() * w, cy = (0.25 + 0.75 * rng.Unit()) * h;
        const double rx = (0.02 + 0.12 * rng.Unit()) * w, ry = (0.02 + 0.15 * rng.Unit()) * h;
        const double col[3] = {255 * rng.Unit(), 255 * rng.Unit(), 255 * rng.Unit()};
        const double slope = rng.Unit() * 2 - 1;
        const int x0 = std::max(0, int(cx - rx - 2)), x1 = std::min(w - 1, int(cx + rx + 2));
        const int y0 = std::max(0, int(cy - ry - 2)), y1 = std::min(h - 1, int(cy + ry + 2));
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                const double dx = (x - cx) / rx, dy = (y - cy) / ry;
                const double d = std::sqrt(dx * dx + dy * dy);
                // Coverage from the distance to the rim in pixels.
                const double cover = std::clamp((1 - d) * std::min(rx, ry) + 0.5, 0.0, 1.0);
                if (cover <= 0) continue;
                const size_t i = size_t(y) * w + x;
                const double shade =
                    (0.8 + 0.3 * slope * dx - 0.25 * dy) * (1 + texture * (0.3 * fine[i] + 0.25 * speckle[i]));
                r[i] = float(r[i] + cover * (col[0] * shade - r[i]));
                g[i] = float(g[i] + cover * (col[1] * shade - g[i]));
                b[i] = float(b[i] + cover * (col[2] * shade - b[i]));
            }
    }
}

// Thin dark strokes (wires, branches), anti-aliased across their width.
inline void AddStrokes(int w, int h, Random& rng, std::vector<float>& r, std::vector<float>& g, std::vector<float>& b) {
    for (int k = 0; k < 25; ++k) {
        const double x0 = rng.Unit() * w, y0 = rng.Unit() * h, angle = rng.Unit() * 3.14159265;
        const double len = (0.1 + 0.4 * rng.Unit()) * w, width = 1 + 2.5 * rng.Unit();
        const double ux = std::cos(angle), uy = std::sin(angle);
        for (double s = 0; s < len; s += 0.5) {
            const double px = x0 + ux * s, py = y0 + uy * s;
            for (int oy = -3; oy <= 3; ++oy)
                for (int ox = -3; ox <= 3; ++ox) {
                    const int x = int(px) + ox, y = int(py) + oy;
                    if (x < 0 || y < 0 || x >= w || y >= h) continue;
                    const double across = std::fabs((x - px) * -uy + (y - py) * ux);
                    const double cover = std::clamp(width / 2 - across + 0.5, 0.0, 1.0) * 0.9;
                    const size_t i = size_t(y) * w + x;
                    r[i] = float(std::min<double>(r[i], r[i] * (1 - cover) + 25 * cover));
                    g[i] = float(std::min<double>(g[i], g[i] * (1 - cover) + 22 * cover));
                    b[i] = float(std::min<double>(b[i], b[i] * (1 - cover) + 20 * cover));
                }
        }
    }
}

inline uint8_t Byte(double v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v + 0.5); }

}  // namespace detail

// A w x h scene; `texture` (0 .. 1) sets how busy its surfaces are, `grain`
// the finest scale of their texture in pixels (2 .. 32), `noise` the sensor
// noise in levels.
inline Rgb PhotoLike(int w, int h, uint32_t seed, double texture, int grain, double noise) {
    detail::Random rng{seed * 2654435761u + 1};
    const std::vector<float> broad = detail::Fractal(w, h, 256, 16, rng);
    const std::vector<float> fine = detail::Fractal(w, h, 32, grain, rng);
    // Texture at the finest scales alone: grass, foliage, fabric.
    const std::vector<float> speckle = detail::Fractal(w, h, std::max(grain, 4), grain, rng);
    std::vector<float> r(size_t(w) * h), g(r.size()), b(r.size());
    const double horizon = 0.35 + 0.2 * rng.Unit();
    const double sky[3] = {120 + 60 * rng.Unit(), 160 + 50 * rng.Unit(), 210 + 40 * rng.Unit()};
    const double ground[3] = {70 + 60 * rng.Unit(), 80 + 50 * rng.Unit(), 40 + 40 * rng.Unit()};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const size_t i = size_t(y) * w + x;
            const double fy = double(y) / h, fx = double(x) / w;
            // The horizon line wanders with the broad noise.
            const double edge = horizon + 0.05 * broad[i];
            const double t = std::clamp((fy - edge) * 40 + 0.5, 0.0, 1.0);
            const double light = 0.75 + 0.35 * (1 - fx) - 0.2 * fy;
            const double surface =
                1 + texture * (0.15 * (1 - t) * broad[i] + t * (0.45 * fine[i] + 0.2 * broad[i] + 0.5 * speckle[i]));
            const double skyShade = 1.15 - 0.5 * fy;
            r[i] = float(((1 - t) * sky[0] * skyShade + t * ground[0] * light) * surface);
            g[i] = float(((1 - t) * sky[1] * skyShade + t * ground[1] * light) * surface);
            b[i] = float(((1 - t) * sky[2] * skyShade + t * ground[2] * light) * surface);
        }
    detail::AddShapes(w, h, rng, texture, fine, speckle, r, g, b);
    detail::AddStrokes(w, h, rng, r, g, b);
    Rgb out;
    out.width = w;
    out.height = h;
    out.pixels.resize(size_t(w) * h * 3);
    for (size_t i = 0; i < r.size(); ++i) {
        // Sensor noise, independent per channel.
        const double n0 = (rng.Unit() + rng.Unit() - 1) * noise, n1 = (rng.Unit() + rng.Unit() - 1) * noise,
                     n2 = (rng.Unit() + rng.Unit() - 1) * noise;
        out.pixels[3 * i] = detail::Byte(r[i] + n0);
        out.pixels[3 * i + 1] = detail::Byte(g[i] + n1);
        out.pixels[3 * i + 2] = detail::Byte(b[i] + n2);
    }
    return out;
}

// Binary PPM; false when it cannot be written whole.
inline bool WritePpm(const std::string& path, const Rgb& p) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fprintf(f, "P6\n%d %d\n255\n", p.width, p.height);
    const bool ok = std::fwrite(p.pixels.data(), 1, p.pixels.size(), f) == p.pixels.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace benchpictures
