#include "encode/float_environment.h"

#if defined(VORLANE_X86_64)
#include <xmmintrin.h>

namespace vorlane {

namespace {
// Round to nearest, all six exceptions masked, no flags, no flushing: the
// power-on value of MXCSR.
constexpr std::uint32_t kDefaultMxcsr = 0x1F80;
}  // namespace

DefaultFloatEnvironment::DefaultFloatEnvironment() noexcept : saved_mxcsr_(_mm_getcsr()) {
    _mm_setcsr(kDefaultMxcsr);
}

// The flags our own steps raised (inexact, invalid on NaN) are not the
// host's, so its register comes back exactly as it was.
DefaultFloatEnvironment::~DefaultFloatEnvironment() {
    _mm_setcsr(saved_mxcsr_);
}

}  // namespace vorlane

#else

namespace vorlane {

// Saves the environment, clears the flags and masks every exception.
DefaultFloatEnvironment::DefaultFloatEnvironment() noexcept {
    std::feholdexcept(&saved_);
    std::fesetround(FE_TONEAREST);
}

DefaultFloatEnvironment::~DefaultFloatEnvironment() {
    std::fesetenv(&saved_);
}

}  // namespace vorlane

#endif
