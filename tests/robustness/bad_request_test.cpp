// Bad requests through the module boundary: the plugin module is loaded as
// the host loads it, and every request goes through its table's on_output.
// Each request sits in a block of exactly the record's size that no read can
// run past, with the slots the plugin must not read filled with 0xCC.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "apng_check.h"
#include "file_checks.h"
#include "guarded_block.h"
#include "plugin_module.h"
#include "test_host.h"

namespace vorlane::robust {
namespace {

using Bytes = std::vector<std::uint8_t>;

class BadRequest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string error;
        module_ = host::PluginModule::load(module_path(), error).release();
        ASSERT_NE(module_, nullptr) << error;
    }
    static void TearDownTestSuite() {
        delete module_;
        module_ = nullptr;
    }

    static bool export_with(TestHost& host) { return module_->table()->on_output(host.request()); }

    static std::filesystem::path fresh_path(const std::string& name) { return scratch_dir(name) / "out.png"; }

    // The calls of a run that fetched `frames` frames out of `total`.
    static std::vector<std::string> calls_for(int frames, int total, bool then_stop_check = false) {
        std::vector<std::string> calls = {"setup 16 1"};
        for (int i = 0; i < frames; ++i) {
            calls.push_back("progress " + std::to_string(i) + " " + std::to_string(total));
            calls.push_back("stop " + std::to_string(i));
            calls.push_back("fetch " + std::to_string(i));
        }
        if (then_stop_check) {
            calls.push_back("progress " + std::to_string(frames) + " " + std::to_string(total));
            calls.push_back("stop " + std::to_string(frames));
        }
        return calls;
    }

    static host::PluginModule* module_;
};

host::PluginModule* BadRequest::module_ = nullptr;

// Sizes the encoder must refuse before reading a single pixel: the host's
// buffer is eight guarded bytes, so any read of the pixels it describes is caught.
TEST_F(BadRequest, SizesThatCannotBeEncodedFailFrameZeroWithoutReadingPixels) {
    const std::pair<std::int32_t, std::int32_t> sizes[] = {
        {0, 3}, {5, 0}, {-1, 3}, {5, -7}, {INT32_MIN, 1}, {INT32_MIN, INT32_MIN},
        {46341, 46341},   // 4 x 46341^2 just above 2^31 - 1
        {536870912, 1},   // 4 x 2^29 = 2^31
        {65536, 8192}, {INT32_MAX, INT32_MAX}};
    const GuardedBlock tiny(8);
    std::memset(tiny.data(), 0, 8);
    for (auto [w, h] : sizes) {
        SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
        const std::filesystem::path path = fresh_path("size");
        HostConfig config;
        config.width = w;
        config.height = h;
        config.path = path.u16string();
        config.pixels_override = tiny.data();
        TestHost host(config);
        EXPECT_FALSE(export_with(host));
        EXPECT_EQ(host.log().calls, calls_for(1, 3));
        EXPECT_EQ(read_file(path), check::trailer_bytes());
    }
}

TEST_F(BadRequest, NoFramesToWriteLeavesOnlyTheTrailer) {
    for (std::int32_t count : {0, -1, INT32_MIN}) {
        SCOPED_TRACE(count);
        const std::filesystem::path path = fresh_path("count");
        HostConfig config;
        config.frame_count = count;
        config.path = path.u16string();
        TestHost host(config);
        EXPECT_TRUE(export_with(host));
        EXPECT_EQ(host.log().calls, calls_for(0, count));
        EXPECT_EQ(read_file(path), check::trailer_bytes());
    }
}

TEST_F(BadRequest, HugeFrameCountStoppedEarlyAnnouncesTheFramesWritten) {
    const std::filesystem::path path = fresh_path("huge-count");
    HostConfig config;
    config.frame_count = INT32_MAX;
    config.stop_at = 2;
    config.path = path.u16string();
    TestHost host(config);
    EXPECT_TRUE(export_with(host));
    EXPECT_EQ(host.log().calls, calls_for(2, INT32_MAX, true));
    EXPECT_EQ(check::check_apng(read_file(path), {5, 3, 1, 30, 2}), "");
    EXPECT_TRUE(pngcheck_ok(path));
    EXPECT_EQ(pillow_frames(path).size(), 3u);  // the count, then two frames
}

