// The demo's loop, and large frames exported through the module and read
// back by independent decoders (the other export cases run in
// tests/robustness/export_matrix_test.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "encode/frame_converter.h"
#include "apng_reader.h"
#include "support/module_host.h"

namespace vorlane {
namespace {

// What each frame must decode to: the demo frame converted, as RGBA bytes.
void write_expected(const host::HostScript& s, std::int32_t frames, bool divide, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    std::vector<std::uint16_t> hf64;
    std::vector<std::uint32_t> argb(std::size_t(s.width) * std::size_t(s.height));
    for (std::int32_t i = 0; i < frames; ++i) {
        host::render_demo_frame(s.content, s.width, s.height, i, s.frame_count, hf64);
        FrameConverter::convert(reinterpret_cast<const std::uint8_t*>(hf64.data()), argb.data(), argb.size(), divide);
        for (std::uint32_t w : argb) {
            const char rgba[4] = {char(w >> 16), char(w >> 8), char(w), char(w >> 24)};
            out.write(rgba, 4);
        }
    }
}

int check(const std::string& apng, const std::string& expected, const host::HostScript& s, std::int32_t frames,
          int delay_num, int delay_den) {
    const std::string command = std::string(VORLANE_PYTHON) + " " + VORLANE_TEST_TOOLS + "/check_apng.py " + apng +
                                " " + expected + " " + std::to_string(s.width) + " " + std::to_string(s.height) + " " +
                                std::to_string(frames) + " " + std::to_string(delay_num) + " " +
                                std::to_string(delay_den);
    return std::system(command.c_str());
}

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

TEST(DecodeBack, LargeNoisyFramesKeepAllTheirChunks) {
    test::ScratchDir dir;
    // 1920x1080 noise compresses to ~8 MB a frame: about a thousand 8 KiB IDATs.
    auto script = test::script_for(dir.file("noise.png"), 2, 1920, 1080);
    script.content = host::DemoContent::Noise;
    host::HostLog log;
    ASSERT_TRUE(host::run_export(test::plugin(), script, log));
    EXPECT_GT(test::read_chunks(test::read_file(dir.file("noise.png"))).count("fdAT"), 256u);
    write_expected(script, 2, true, dir.file("expected.rgba"));
    EXPECT_EQ(check(dir.file("noise.png"), dir.file("expected.rgba"), script, 2, 1, 30), 0);
}

}  // namespace
}  // namespace vorlane
