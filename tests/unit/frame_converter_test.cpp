#include "encode/frame_converter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "half.h"

namespace vorlane {
namespace {

constexpr std::uint16_t kZero = 0x0000, kQuarter = 0x3400, kHalf = 0x3800, kOne = 0x3C00, kTwo = 0x4000;
constexpr std::uint16_t kOneAndHalf = 0x3E00, kMinusQuarter = 0xB400, kInf = 0x7C00, kNaN = 0x7E00;

std::uint32_t px(std::uint16_t r, std::uint16_t g, std::uint16_t b, std::uint16_t a, bool divide) {
    return FrameConverter::convert_pixel(r, g, b, a, divide);
}

TEST(FrameConverter, WorkedPixels) {
    EXPECT_EQ(px(kQuarter, kHalf, kZero, kHalf, true), 0x8080FF00u);   // A 128, R 128, G 255, B 0
    EXPECT_EQ(px(kQuarter, kHalf, kZero, kZero, true), 0x00408000u);   // A = 0: nothing divided
    EXPECT_EQ(px(kQuarter, kHalf, kZero, kHalf, false), 0x80408000u);  // divide off
    EXPECT_EQ(px(kOneAndHalf, kMinusQuarter, kInf, kOne, false), 0xFFFF00FFu);
    EXPECT_EQ(px(kNaN, kZero, kZero, kOne, false), 0xFF000000u);
    EXPECT_EQ(px(kOne, kHalf, kZero, kTwo, true), 0xFF804000u);  // alpha above 1 still divides
    EXPECT_EQ(px(kOne, kOne, kOne, kInf, true), 0xFF000000u);    // 1 / inf = 0
    // R times the single-precision reciprocal of A is 0.49999997: 127, not 128.
    EXPECT_EQ(px(0x3520, kZero, kZero, 0x3920, true), 0xA37F0000u);
    EXPECT_EQ(FrameConverter::decode_binary16(0x3520), 0.3203125f);
    EXPECT_EQ(FrameConverter::decode_binary16(0x3920), 0.640625f);
    EXPECT_EQ(px(kZero, kZero, host::half_from_float(1.0f / 255.0f), kZero, false), 0x00000001u);
}

TEST(FrameConverter, NonPositiveAndNaNAlphaNeverDivide) {
    for (std::uint16_t a : {std::uint16_t(0x8000), kMinusQuarter, kNaN, std::uint16_t(0xFC00)})
        EXPECT_EQ(px(kQuarter, kHalf, kOne, a, true), px(kQuarter, kHalf, kOne, a, false)) << std::hex << a;
}

TEST(FrameConverter, OpaqueRedIsStoredAsBGRA) {
    const std::uint16_t in[4] = {kOne, kZero, kZero, kOne};
    std::uint8_t bytes[8];
    std::memcpy(bytes, in, 8);
    std::uint32_t word = 0;
    FrameConverter::convert(bytes, &word, 1, true);
    EXPECT_EQ(word, 0xFFFF0000u);
    std::uint8_t stored[4];
    std::memcpy(stored, &word, 4);
    EXPECT_EQ((std::vector<std::uint8_t>(stored, stored + 4)), (std::vector<std::uint8_t>{0x00, 0x00, 0xFF, 0xFF}));
}

// An independent decoder: builds the float's bits instead of scaling.
float reference_decode(std::uint16_t h) {
    std::uint32_t sign = std::uint32_t(h & 0x8000u) << 16;
    std::uint32_t exponent = (h >> 10) & 0x1Fu;
    std::uint32_t mantissa = h & 0x3FFu;
    std::uint32_t bits;
    if (exponent == 31) {
        bits = sign | 0x7F800000u | (mantissa << 13);
    } else if (exponent == 0) {
        if (mantissa == 0) {
            bits = sign;
        } else {
            int e = -1;
            do {
                ++e;
                mantissa <<= 1;
            } while ((mantissa & 0x400u) == 0);
            bits = sign | std::uint32_t(127 - 15 - e) << 23 | (mantissa & 0x3FFu) << 13;
        }
    } else {
        bits = sign | (exponent + 112) << 23 | mantissa << 13;
    }
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

std::uint32_t reference_quantise(float v) {
    if (!(v > 0.0f)) return 0;
    volatile float scaled = v * 255.0f;  // volatile: two roundings, as defined
    const float x = scaled + 0.5f;
    return x >= 255.0f ? 255u : static_cast<std::uint32_t>(x);
}

std::uint32_t reference_pixel(std::uint16_t r16, std::uint16_t g16, std::uint16_t b16, std::uint16_t a16,
                              bool divide) {
    float r = reference_decode(r16), g = reference_decode(g16), b = reference_decode(b16);
    const float a = reference_decode(a16);
    if (divide && a > 0.0f) {
        volatile float m = 1.0f / a;
        r = r * m;
        g = g * m;
        b = b * m;
    }
    return reference_quantise(a) << 24 | reference_quantise(r) << 16 | reference_quantise(g) << 8 |
           reference_quantise(b);
}

TEST(FrameConverter, DecodesEveryBinary16Exactly) {
    for (std::uint32_t h = 0; h < 0x10000; ++h) {
        const float ours = FrameConverter::decode_binary16(std::uint16_t(h));
        const float ref = reference_decode(std::uint16_t(h));
        if (ref != ref) {
            EXPECT_NE(ours, ours) << std::hex << h;
        } else {
            ASSERT_EQ(std::memcmp(&ours, &ref, 4), 0) << std::hex << h;
        }
    }
}

TEST(FrameConverter, EveryBinary16AsColourAgainstSpreadOfAlphas) {
    const std::uint16_t alphas[] = {0x0000, 0x8000, 0x0001, 0x03FF, host::half_from_float(1.0f / 255.0f), kHalf,
                                    0x3920, kOne, kTwo, kInf, kNaN, kMinusQuarter, 0xFC00};
    for (bool divide : {false, true}) {
        for (std::uint16_t a : alphas) {
            for (std::uint32_t h = 0; h < 0x10000; ++h) {
                const auto c = std::uint16_t(h);
                // The value in each colour position, the others fixed and distinct.
                ASSERT_EQ(px(c, kQuarter, kZero, a, divide), reference_pixel(c, kQuarter, kZero, a, divide))
                    << std::hex << h << " a=" << a << " divide=" << divide;
                ASSERT_EQ(px(kZero, c, kHalf, a, divide), reference_pixel(kZero, c, kHalf, a, divide));
                ASSERT_EQ(px(kOne, kZero, c, a, divide), reference_pixel(kOne, kZero, c, a, divide));
            }
        }
    }
}

TEST(FrameConverter, EveryBinary16AsAlpha) {
    for (std::uint32_t h = 0; h < 0x10000; ++h) {
        const auto a = std::uint16_t(h);
        ASSERT_EQ(px(kQuarter, 0x3520, kOne, a, true), reference_pixel(kQuarter, 0x3520, kOne, a, true)) << h;
        ASSERT_EQ(px(kQuarter, 0x3520, kOne, a, false), reference_pixel(kQuarter, 0x3520, kOne, a, false)) << h;
    }
}

}  // namespace
}  // namespace vorlane
