#pragma once
// The conversion's words are defined under round-to-nearest with every
// floating-point exception masked. The host's thread may run in another mode
// (another rounding would change pixels; an unmasked invalid operation would
// trap on a NaN pixel and take the host down), so each conversion runs in
// the default mode and hands the thread its own back afterwards.
#include <cstdint>

#include "encode/x86/convert_x86.h"

#if !defined(VORLANE_X86_64)
#include <cfenv>
#endif

namespace vorlane {

class DefaultFloatEnvironment {
public:
    DefaultFloatEnvironment() noexcept;
    ~DefaultFloatEnvironment();
    DefaultFloatEnvironment(const DefaultFloatEnvironment&) = delete;
    DefaultFloatEnvironment& operator=(const DefaultFloatEnvironment&) = delete;

private:
#if defined(VORLANE_X86_64)
    std::uint32_t saved_mxcsr_;  // every path computes in SSE registers
#else
    std::fenv_t saved_;
#endif
};

}  // namespace vorlane
