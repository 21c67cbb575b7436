// The output job in this process, where a test can reach the module's
// setting; every other export case goes through the module boundary
// (tests/robustness/export_matrix_test.cpp).
#include <gtest/gtest.h>

#include "encode/frame_converter.h"
#include "encode/setting.h"
#include "host/output_job.h"
#include "support/module_host.h"

namespace vorlane {
namespace {

// The words each frame reached the encoder with, in an export run in this
// process (the module's own setting is out of a test's reach).
std::vector<std::vector<std::uint32_t>> g_encoded;

class RecordingEncoder final : public PngEncoder {
public:
    MemoryBlock encode(MemoryBlock& argb, std::int32_t width, std::int32_t height, DiagnosticFolder* copies,
                       std::int32_t index) override {
        const auto* words = reinterpret_cast<const std::uint32_t*>(argb.data());
        g_encoded.emplace_back(words, words + std::size_t(width) * std::size_t(height));
        return real_->encode(argb, width, height, copies, index);
    }

private:
    std::unique_ptr<PngEncoder> real_ = start_png_encoder();
};

// The dialog may change the setting while an export runs (on another
// thread): it applies from the next frame on, not from the next export.
TEST(OutputJob, SettingIsReadForEveryFrame) {
    test::ScratchDir dir;
    auto script = test::script_for(dir.file("setting.png"), 3, 40, 24);
    script.on_progress = [](std::int32_t index, std::int32_t) { divide_rgb_by_alpha.store(index == 1 ? 0 : 1); };
    g_encoded.clear();
    host::HostLog log;
    const bool ok = host::run_export([](OutputRequest* request) {
        return OutputJob::run(*request, [] { return std::unique_ptr<PngEncoder>(new RecordingEncoder); });
    }, script, log);
    divide_rgb_by_alpha.store(1);
    ASSERT_TRUE(ok);
    ASSERT_EQ(g_encoded.size(), 3u);

    for (std::int32_t i = 0; i < 3; ++i) {
        std::vector<std::uint16_t> hf64;
        host::render_demo_frame(script.content, script.width, script.height, i, script.frame_count, hf64);
        std::vector<std::uint32_t> divided(g_encoded[0].size()), undivided(divided.size());
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(hf64.data());
        FrameConverter::convert(bytes, divided.data(), divided.size(), true);
        FrameConverter::convert(bytes, undivided.data(), undivided.size(), false);
        ASSERT_NE(divided, undivided) << "frame " << i << " has no partial alpha to tell the modes apart";
        EXPECT_EQ(g_encoded[std::size_t(i)], i == 1 ? undivided : divided) << "frame " << i;
    }
}

}  // namespace
}  // namespace vorlane
