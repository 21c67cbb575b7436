#include "demo_animation.h"

#include <algorithm>
#include <cmath>

#include "half.h"

namespace vorlane::host {
namespace {

constexpr float kPi = 3.14159265f;

struct Rgba {
    float r, g, b, a;
};

// Premultiplied "over": the host's pixels carry colour multiplied by alpha,
// which is why dividing by alpha matters on the soft edges.
void over(Rgba& dst, Rgba src) {
    const float k = 1.0f - src.a;
    dst = {src.r + dst.r * k, src.g + dst.g * k, src.b + dst.b * k, src.a + dst.a * k};
}

float smooth_edge(float distance, float softness) {
    return std::clamp(0.5f - distance / softness, 0.0f, 1.0f);
}

void render_shapes(std::int32_t width, std::int32_t height, std::int32_t index, std::int32_t frame_count,
                   std::vector<std::uint16_t>& out) {
    // Every motion is periodic over the frame count, so that the last frame
    // leads into the first as any frame leads into the next: looped, the
    // animation shows no jump.
    const float t = frame_count > 0 ? float(index) / float(frame_count) : 0.0f;
    const float w = float(width), h = float(height);
    const float scale = std::min(w, h);
    // A disc that swings from side to side and bobs; a turning square; a band.
    const float disc_x = w * (0.5f - 0.35f * std::cos(2 * kPi * t));
    const float disc_y = h * (0.5f + 0.25f * std::sin(4 * kPi * t));
    const float disc_r = 0.22f * scale;
    const float sq_x = w * 0.7f, sq_y = h * 0.3f, sq_half = 0.15f * scale;
    const float angle = 2 * kPi * t;
    const float ca = std::cos(angle), sa = std::sin(angle);

    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const float px = float(x) + 0.5f, py = float(y) + 0.5f;
            Rgba c{0, 0, 0, 0};

            // Band across the bottom: hue gradient with an alpha ramp.
            const float band = smooth_edge(std::fabs(py - h * 0.85f) - 0.08f * h, 0.04f * h);
            if (band > 0) {
                const float u = px / w;
                const float a = band * (0.2f + 0.8f * u);
                over(c, {a * u, a * (1 - u), a * 0.5f, a});
            }

            // Turning square, half transparent.
            const float rx = (px - sq_x) * ca + (py - sq_y) * sa, ry = -(px - sq_x) * sa + (py - sq_y) * ca;
            const float sq = smooth_edge(std::max(std::fabs(rx), std::fabs(ry)) - sq_half, 2.0f) * 0.5f;
            if (sq > 0) over(c, {sq * 0.1f, sq * 0.4f, sq * 0.95f, sq});

            // Disc with a soft rim and a highlight brighter than 1.
            const float d = std::hypot(px - disc_x, py - disc_y);
            const float disc = smooth_edge(d - disc_r, 0.3f * disc_r);
            if (disc > 0) {
                const float glow = 1.0f + 0.6f * std::max(0.0f, 1.0f - d / (0.4f * disc_r));
                over(c, {disc * 0.95f * glow, disc * 0.55f * glow, disc * 0.1f, disc});
            }

            std::uint16_t* p = &out[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * 4];
            p[0] = half_from_float(c.r);
            p[1] = half_from_float(c.g);
            p[2] = half_from_float(c.b);
            p[3] = half_from_float(c.a);
        }
    }
}

void render_noise(std::int32_t width, std::int32_t height, std::int32_t index, std::vector<std::uint16_t>& out) {
    std::uint32_t state = 0x9E3779B9u ^ std::uint32_t(index) * 0x85EBCA6Bu;
    for (std::uint16_t& v : out) {
        state = state * 1664525u + 1013904223u;
        v = half_from_float(float(state >> 8) / float(1u << 24));
    }
    (void)width;
    (void)height;
}

}  // namespace

void render_demo_frame(DemoContent content, std::int32_t width, std::int32_t height, std::int32_t index,
                       std::int32_t frame_count, std::vector<std::uint16_t>& out) {
    out.assign(std::size_t(std::max(width, 0)) * std::size_t(std::max(height, 0)) * 4, 0);
    if (content == DemoContent::Noise)
        render_noise(width, height, index, out);
    else
        render_shapes(width, height, index, frame_count, out);
}

}  // namespace vorlane::host
