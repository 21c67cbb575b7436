// The output job with a PNG encoder that returns hostile streams for one
// frame: the file must stay sound and the result must tell the truth.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>

#include "apng_reader.h"
#include "file_checks.h"
#include "host/output_job.h"

namespace vorlane::robust {
namespace {

using test::Bytes;

Bytes chunk(const char* type, const Bytes& data) {
    Bytes c;
    test::append_chunk(c, type, data);
    return c;
}

using Mutation = std::function<Bytes(const Bytes&)>;

// Which frame the encoder spoils, and how; the starter is a plain function.
std::int32_t g_hostile_frame = -1;
Mutation g_mutation;

class HostileEncoder final : public PngEncoder {
public:
    MemoryBlock encode(MemoryBlock& argb, std::int32_t width, std::int32_t height, DiagnosticFolder* copies,
                       std::int32_t index) override {
        MemoryBlock png = real_->encode(argb, width, height, copies, index);
        if (index != g_hostile_frame || !png) return png;
        const Bytes bad = g_mutation(Bytes(png.data(), png.data() + png.size()));
        // An empty block is how an encoder says it failed; there is no
        // zero-byte success to return.
        MemoryBlock out = MemoryBlock::allocate(bad.size(), false);
        if (out) std::memcpy(out.data(), bad.data(), bad.size());
        return out;
    }

private:
    std::unique_ptr<PngEncoder> real_ = start_png_encoder();
};

std::unique_ptr<PngEncoder> start_hostile() {
    return std::make_unique<HostileEncoder>();
}

bool export_hostile(const host::HostScript& script, host::HostLog& log) {
    return host::run_export([](OutputRequest* request) { return OutputJob::run(*request, start_hostile); }, script,
                            log);
}

struct Case {
    const char* name;
    Mutation mutation;
};

const Case kSpoiled[] = {
    {"no_idat", [](const Bytes& png) { return test::recut_png(png, 0); }},
    {"no_iend", [](const Bytes& png) { return Bytes(png.begin(), png.end() - 12); }},
    {"length_above_limit",
     [](const Bytes& png) {
         Bytes b = png;
         const std::size_t pos = test::read_chunks(png).find("IDAT")->offset;
         b[pos] = 0x40, b[pos + 1] = 0, b[pos + 2] = 0, b[pos + 3] = 1;
         return b;
     }},
    {"last_chunk_past_end", [](const Bytes& png) { Bytes b(png.begin(), png.end() - 12); b[b.size() - 5] ^= 0x10; b.resize(b.size() - 3); return b; }},
    {"truncated_inside_idat", [](const Bytes& png) { return Bytes(png.begin(), png.end() - 20); }},
    {"seven_bytes", [](const Bytes& png) { return Bytes(png.begin(), png.begin() + 7); }},
    {"signature_only", [](const Bytes& png) { return Bytes(png.begin(), png.begin() + 8); }},
    {"zero_bytes", [](const Bytes&) { return Bytes{}; }},
    {"bad_signature", [](const Bytes& png) { Bytes b = png; b[1] = 'X'; return b; }},
    {"iend_before_idat",
     [](const Bytes& png) { return test::recut_png(png, 1 << 20, chunk("IEND", {})); }},
    {"encoder_actl",
     [](const Bytes& png) { return test::recut_png(png, 1 << 20, chunk("acTL", {0, 0, 0, 1, 0, 0, 0, 0})); }},
    {"trailing_bytes", [](const Bytes& png) { Bytes b = png; b.insert(b.end(), {0, 0, 0, 0}); return b; }},
};

class SpoiledFrame : public ::testing::TestWithParam<std::tuple<std::size_t, std::int32_t>> {};

// Frame 0 spoiled: nothing but the trailer. A later frame spoiled: the frames
// before it, announced as exactly that many, and a false result.
TEST_P(SpoiledFrame, FailsTheRunAndLeavesASoundFile) {
    const auto [case_index, frame] = GetParam();
    const Case& c = kSpoiled[case_index];
    g_hostile_frame = frame;
    g_mutation = c.mutation;
    const std::filesystem::path path = scratch_dir(std::string("spoiled-") + c.name + "-" + std::to_string(frame)) / "out.png";
    const host::HostScript s = small_script(path);
    host::HostLog log;
    EXPECT_FALSE(export_hostile(s, log)) << c.name;
    EXPECT_EQ(log.frames_served, frame + 1) << "the run stops at the spoiled frame";

    const Bytes file = read_file(path);
    EXPECT_EQ(test::check_apng(file, {5, 3, 1, 30, std::uint32_t(frame)}), "") << c.name;
    if (frame > 0) {
        EXPECT_EQ(independent_check(s, frame), "") << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, SpoiledFrame,
                         ::testing::Combine(::testing::Range<std::size_t>(0, std::size(kSpoiled)),
                                            ::testing::Values(0, 1, 2)),
                         [](const auto& info) {
                             return std::string(kSpoiled[std::get<0>(info.param)].name) + "_frame" +
                                    std::to_string(std::get<1>(info.param));
                         });

// Only frame 0's IHDR goes into the file: a later frame in another pixel
// format would be decoded with the wrong one, so it fails the run instead.
TEST(HostileEncoder, LaterFrameWithAnotherHeaderFailsTheRun) {
    g_hostile_frame = 2;
    g_mutation = [](const Bytes& png) {
        Bytes ihdr = test::read_chunks(png).list.front().data, out = test::kPngSignature;
        ihdr[9] = 2;  // colour type RGB instead of RGBA
        test::append_chunk(out, "IHDR", ihdr);
        out.insert(out.end(), png.begin() + 8 + 25, png.end());
        return out;
    };
    const host::HostScript s = small_script(scratch_dir("other-header") / "out.png");
    host::HostLog log;
    EXPECT_FALSE(export_hostile(s, log));
    EXPECT_EQ(test::check_apng(read_file(s.output_path), {5, 3, 1, 30, 2}), "");
    EXPECT_EQ(independent_check(s, 2), "");
}

// An encoder writing tiny IDAT chunks puts far more than 256 chunks in a
// frame; every one of them must reach the file.
TEST(HostileEncoder, ThreeHundredIdatChunksAreAllKept) {
    g_hostile_frame = 1;
    g_mutation = [](const Bytes& png) {
        const Bytes out = test::recut_png(png, 1);
        EXPECT_GT(test::read_chunks(out).count("IDAT"), 256u);
        return out;
    };
    const std::filesystem::path path = scratch_dir("many-idats") / "out.png";
    host::HostScript s = small_script(path);
    s.width = 40;  // enough compressed bytes for 300 one-byte chunks
    s.height = 9;
    s.content = host::DemoContent::Noise;
    host::HostLog log;
    ASSERT_TRUE(export_hostile(s, log));
    EXPECT_EQ(test::check_apng(read_file(path), {40, 9, 1, 30, 3}), "");
    EXPECT_EQ(independent_check(s, 3), "");
}

}  // namespace
}  // namespace vorlane::robust
