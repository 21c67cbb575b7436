#pragma once
// The built-in demo: what a host would hand us for an animated overlay.
#include <cstdint>
#include <vector>

namespace vorlane::host {

enum class DemoContent {
    Shapes,  // moving soft shapes over transparency, premultiplied colour, highlights above 1
    Noise,   // per-pixel noise that no encoder can compress: large frame PNGs
};

// One frame in "HF64" layout: width x height pixels of binary16 R, G, B, A.
void render_demo_frame(DemoContent content, std::int32_t width, std::int32_t height, std::int32_t index,
                       std::int32_t frame_count, std::vector<std::uint16_t>& out);

}  // namespace vorlane::host
