#pragma once
// What a frame of the demo must decode to: the converter's words for it,
// as RGBA bytes. The converter itself is checked on every input elsewhere.
#include <cstdint>
#include <vector>

#include "encode/frame_converter.h"
#include "scripted_host.h"

namespace vorlane::test {

inline std::vector<std::uint8_t> expected_rgba(const host::HostScript& s, std::int32_t index, bool divide = true) {
    const std::size_t pixels = std::size_t(s.width) * std::size_t(s.height);
    std::vector<std::uint16_t> hf64;
    host::render_demo_frame(s.content, s.width, s.height, index, s.frame_count, hf64);
    std::vector<std::uint32_t> argb(pixels);
    FrameConverter::convert(reinterpret_cast<const std::uint8_t*>(hf64.data()), argb.data(), pixels, divide);
    std::vector<std::uint8_t> rgba;
    for (const std::uint32_t w : argb)
        rgba.insert(rgba.end(), {std::uint8_t(w >> 16), std::uint8_t(w >> 8), std::uint8_t(w), std::uint8_t(w >> 24)});
    return rgba;
}

}  // namespace vorlane::test
