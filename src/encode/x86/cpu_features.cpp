#include "encode/x86/convert_x86.h"

#if defined(VORLANE_X86_64)
#if defined(_MSC_VER)
#include <intrin.h>
#else
#include <cpuid.h>
#endif

namespace vorlane::x86 {
namespace {

struct Registers {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
};

Registers cpuid(unsigned leaf, unsigned subleaf) {
    Registers r;
#if defined(_MSC_VER)
    int out[4];
    __cpuidex(out, static_cast<int>(leaf), static_cast<int>(subleaf));
    r = {unsigned(out[0]), unsigned(out[1]), unsigned(out[2]), unsigned(out[3])};
#else
    __cpuid_count(leaf, subleaf, r.eax, r.ebx, r.ecx, r.edx);
#endif
    return r;
}

unsigned long long xcr0() {
#if defined(_MSC_VER)
    return _xgetbv(0);
#else
    // Written out so that no function needs the xsave target.
    unsigned lo, hi;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (static_cast<unsigned long long>(hi) << 32) | lo;
#endif
}

}  // namespace

bool cpu_has_avx2_f16c() {
    if (cpuid(0, 0).eax < 7) return false;
    const unsigned ecx = cpuid(1, 0).ecx;
    const bool osxsave = ((ecx >> 27) & 1) != 0, avx = ((ecx >> 28) & 1) != 0, f16c = ((ecx >> 29) & 1) != 0;
    if (!osxsave || !avx || !f16c) return false;
    // The CPU may have AVX while the OS does not save YMM state across switches.
    if ((xcr0() & 0x6) != 0x6) return false;
    return ((cpuid(7, 0).ebx >> 5) & 1) != 0;
}

}  // namespace vorlane::x86
#endif
