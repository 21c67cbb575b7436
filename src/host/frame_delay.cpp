#include "host/frame_delay.h"

#include <algorithm>
#include <numeric>

namespace vorlane {

FrameDelayValue FrameDelay(std::int32_t fps_num, std::int32_t fps_den) {
    constexpr std::int64_t kMax = 65535;
    // 64-bit throughout: the rounding-up steps below add to values near 2^31.
    std::int64_t num = fps_den;
    std::int64_t den = fps_num;
    if (num <= kMax && den <= kMax) return {num, den};  // no reduction: 60/2 stays 2/60

    if (std::min(num, den) >= 2) {
        const std::int64_t g = std::gcd(num, den);
        num /= g;
        den /= g;
    }
    if (num <= kMax && den <= kMax) return {num, den};

    if (den >= 32768) {
        // Short frames: scale both down by tens, rounding up so neither reaches 0.
        do {
            num = (num + 9) / 10;
            den = (den + 9) / 10;
        } while (num > kMax || den > kMax);
    } else {
        // Long frames: fix the numerator and round the denominator up.
        den = (den * 60000 + num - 1) / num;
        num = 60000;
    }
    return {num, den};
}

}  // namespace vorlane
