// Eight pixels at a time with AVX2 and F16C, compiled for those instructions
// function by function and run only when CPUID reports them. The steps are
// the plain path's, lane by lane; see frame_converter.cpp and the SSE2 loop.
#include "encode/x86/convert_x86.h"

#if defined(VORLANE_X86_64)
#include <immintrin.h>

#include "encode/frame_converter.h"

namespace vorlane::x86 {
// A namespace of their own tells these functions, and only these, apart in
// the module's listing (check_avx_confined.py), inlined or not.
namespace avx2 {
namespace {

struct Channels {
    __m256 r, g, b, a;  // pixels 0 2 4 6 | 1 3 5 7 of a group of eight
};

VORLANE_TARGET_AVX2_F16C inline __m256 low(__m256 x, __m256 y) {
    return _mm256_castpd_ps(_mm256_unpacklo_pd(_mm256_castps_pd(x), _mm256_castps_pd(y)));
}

VORLANE_TARGET_AVX2_F16C inline __m256 high(__m256 x, __m256 y) {
    return _mm256_castpd_ps(_mm256_unpackhi_pd(_mm256_castps_pd(x), _mm256_castps_pd(y)));
}

// vcvtph2ps is exact for every binary16 value, subnormals included, whatever
// MXCSR says, and NaN stays NaN. It reads two whole pixels straight from
// memory, one per 128-bit lane; a transpose within the lanes then gives one
// channel per register, in the pixel order above.
VORLANE_TARGET_AVX2_F16C inline Channels load8(const std::uint8_t* p) {
    const __m256 p01 = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    const __m256 p23 = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)));
    const __m256 p45 = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32)));
    const __m256 p67 = _mm256_cvtph_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48)));
    const __m256 rg02 = _mm256_unpacklo_ps(p01, p23);  // R0 R2 G0 G2 | R1 R3 G1 G3
    const __m256 ba02 = _mm256_unpackhi_ps(p01, p23);
    const __m256 rg46 = _mm256_unpacklo_ps(p45, p67);
    const __m256 ba46 = _mm256_unpackhi_ps(p45, p67);
    return {low(rg02, rg46), high(rg02, rg46), low(ba02, ba46), high(ba02, ba46)};
}

// The plain steps with the clamps moved: min(1, v) first, which changes no
// result (anything from 1 up gives 255.5 and so 255) and keeps the integer
// conversion in range; negatives, -0, -infinity and NaN (which minps passes
// on as its second operand) come out as 0 or less, or as the integer
// indefinite value, and the unsigned saturation when packing makes all of
// them 0. So this is max(0, v), clamp and truncate, as in the plain path.
VORLANE_TARGET_AVX2_F16C inline __m256i quantise(__m256 v) {
    const __m256 limited = _mm256_min_ps(_mm256_set1_ps(1.0f), v);
    return _mm256_cvttps_epi32(_mm256_add_ps(_mm256_mul_ps(limited, _mm256_set1_ps(255.0f)), _mm256_set1_ps(0.5f)));
}

// Eight words A << 24 | R << 16 | G << 8 | B, saturating each channel to 0 ... 255.
VORLANE_TARGET_AVX2_F16C inline __m256i pack(__m256i r, __m256i g, __m256i b, __m256i a) {
    const __m256i bytes = _mm256_packus_epi16(_mm256_packus_epi32(b, r), _mm256_packus_epi32(g, a));
    // Per lane, B0-3 R0-3 G0-3 A0-3 becomes B0 G0 R0 A0 B1 ...
    const __m256i interleave = _mm256_setr_epi8(0, 8, 4, 12, 1, 9, 5, 13, 2, 10, 6, 14, 3, 11, 7, 15,  //
                                                0, 8, 4, 12, 1, 9, 5, 13, 2, 10, 6, 14, 3, 11, 7, 15);
    // ... and pixels 0 2 4 6 | 1 3 5 7 go back into order.
    return _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(bytes, interleave), _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

template <bool kDivide>
VORLANE_TARGET_AVX2_F16C void convert_groups(const std::uint8_t* hf64, std::uint32_t* argb, std::size_t groups) {
    for (std::size_t i = 0; i < groups; ++i) {
        const Channels c = load8(hf64 + 64 * i);
        __m256 r = c.r, g = c.g, b = c.b;
        const __m256 a = c.a;
        if constexpr (kDivide) {
            // Lanes whose alpha is not above 0 (NaN included) compute 1 / 1
            // and multiply by 1: unchanged, and never a division by zero.
            const __m256 one = _mm256_set1_ps(1.0f);
            const __m256 positive = _mm256_cmp_ps(a, _mm256_setzero_ps(), _CMP_GT_OQ);
            // Transparent and opaque pixels, most of a typical overlay, have
            // nothing to divide (1 / 1 multiplies by exactly 1): skip the
            // division when all eight are such.
            const __m256 partial = _mm256_andnot_ps(_mm256_cmp_ps(a, one, _CMP_EQ_OQ), positive);
            if (_mm256_movemask_ps(partial) != 0) {
                const __m256 m = _mm256_div_ps(one, _mm256_blendv_ps(one, a, positive));
                r = _mm256_mul_ps(r, m);
                g = _mm256_mul_ps(g, m);
                b = _mm256_mul_ps(b, m);
            }
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(argb + 8 * i),
                            pack(quantise(r), quantise(g), quantise(b), quantise(a)));
    }
}

}  // namespace
}  // namespace avx2

VORLANE_TARGET_AVX2_F16C void convert_avx2(const std::uint8_t* hf64, std::uint32_t* argb, std::size_t pixel_count,
                                           bool divide) {
    const std::size_t groups = pixel_count / 8;
    if (divide)
        avx2::convert_groups<true>(hf64, argb, groups);
    else
        avx2::convert_groups<false>(hf64, argb, groups);
    const std::size_t done = groups * 8;
    FrameConverter::convert_plain(hf64 + 8 * done, argb + done, pixel_count - done, divide);
}

}  // namespace vorlane::x86
#endif
