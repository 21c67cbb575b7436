#pragma once
// The x86-64 conversion loops. Each handles whole groups of pixels with
// vector code and hands the remainder to the plain path.
#include <cstddef>
#include <cstdint>

#if (defined(__x86_64__) || defined(_M_X64)) && !defined(_M_ARM64EC)
#define VORLANE_X86_64 1
#endif

// AVX2 code is enabled per function, not for the whole build, so that the
// module still loads and runs on x86-64 CPUs without it. MSVC allows the
// intrinsics without any flag.
#if defined(__GNUC__) || defined(__clang__)
#define VORLANE_TARGET_AVX2_F16C __attribute__((target("avx2,f16c")))
#else
#define VORLANE_TARGET_AVX2_F16C
#endif

#if defined(VORLANE_X86_64)
namespace vorlane::x86 {

// AVX2, F16C, and an OS that saves the YMM registers.
bool cpu_has_avx2_f16c();

void convert_sse2(const std::uint8_t* hf64, std::uint32_t* argb, std::size_t pixel_count, bool divide);
void convert_avx2(const std::uint8_t* hf64, std::uint32_t* argb, std::size_t pixel_count, bool divide);

}  // namespace vorlane::x86
#endif
