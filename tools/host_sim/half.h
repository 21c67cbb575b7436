#pragma once
// float -> binary16, rounding to nearest even: what a host does when it hands
// out "HF64" frames.
#include <cstdint>
#include <cstring>

namespace vorlane::host {

inline std::uint16_t half_from_float(float value) {
    std::uint32_t f;
    std::memcpy(&f, &value, 4);
    const std::uint32_t sign = (f >> 16) & 0x8000u;
    const std::uint32_t abs = f & 0x7FFFFFFFu;
    if (abs >= 0x7F800000u) return static_cast<std::uint16_t>(sign | 0x7C00u | (abs > 0x7F800000u ? 0x200u : 0u));
    if (abs >= 0x477FF000u) return static_cast<std::uint16_t>(sign | 0x7C00u);  // rounds past 65504
    if (abs < 0x38800000u) {
        // Subnormal or zero: shift the implicit-one mantissa into place, round half to even.
        if (abs < 0x33000000u) return static_cast<std::uint16_t>(sign);
        const std::uint32_t exponent = abs >> 23;
        const std::uint32_t mantissa = (abs & 0x7FFFFFu) | 0x800000u;
        // value = mantissa * 2^(exponent - 150), and one subnormal step is 2^-24.
        const std::uint32_t total_shift = 126 - exponent;
        std::uint32_t h = mantissa >> total_shift;
        const std::uint32_t rest = mantissa & ((1u << total_shift) - 1);
        const std::uint32_t half = 1u << (total_shift - 1);
        if (rest > half || (rest == half && (h & 1u))) ++h;
        return static_cast<std::uint16_t>(sign | h);
    }
    std::uint32_t h = ((abs - 0x38000000u) >> 13);
    const std::uint32_t rest = abs & 0x1FFFu;
    if (rest > 0x1000u || (rest == 0x1000u && (h & 1u))) ++h;
    return static_cast<std::uint16_t>(sign | h);
}

}  // namespace vorlane::host