// Zero and negative rates are not refused: the delay keeps the low 16 bits
// of whatever the signed steps give, and the file stays sound.
TEST_F(BadRequest, ZeroAndNegativeRatesStillWriteASoundFile) {
    struct Rate {
        std::int32_t num, den;
        std::uint16_t delay_num, delay_den;
    };
    const Rate rates[] = {{0, 1, 1, 0},          {1, 0, 0, 1},          {0, 0, 0, 0},
                          {-30, 1, 1, 0xFFE2},   {30, -1, 0xFFFF, 30},  {-1, -1, 0xFFFF, 0xFFFF},
                          {INT32_MIN, 1, 1, 0},  {1, INT32_MIN, 0, 1}};
    for (const Rate& r : rates) {
        SCOPED_TRACE(std::to_string(r.num) + "/" + std::to_string(r.den));
        const std::filesystem::path path = fresh_path("rate");
        HostConfig config;
        config.fps_num = r.num;
        config.fps_den = r.den;
        config.frame_count = 2;
        config.path = path.u16string();
        TestHost host(config);
        EXPECT_TRUE(export_with(host));
        EXPECT_EQ(check::check_apng(read_file(path), {5, 3, r.delay_num, r.delay_den, 2}), "");
    }
}

// A file that cannot be created fails the run at once: setup_hook is the
// only call the host sees, and nothing already there is touched.
TEST_F(BadRequest, OutputPathsThatCannotBeCreatedFailBeforeAnyFrame) {
    const std::filesystem::path dir = scratch_dir("paths");
    struct PathCase {
        const char* what;
        bool null_path;
        std::u16string path;
    };
    const PathCase cases[] = {
        {"null", true, u""},
        {"empty", false, u""},
        {"a folder", false, dir.u16string()},
        {"in a missing folder", false, (dir / "missing" / "out.png").u16string()},
        {"under a file", false, (dir / "file" / "out.png").u16string()},
#if !defined(_WIN32)
        {"in a folder that takes no new files", false, u"/sys/vorlane-robust.png"},
#endif
    };
    write_file(dir / "file", {'k', 'e', 'e', 'p'});
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.what);
        HostConfig config;
        config.null_path = c.null_path;
        config.path = c.path;
        TestHost host(config);
        EXPECT_FALSE(export_with(host));
        EXPECT_EQ(host.log().calls, calls_for(0, 3));
    }
    EXPECT_EQ(read_file(dir / "file"), Bytes({'k', 'e', 'e', 'p'}));
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

TEST_F(BadRequest, ReadOnlyFileIsLeftAsItWas) {
    const std::filesystem::path path = scratch_dir("read-only") / "out.png";
    write_file(path, {'k', 'e', 'e', 'p'});
    if (!set_read_only(path, true))
        GTEST_SKIP() << "no way to make a file read-only for this user here (as root a file mode does not stop "
                        "a write, and chattr +i is unavailable)";
    HostConfig config;
    config.path = path.u16string();
    TestHost host(config);
    const bool ok = export_with(host);
    set_read_only(path, false);
    EXPECT_FALSE(ok);
    EXPECT_EQ(host.log().calls, calls_for(0, 3));
    EXPECT_EQ(read_file(path), Bytes({'k', 'e', 'e', 'p'}));
}

TEST_F(BadRequest, NullFrameAtEveryPositionFailsAndKeepsTheFramesBefore) {
    for (std::int32_t at = 0; at < 3; ++at) {
        SCOPED_TRACE(at);
        const std::filesystem::path path = fresh_path("null-frame");
        HostConfig config;
        config.null_at = at;
        config.path = path.u16string();
        TestHost host(config);
        EXPECT_FALSE(export_with(host));
        EXPECT_EQ(host.log().calls, calls_for(at + 1, 3));
        EXPECT_EQ(check::check_apng(read_file(path), {5, 3, 1, 30, std::uint32_t(at)}), "");
        if (at > 0) {
            EXPECT_TRUE(pngcheck_ok(path));
        }
    }
}

TEST_F(BadRequest, StopAtEveryPositionSucceedsWithTheFramesBefore) {
    for (std::int32_t at = 0; at <= 3; ++at) {
        SCOPED_TRACE(at);
        const std::filesystem::path path = fresh_path("stop");
        HostConfig config;
        config.stop_at = at;
        config.path = path.u16string();
        TestHost host(config);
        EXPECT_TRUE(export_with(host));
        EXPECT_EQ(host.log().calls, calls_for(at, 3, at < 3));
        check::Reading reading;
        EXPECT_EQ(check::check_apng(read_file(path), {5, 3, 1, 30, std::uint32_t(at)}, &reading), "");
        if (at == 0) continue;
        EXPECT_TRUE(pngcheck_ok(path));
        const std::vector<std::string> frames = pillow_frames(path);
        ASSERT_EQ(frames.size(), std::size_t(at) + 1);
        for (std::int32_t i = 0; i < at; ++i) {
            std::string hex;
            char buf[3];
            for (std::uint8_t b : host.expected_rgba(i)) std::snprintf(buf, sizeof buf, "%02x", b), hex += buf;
            EXPECT_EQ(frames[std::size_t(i) + 1], hex) << "frame " << i;
        }
    }
}

}  // namespace
}  // namespace vorlane::robust
