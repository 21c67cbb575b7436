// The output job with a PNG encoder that returns hostile streams for one
// frame: the file must stay sound and the result must tell the truth.
#include <gtest/gtest.h>

#include <filesystem>
#include <zlib.h>

#include <cstring>
#include <functional>

#include "apng_check.h"
#include "file_checks.h"
#include "host/output_job.h"
#include "demo_pixels.h"

namespace vorlane::robust {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes chunk(const char* type, const Bytes& data) {
    const std::uint32_t n = std::uint32_t(data.size());
    Bytes c = {std::uint8_t(n >> 24), std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)};
    // Byte by byte: GCC 12 at -O2 takes a 4-byte range insert here for an
    // out-of-bounds copy (-Warray-bounds) and fails the release build.
    for (int i = 0; i < 4; ++i) c.push_back(std::uint8_t(type[i]));
    c.insert(c.end(), data.begin(), data.end());
    const uLong crc = crc32(crc32(0, reinterpret_cast<const Bytef*>(type), 4), data.data(), uInt(data.size()));
    for (int s = 24; s >= 0; s -= 8) c.push_back(std::uint8_t(crc >> s));
    return c;
}

struct Parts {
    Bytes signature;
    std::vector<Bytes> before_idat;  // whole chunks
    Bytes idat_data;
    std::vector<Bytes> after_idat;
};

Parts parts(const Bytes& png) {
    std::vector<check::Chunk> chunks;
    EXPECT_EQ(check::split_chunks(png.data() + 8, png.size() - 8, chunks), "");
    Parts p{Bytes(png.begin(), png.begin() + 8), {}, {}, {}};
    for (const check::Chunk& c : chunks) {
        const Bytes whole(c.data - 8, c.data + c.length + 4);
        if (c.type == "IDAT")
            p.idat_data.insert(p.idat_data.end(), c.data, c.data + c.length);
        else
            (p.idat_data.empty() ? p.before_idat : p.after_idat).push_back(whole);
    }
    return p;
}

Bytes join(const Parts& p, std::size_t idat_piece) {
    Bytes out = p.signature;
    for (const Bytes& c : p.before_idat) out.insert(out.end(), c.begin(), c.end());
    for (std::size_t i = 0; i < p.idat_data.size(); i += idat_piece) {
        const Bytes c = chunk("IDAT", Bytes(p.idat_data.begin() + long(i),
                                            p.idat_data.begin() + long(std::min(p.idat_data.size(), i + idat_piece))));
        out.insert(out.end(), c.begin(), c.end());
    }
    for (const Bytes& c : p.after_idat) out.insert(out.end(), c.begin(), c.end());
    return out;
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
    {"no_idat", [](const Bytes& png) { Parts p = parts(png); p.idat_data.clear(); return join(p, 1); }},
    {"no_iend", [](const Bytes& png) { return Bytes(png.begin(), png.end() - 12); }},
    {"length_above_limit",
     [](const Bytes& png) {
         Bytes b = png;
         std::size_t pos = 8;  // the first IDAT's length field
         for (const Bytes& c : parts(png).before_idat) pos += c.size();
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
     [](const Bytes& png) { Parts p = parts(png); p.before_idat.push_back(chunk("IEND", {})); return join(p, 1 << 20); }},
    {"encoder_actl",
     [](const Bytes& png) { Parts p = parts(png); p.before_idat.push_back(chunk("acTL", {0, 0, 0, 1, 0, 0, 0, 0})); return join(p, 1 << 20); }},
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
    host::HostLog log;
    EXPECT_FALSE(export_hostile(small_script(path), log)) << c.name;
    EXPECT_EQ(log.frames_served, frame + 1) << "the run stops at the spoiled frame";

    const Bytes file = read_file(path);
    check::Expected expected{5, 3, 1, 30, std::uint32_t(frame)};
    EXPECT_EQ(check::check_apng(file, expected), "") << c.name;
    if (frame > 0) {
        std::string out;
        EXPECT_TRUE(pngcheck_ok(path, &out)) << c.name << ": " << out;
        const std::vector<std::string> frames = pillow_frames(path);
        ASSERT_EQ(frames.size(), std::size_t(frame) + 1) << c.name;
        EXPECT_EQ(frames[0], std::to_string(frame));
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
        Parts p = parts(png);
        Bytes ihdr(p.before_idat.front().begin() + 8, p.before_idat.front().end() - 4);
        ihdr[9] = 2;  // colour type RGB instead of RGBA
        p.before_idat.front() = chunk("IHDR", ihdr);
        return join(p, 1 << 20);
    };
    const std::filesystem::path path = scratch_dir("other-header") / "out.png";
    host::HostLog log;
    EXPECT_FALSE(export_hostile(small_script(path), log));
    EXPECT_EQ(check::check_apng(read_file(path), {5, 3, 1, 30, 2}), "");
    EXPECT_TRUE(pngcheck_ok(path));
}

// An encoder writing tiny IDAT chunks puts far more than 256 chunks in a
// frame; every one of them must reach the file.
TEST(HostileEncoder, ThreeHundredIdatChunksAreAllKept) {
    g_hostile_frame = 1;
    g_mutation = [](const Bytes& png) {
        Parts p = parts(png);
        Bytes out = join(p, 1);
        EXPECT_GT(p.idat_data.size(), 256u);
        return out;
    };
    const std::filesystem::path path = scratch_dir("many-idats") / "out.png";
    host::HostScript s = small_script(path);
    s.width = 40;  // enough compressed bytes for 300 one-byte chunks
    s.height = 9;
    s.content = host::DemoContent::Noise;
    host::HostLog log;
    ASSERT_TRUE(export_hostile(s, log));
    EXPECT_EQ(check::check_apng(read_file(path), {40, 9, 1, 30, 3}), "");
    EXPECT_TRUE(pngcheck_ok(path));
    const std::vector<std::string> frames = pillow_frames(path);
    ASSERT_EQ(frames.size(), 4u);
    for (std::int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(frames[std::size_t(i) + 1], as_hex(test::expected_rgba(s, i))) << "frame " << i;
    }
}

}  // namespace
}  // namespace vorlane::robust
