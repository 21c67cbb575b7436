#include "encode/frame_converter.h"

#include <array>
#include <cmath>
#include <limits>

namespace vorlane {
namespace {

// Scale per exponent field: 2^-24 for subnormals, 2^(e - 25) for e = 1 ... 30,
// so that (mantissa + 1024) * scale is the exact value.
const std::array<float, 31> kScale = [] {
    std::array<float, 31> table{};
    table[0] = std::ldexp(1.0f, -24);
    for (int e = 1; e <= 30; ++e) table[e] = std::ldexp(1.0f, e - 25);
    return table;
}();

}  // namespace

float FrameConverter::decode_binary16(std::uint16_t bits) {
    const bool negative = (bits & 0x8000u) != 0;
    const unsigned exponent = (bits >> 10) & 0x1Fu;
    const unsigned mantissa = bits & 0x3FFu;
    float magnitude;
    if (exponent == 0) {
        magnitude = static_cast<float>(mantissa) * kScale[0];
    } else if (exponent == 31) {
        magnitude = mantissa == 0 ? std::numeric_limits<float>::infinity() : std::numeric_limits<float>::quiet_NaN();
    } else {
        magnitude = static_cast<float>(mantissa + 1024) * kScale[exponent];
    }
    return negative ? -magnitude : magnitude;
}

std::uint32_t FrameConverter::quantise(float v) {
    // max(0, v) written so that NaN falls to 0 as well.
    const float clamped = v > 0.0f ? v : 0.0f;
    const float scaled = clamped * 255.0f + 0.5f;
    // Clamp before truncating: converting +infinity or anything past the
    // integer range to an integer is undefined.
    if (scaled >= 255.0f) return 255;
    return static_cast<std::uint32_t>(scaled);
}

std::uint32_t FrameConverter::convert_pixel(std::uint16_t r16, std::uint16_t g16, std::uint16_t b16,
                                            std::uint16_t a16, bool divide) {
    float r = decode_binary16(r16);
    float g = decode_binary16(g16);
    float b = decode_binary16(b16);
    const float a = decode_binary16(a16);
    if (divide && a > 0.0f) {
        // One real division per pixel, then three multiplies: this, not
        // r / a, is the conversion's definition.
        const float m = 1.0f / a;
        r *= m;
        g *= m;
        b *= m;
    }
    return quantise(a) << 24 | quantise(r) << 16 | quantise(g) << 8 | quantise(b);
}

void FrameConverter::convert_plain(const std::uint8_t* hf64, std::uint32_t* argb, std::size_t pixel_count,
                                   bool divide) {
    const auto word = [](const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); };
    for (std::size_t i = 0; i < pixel_count; ++i) {
        const std::uint8_t* p = hf64 + 8 * i;
        argb[i] = convert_pixel(word(p), word(p + 2), word(p + 4), word(p + 6), divide);
    }
}

}  // namespace vorlane
