// The built-in demo that the host simulator exports and the tests serve.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "demo_animation.h"
#include "encode/frame_converter.h"

namespace vorlane {
namespace {

// Looped, the demo's last frame must lead into its first as any frame leads
// into the next: the frame that would come after the last is the first again
// (up to rounding in the trigonometry), for any frame count.
TEST(DemoAnimation, LoopsWithoutAJump) {
    auto pixels = [](std::int32_t index, std::int32_t frame_count) {
        std::vector<std::uint16_t> hf64;
        host::render_demo_frame(host::DemoContent::Shapes, 61, 37, index, frame_count, hf64);
        std::vector<std::uint32_t> argb(61 * 37);
        FrameConverter::convert(reinterpret_cast<const std::uint8_t*>(hf64.data()), argb.data(), argb.size(), true);
        return argb;
    };
    auto largest_step = [](const std::vector<std::uint32_t>& a, const std::vector<std::uint32_t>& b) {
        int largest = 0;
        for (std::size_t i = 0; i < a.size(); ++i)
            for (int shift = 0; shift < 32; shift += 8)
                largest = std::max(largest, std::abs(int(a[i] >> shift & 0xFF) - int(b[i] >> shift & 0xFF)));
        return largest;
    };
    for (const std::int32_t frames : {2, 3, 7, 30, 60}) {
        const auto first = pixels(0, frames);
        EXPECT_LE(largest_step(pixels(frames, frames), first), 1) << frames << " frames";
        EXPECT_GT(largest_step(pixels(1, frames), first), 16) << "the demo does not move at " << frames << " frames";
    }
}

}  // namespace
}  // namespace vorlane
