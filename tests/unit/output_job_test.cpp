// The output job through the module boundary, with a scripted host.
#include <gtest/gtest.h>

#include "encode/frame_converter.h"
#include "encode/setting.h"
#include "host/output_job.h"
#include "support/module_host.h"
#include "support/png_file.h"

namespace vorlane {
namespace {

using test::Bytes;
using Calls = std::vector<std::string>;

std::vector<std::string> frame_calls(std::int32_t i, std::int32_t total, bool fetch = true) {
    const std::string n = std::to_string(i);
    std::vector<std::string> c = {"progress " + n + " " + std::to_string(total), "stop? " + n};
    if (fetch) c.push_back("fetch " + n + " HF64");
    return c;
}

std::uint32_t announced_frames(const Bytes& file) {
    for (const auto& c : test::walk_chunks(file, 8).chunks)
        if (c.type == "acTL") return test::be32(c.data.data());
    return 0;
}

std::size_t count(const Bytes& file, const char* type) {
    std::size_t n = 0;
    for (const auto& c : test::walk_chunks(file, 8).chunks) n += c.type == type;
    return n;
}

const Bytes kTrailerOnly = [] {
    Bytes b;
    test::append_chunk(b, "tEXt", {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'f', 'f', 'f', 'f', 'f', 'f', 'f', 'e'});
    test::append_chunk(b, "IEND", {});
    return b;
}();

TEST(OutputJob, CallsTheHostInOrderAndWritesEveryFrame) {
    test::ScratchDir dir;
    auto script = test::script_for(dir.file("three.png"), 3);
    script.fps_num = 30000;
    script.fps_den = 1001;
    host::HostLog log;
    ASSERT_TRUE(host::run_export(test::plugin(), script, log));

    Calls expected = {"setup 16 1"};
    for (int i = 0; i < 3; ++i)
        for (auto& c : frame_calls(i, 3)) expected.push_back(c);
    EXPECT_EQ(log.calls, expected);  // no progress call after the loop

    const Bytes file = test::read_file(dir.file("three.png"));
    const auto walk = test::walk_chunks(file, 8);
    ASSERT_TRUE(walk.complete);
    EXPECT_EQ(announced_frames(file), 3u);
    EXPECT_EQ(count(file, "fcTL"), 3u);
    EXPECT_EQ(walk.chunks.back().type, "IEND");
    for (const auto& c : walk.chunks) EXPECT_TRUE(c.crc_ok) << c.type;
}

TEST(OutputJob, ExistingFileIsReplaced) {
    test::ScratchDir dir;
    // A name outside the Basic Multilingual Plane: one surrogate pair in the
    // host's UTF-16 path, which must name the very file that is there.
    const std::string path = dir.file("out-\xF0\x9F\x8E\x9E.png");
    {
        std::ofstream old(path, std::ios::binary);
        old << std::string(100000, 'x');
    }
    host::HostLog log;
    ASSERT_TRUE(host::run_export(test::plugin(), test::script_for(path, 0), log));
    EXPECT_EQ(test::read_file(path), kTrailerOnly);
}

TEST(OutputJob, StopRequests) {
    test::ScratchDir dir;
    {
        // Before frame 0: trailer only, and success.
        auto script = test::script_for(dir.file("stop0.png"), 4);
        script.stop_before = 0;
        host::HostLog log;
        EXPECT_TRUE(host::run_export(test::plugin(), script, log));
        EXPECT_EQ(log.calls, (Calls{"setup 16 1", "progress 0 4", "stop? 0"}));
        EXPECT_EQ(test::read_file(dir.file("stop0.png")), kTrailerOnly);
    }
    {
        // Mid-run: the frames before the stop stay, and acTL counts just them.
        auto script = test::script_for(dir.file("stop2.png"), 5);
        script.stop_before = 2;
        host::HostLog log;
        EXPECT_TRUE(host::run_export(test::plugin(), script, log));
        EXPECT_EQ(log.calls.back(), "stop? 2");
        EXPECT_EQ(log.frames_served, 2);
        const Bytes file = test::read_file(dir.file("stop2.png"));
        EXPECT_EQ(announced_frames(file), 2u);
        EXPECT_EQ(count(file, "fcTL"), 2u);
    }
}

TEST(OutputJob, NullFrameFailsTheRun) {
    test::ScratchDir dir;
    {
        auto script = test::script_for(dir.file("null0.png"), 3);
        script.null_frame = 0;
        host::HostLog log;
        EXPECT_FALSE(host::run_export(test::plugin(), script, log));
        EXPECT_EQ(log.calls.back(), "fetch 0 HF64");
        EXPECT_EQ(test::read_file(dir.file("null0.png")), kTrailerOnly);
    }
    {
        auto script = test::script_for(dir.file("null2.png"), 4);
        script.null_frame = 2;
        host::HostLog log;
        EXPECT_FALSE(host::run_export(test::plugin(), script, log));
        EXPECT_EQ(log.calls.back(), "fetch 2 HF64");
        const Bytes file = test::read_file(dir.file("null2.png"));
        EXPECT_TRUE(test::walk_chunks(file, 8).complete);
        EXPECT_EQ(announced_frames(file), 2u);
        EXPECT_EQ(count(file, "fcTL"), 2u);
    }
}

TEST(OutputJob, FileThatCannotBeCreatedCallsNothingElse) {
    test::ScratchDir dir;
    for (const std::string& path : {dir.file("missing/out.png"), dir.file(""), std::string()}) {
        host::HostLog log;
        EXPECT_FALSE(host::run_export(test::plugin(), test::script_for(path, 3), log)) << path;
        EXPECT_EQ(log.calls, (Calls{"setup 16 1"}));
    }
}

TEST(OutputJob, NoFramesToWrite) {
    test::ScratchDir dir;
    for (std::int32_t frames : {0, -1, -2147483647 - 1}) {
        host::HostLog log;
        EXPECT_TRUE(host::run_export(test::plugin(), test::script_for(dir.file("none.png"), frames), log));
        EXPECT_EQ(log.calls, (Calls{"setup 16 1"}));
        EXPECT_EQ(test::read_file(dir.file("none.png")), kTrailerOnly);
    }
}

TEST(OutputJob, FrameDelaysReachEveryFcTL) {
    test::ScratchDir dir;
    struct Rate {
        std::int32_t num, den;
        std::uint16_t delay_num, delay_den;
    };
    const Rate rates[] = {{30, 1, 1, 30},       {30000, 1001, 1001, 30000}, {70000, 1, 1, 7000},
                          {1, 70000, 60000, 1}, {3, 100000, 60000, 2},      {0, 1, 1, 0}};
    for (const Rate& r : rates) {
        auto script = test::script_for(dir.file("rate.png"), 2, 5, 3);
        script.fps_num = r.num;
        script.fps_den = r.den;
        host::HostLog log;
        ASSERT_TRUE(host::run_export(test::plugin(), script, log));
        std::size_t seen = 0;
        for (const auto& c : test::walk_chunks(test::read_file(dir.file("rate.png")), 8).chunks) {
            if (c.type != "fcTL") continue;
            ++seen;
            EXPECT_EQ(c.data[20] << 8 | c.data[21], r.delay_num) << r.num << "/" << r.den;
            EXPECT_EQ(c.data[22] << 8 | c.data[23], r.delay_den) << r.num << "/" << r.den;
        }
        EXPECT_EQ(seen, 2u);
    }
}

// The words each frame reached the encoder with, in an export run in this
// process (the module's own setting is out of a test's reach).
std::vector<std::vector<std::uint32_t>> g_encoded_words;

class RecordingEncoder final : public PngEncoder {
public:
    MemoryBlock encode(MemoryBlock& argb, std::int32_t width, std::int32_t height, DiagnosticFolder* copies,
                       std::int32_t index) override {
        const auto* words = reinterpret_cast<const std::uint32_t*>(argb.data());
        g_encoded_words.emplace_back(words, words + std::size_t(width) * std::size_t(height));
        return real_->encode(argb, width, height, copies, index);
    }

private:
    std::unique_ptr<PngEncoder> real_ = start_png_encoder();
};

bool VORLANE_CALL output_in_process(OutputRequest* request) {
    return OutputJob::run(*request, [] { return std::unique_ptr<PngEncoder>(new RecordingEncoder); });
}

// The dialog may change the setting while an export runs (on another
// thread): it applies from the next frame on, not from the next export.
TEST(OutputJob, SettingIsReadForEveryFrame) {
    test::ScratchDir dir;
    auto script = test::script_for(dir.file("setting.png"), 3, 40, 24);
    script.on_progress = [](std::int32_t index, std::int32_t) { divide_rgb_by_alpha.store(index == 1 ? 0 : 1); };
    OutputPluginTable table = test::plugin();
    table.on_output = output_in_process;
    g_encoded_words.clear();
    host::HostLog log;
    const bool ok = host::run_export(table, script, log);
    divide_rgb_by_alpha.store(1);
    ASSERT_TRUE(ok);
    ASSERT_EQ(g_encoded_words.size(), 3u);

    for (std::int32_t i = 0; i < 3; ++i) {
        std::vector<std::uint16_t> hf64;
        host::render_demo_frame(script.content, script.width, script.height, i, script.frame_count, hf64);
        std::vector<std::uint32_t> divided(g_encoded_words[0].size()), undivided(divided.size());
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(hf64.data());
        FrameConverter::convert(bytes, divided.data(), divided.size(), true);
        FrameConverter::convert(bytes, undivided.data(), undivided.size(), false);
        ASSERT_NE(divided, undivided) << "frame " << i << " has no partial alpha to tell the modes apart";
        EXPECT_EQ(g_encoded_words[std::size_t(i)], i == 1 ? undivided : divided) << "frame " << i;
    }
}

}  // namespace
}  // namespace vorlane
