// Eight pixels at a time with AVX2 and F16C, compiled for those instructions
// function by function and run only when CPUID reports them. The steps are
// the plain path's, lane by lane; see frame_converter.cpp and the SSE2 loop.
#include "encode/x86/convert_x86.h"

#if defined(VORLANE_X86_64)
#include <immintrin.h>

#include "encode/frame_converter.h"

namespace vorlane::x86 {
namespace {

struct Fields {
    __m128i r, g, b, a;  // binary16 bits of eight pixels
};

VORLANE_TARGET_AVX2_F16C inline Fields load8(const std::uint8_t* p) {
    const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));  // R0 G0 B0 A0 R1 G1 B1 A1
    const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
    const __m128i v3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48));
    const __m128i t0 = _mm_unpacklo_epi16(v0, v1);  // R0 R2 G0 G2 B0 B2 A0 A2
    const __m128i t1 = _mm_unpackhi_epi16(v0, v1);  // R1 R3 G1 G3 B1 B3 A1 A3
    const __m128i t2 = _mm_unpacklo_epi16(v2, v3);  // R4 R6 ...
    const __m128i t3 = _mm_unpackhi_epi16(v2, v3);  // R5 R7 ...
    const __m128i rg0 = _mm_unpacklo_epi16(t0, t1);  // R0 R1 R2 R3 G0 G1 G2 G3
    const __m128i ba0 = _mm_unpackhi_epi16(t0, t1);  // B0 ... B3 A0 ... A3
    const __m128i rg1 = _mm_unpacklo_epi16(t2, t3);  // R4 ... R7 G4 ... G7
    const __m128i ba1 = _mm_unpackhi_epi16(t2, t3);
    return {_mm_unpacklo_epi64(rg0, rg1), _mm_unpackhi_epi64(rg0, rg1), _mm_unpacklo_epi64(ba0, ba1),
            _mm_unpackhi_epi64(ba0, ba1)};
}

VORLANE_TARGET_AVX2_F16C inline __m256i quantise(__m256 v) {
    // maxps returns its second operand when either is NaN: v > 0 ? v : 0.
    const __m256 clamped = _mm256_max_ps(v, _mm256_setzero_ps());
    const __m256 scaled = _mm256_add_ps(_mm256_mul_ps(clamped, _mm256_set1_ps(255.0f)), _mm256_set1_ps(0.5f));
    // Clamp before truncating (scaled is never NaN): 255 when scaled >= 255.
    return _mm256_cvttps_epi32(_mm256_min_ps(scaled, _mm256_set1_ps(255.0f)));
}

template <bool kDivide>
VORLANE_TARGET_AVX2_F16C void convert_groups(const std::uint8_t* hf64, std::uint32_t* argb, std::size_t groups) {
    for (std::size_t i = 0; i < groups; ++i) {
        const Fields f = load8(hf64 + 64 * i);
        // vcvtph2ps is exact for every binary16 value, subnormals included,
        // whatever MXCSR says; NaN stays NaN.
        __m256 r = _mm256_cvtph_ps(f.r), g = _mm256_cvtph_ps(f.g), b = _mm256_cvtph_ps(f.b);
        const __m256 a = _mm256_cvtph_ps(f.a);
        if constexpr (kDivide) {
            // Lanes whose alpha is not above 0 (NaN included) compute 1 / 1
            // and multiply by 1: unchanged, and never a division by zero.
            const __m256 one = _mm256_set1_ps(1.0f);
            const __m256 positive = _mm256_cmp_ps(a, _mm256_setzero_ps(), _CMP_GT_OQ);
            const __m256 m = _mm256_div_ps(one, _mm256_blendv_ps(one, a, positive));
            r = _mm256_mul_ps(r, m);
            g = _mm256_mul_ps(g, m);
            b = _mm256_mul_ps(b, m);
        }
        const __m256i word = _mm256_or_si256(
            _mm256_or_si256(_mm256_slli_epi32(quantise(a), 24), _mm256_slli_epi32(quantise(r), 16)),
            _mm256_or_si256(_mm256_slli_epi32(quantise(g), 8), quantise(b)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(argb + 8 * i), word);
    }
}

}  // namespace

VORLANE_TARGET_AVX2_F16C void convert_avx2(const std::uint8_t* hf64, std::uint32_t* argb, std::size_t pixel_count,
                                           bool divide) {
    const std::size_t groups = pixel_count / 8;
    if (divide)
        convert_groups<true>(hf64, argb, groups);
    else
        convert_groups<false>(hf64, argb, groups);
    const std::size_t done = groups * 8;
    FrameConverter::convert_plain(hf64 + 8 * done, argb + done, pixel_count - done, divide);
}

}  // namespace vorlane::x86
#endif
