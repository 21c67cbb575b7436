#pragma once
#include <cstdint>

namespace vorlane {

// One frame's duration, delay_num / delay_den seconds. Written into fcTL as
// the low 16 bits of each.
struct FrameDelayValue {
    std::int64_t num;
    std::int64_t den;
    bool operator==(const FrameDelayValue&) const = default;
};

// Turns the host's rate fps_num / fps_den (frames per second) into a frame
// duration that fits fcTL's two 16-bit fields. Zero or negative rates are not
// rejected: they go through the same signed steps.
FrameDelayValue FrameDelay(std::int32_t fps_num, std::int32_t fps_den);

}  // namespace vorlane
