// Exports through the module and has independent decoders read the file back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "encode/frame_converter.h"
#include "support/module_host.h"
#include "support/png_file.h"

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

int pngcheck(const std::string& apng) {
    return std::system(("pngcheck -q " + apng).c_str());
}

TEST(DecodeBack, EveryFrameDecodesToTheConvertedPixels) {
    test::ScratchDir dir;
    // Odd, non-square size: row and channel mistakes cannot cancel out.
    auto script = test::script_for(dir.file("demo.png"), 8, 61, 37);
    script.fps_num = 30000;
    script.fps_den = 1001;
    host::HostLog log;
    ASSERT_TRUE(host::run_export(test::plugin(), script, log));
    write_expected(script, 8, true, dir.file("expected.rgba"));
    EXPECT_EQ(pngcheck(dir.file("demo.png")), 0);
    EXPECT_EQ(check(dir.file("demo.png"), dir.file("expected.rgba"), script, 8, 1001, 30000), 0);
}

TEST(DecodeBack, StoppedRunAnnouncesOnlyItsFrames) {
    test::ScratchDir dir;
    auto script = test::script_for(dir.file("stopped.png"), 10, 40, 30);
    script.stop_before = 3;
    host::HostLog log;
    ASSERT_TRUE(host::run_export(test::plugin(), script, log));
    write_expected(script, 3, true, dir.file("expected.rgba"));
    EXPECT_EQ(pngcheck(dir.file("stopped.png")), 0);
    EXPECT_EQ(check(dir.file("stopped.png"), dir.file("expected.rgba"), script, 3, 1, 30), 0);
}

TEST(DecodeBack, LargeNoisyFramesKeepAllTheirChunks) {
    test::ScratchDir dir;
    // 1920x1080 noise compresses to ~8 MB a frame: about a thousand 8 KiB IDATs.
    auto script = test::script_for(dir.file("noise.png"), 2, 1920, 1080);
    script.content = host::DemoContent::Noise;
    host::HostLog log;
    ASSERT_TRUE(host::run_export(test::plugin(), script, log));
    const auto walk = test::walk_chunks(test::read_file(dir.file("noise.png")), 8);
    std::size_t fdat = 0;
    for (const auto& c : walk.chunks) fdat += c.type == "fdAT";
    EXPECT_GT(fdat, 256u);
    write_expected(script, 2, true, dir.file("expected.rgba"));
    EXPECT_EQ(check(dir.file("noise.png"), dir.file("expected.rgba"), script, 2, 1, 30), 0);
}

}  // namespace
}  // namespace vorlane
