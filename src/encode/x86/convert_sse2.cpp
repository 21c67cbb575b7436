// Four pixels at a time with nothing beyond the x86-64 baseline. The steps
// are the plain path's, lane by lane; see frame_converter.cpp.
#include "encode/x86/convert_x86.h"

#if defined(VORLANE_X86_64)
#include <emmintrin.h>

#include "encode/frame_converter.h"

namespace vorlane::x86 {
namespace {

struct Fields {
    __m128i r, g, b, a;  // binary16 bits of four pixels, zero-extended to 32 bits
};

Fields load4(const std::uint8_t* p) {
    const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));       // R0 G0 B0 A0 R1 G1 B1 A1
    const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));  // R2 ... A3
    const __m128i t0 = _mm_unpacklo_epi16(v0, v1);                                  // R0 R2 G0 G2 B0 B2 A0 A2
    const __m128i t1 = _mm_unpackhi_epi16(v0, v1);                                  // R1 R3 G1 G3 B1 B3 A1 A3
    const __m128i rg = _mm_unpacklo_epi16(t0, t1);                                  // R0 R1 R2 R3 G0 G1 G2 G3
    const __m128i ba = _mm_unpackhi_epi16(t0, t1);                                  // B0 ... B3 A0 ... A3
    const __m128i zero = _mm_setzero_si128();
    return {_mm_unpacklo_epi16(rg, zero), _mm_unpackhi_epi16(rg, zero), _mm_unpacklo_epi16(ba, zero),
            _mm_unpackhi_epi16(ba, zero)};
}

__m128i select(__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// binary16 to single precision, exact. Normal values only move their fields
// and rebias the exponent; subnormals are mantissa * 2^-24 as in the plain
// path, so no denormal float is ever formed and a host's DAZ/FTZ setting
// cannot change a result.
__m128 decode(__m128i h) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i sign = _mm_slli_epi32(_mm_and_si128(h, _mm_set1_epi32(0x8000)), 16);
    const __m128i magnitude = _mm_and_si128(h, _mm_set1_epi32(0x7FFF));
    const __m128i exponent = _mm_and_si128(h, _mm_set1_epi32(0x7C00));
    const __m128i rebias = _mm_set1_epi32((127 - 15) << 23);
    __m128i bits = _mm_add_epi32(_mm_slli_epi32(magnitude, 13), rebias);
    // Exponent field 31 must land on 255: rebias once more (infinity, NaN).
    const __m128i special = _mm_cmpeq_epi32(exponent, _mm_set1_epi32(0x7C00));
    bits = _mm_add_epi32(bits, _mm_and_si128(special, rebias));
    const __m128 subnormal = _mm_mul_ps(_mm_cvtepi32_ps(magnitude), _mm_set1_ps(0x1p-24f));
    bits = select(_mm_cmpeq_epi32(exponent, zero), _mm_castps_si128(subnormal), bits);
    return _mm_castsi128_ps(_mm_or_si128(bits, sign));
}

// The plain steps with the clamps moved: min(1, v) first, which changes no
// result (anything from 1 up gives 255.5 and so 255) and keeps the integer
// conversion in range; negatives, -0, -infinity and NaN (which minps passes
// on as its second operand) come out as 0 or less, or as the integer
// indefinite value, and the saturation when packing makes all of them 0.
__m128i quantise(__m128 v) {
    const __m128 limited = _mm_min_ps(_mm_set1_ps(1.0f), v);
    return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(limited, _mm_set1_ps(255.0f)), _mm_set1_ps(0.5f)));
}

// Four words A << 24 | R << 16 | G << 8 | B, saturating each channel to 0 ... 255.
__m128i pack(__m128i r, __m128i g, __m128i b, __m128i a) {
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(b, r), _mm_packs_epi32(g, a));  // B0-3 R0-3 G0-3 A0-3
    const __m128i pairs = _mm_unpacklo_epi8(bytes, _mm_srli_si128(bytes, 8));              // B0 G0 B1 G1 ... R0 A0 ...
    return _mm_unpacklo_epi16(pairs, _mm_srli_si128(pairs, 8));                             // B0 G0 R0 A0 B1 ...
}

template <bool kDivide>
void convert_groups(const std::uint8_t* hf64, std::uint32_t* argb, std::size_t groups) {
    for (std::size_t i = 0; i < groups; ++i) {
        const Fields f = load4(hf64 + 32 * i);
        __m128 r = decode(f.r), g = decode(f.g), b = decode(f.b);
        const __m128 a = decode(f.a);
        if constexpr (kDivide) {
            // Lanes whose alpha is not above 0 (NaN included) compute 1 / 1
            // and multiply by 1, which leaves them as they are and never
            // divides by zero.
            const __m128 one = _mm_set1_ps(1.0f);
            const __m128 positive = _mm_cmpgt_ps(a, _mm_setzero_ps());
            const __m128 divisor = _mm_or_ps(_mm_and_ps(positive, a), _mm_andnot_ps(positive, one));
            const __m128 m = _mm_div_ps(one, divisor);
            r = _mm_mul_ps(r, m);
            g = _mm_mul_ps(g, m);
            b = _mm_mul_ps(b, m);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(argb + 4 * i), pack(quantise(r), quantise(g), quantise(b), quantise(a)));
    }
}

}  // namespace

void convert_sse2(const std::uint8_t* hf64, std::uint32_t* argb, std::size_t pixel_count, bool divide) {
    const std::size_t groups = pixel_count / 4;
    if (divide)
        convert_groups<true>(hf64, argb, groups);
    else
        convert_groups<false>(hf64, argb, groups);
    const std::size_t done = groups * 4;
    FrameConverter::convert_plain(hf64 + 8 * done, argb + done, pixel_count - done, divide);
}

}  // namespace vorlane::x86
#endif
