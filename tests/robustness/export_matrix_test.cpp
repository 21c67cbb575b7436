// Exports through the module boundary, each case with every encoder the
// platform under test gives (file_checks.h): the host's log of callbacks,
// the file's structure, and its frames as the tests' own reader and tools
// nobody here wrote decode them. The host's record and frames are guarded,
// so a read past them fails the case.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <random>

#if defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

#include "apng_reader.h"
#include "demo_pixels.h"
#include "file_checks.h"
#include "frame_rates.h"
#include "guarded_block.h"

namespace vorlane::robust {
namespace {

using test::Bytes;
using Calls = std::vector<std::string>;

// The calls of a run that fetched `frames` frames out of `total`, then asked
// whether to stop before the next when `then_stop_check`.
Calls calls_for(int frames, int total, bool then_stop_check = false) {
    Calls calls = {"setup 16 1"};
    for (int i = 0; i <= frames; ++i) {
        if (i == frames && !then_stop_check) break;
        calls.push_back("progress " + std::to_string(i) + " " + std::to_string(total));
        calls.push_back("stop? " + std::to_string(i));
        if (i < frames) calls.push_back("fetch " + std::to_string(i) + " HF64");
    }
    return calls;
}

using Rate = test::FrameRate;

class Export : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        module_ = load_module_for(GetParam());
        ASSERT_TRUE(module_);
    }

    static std::filesystem::path fresh_path(const std::string& name) { return scratch_dir(name) / "out.png"; }

    bool run(const host::HostScript& s) {
        log_ = {};
        return host::run_export(*module_->table(), s, log_);
    }

    // The file holds exactly the first `frames` frames of `s`, however it is read.
    static void expect_frames(const host::HostScript& s, std::int32_t frames, std::uint16_t delay_num = 1,
                              std::uint16_t delay_den = 30) {
        const std::filesystem::path path(s.output_path);
        const Bytes file = test::read_file(path);
        if (frames == 0) {
            EXPECT_EQ(file, test::trailer_bytes()) << "a run without frames leaves exactly the trailer";
            return;
        }
        const test::Expected expected{std::uint32_t(s.width), std::uint32_t(s.height), delay_num, delay_den,
                                      std::uint32_t(frames)};
        ASSERT_EQ(test::check_apng(file, expected), "");
        const test::DecodedApng ours = test::decode_apng(file);
        ASSERT_EQ(ours.error, "");
        ASSERT_EQ(ours.frames.size(), std::size_t(frames));
        for (std::int32_t i = 0; i < frames; ++i)
            EXPECT_TRUE(ours.frames[std::size_t(i)].rgba == test::expected_rgba(s, i)) << "frame " << i;
        EXPECT_EQ(independent_check(s, frames, delay_num, delay_den), "");
    }

    // Every rate gives that delay in every fcTL of a sound file.
    void expect_delays(const Rate* begin, const Rate* end) {
        for (const Rate* r = begin; r != end; ++r) {
            SCOPED_TRACE(std::to_string(r->fps_num) + "/" + std::to_string(r->fps_den));
            host::HostScript s = small_script(fresh_path("rate"), 2);
            s.fps_num = r->fps_num;
            s.fps_den = r->fps_den;
            EXPECT_TRUE(run(s));
            EXPECT_EQ(test::check_apng(test::read_file(s.output_path), {5, 3, r->delay_num, r->delay_den, 2}), "");
        }
    }

    std::unique_ptr<host::PluginModule> module_;
    host::HostLog log_;
};

TEST_P(Export, CallsTheHostInOrderAndWritesEveryFrame) {
    host::HostScript s = small_script(fresh_path("order"), 3);
    s.width = 23;
    s.height = 11;
    s.fps_num = 30000;
    s.fps_den = 1001;
    ASSERT_TRUE(run(s));
    EXPECT_EQ(log_.calls, calls_for(3, 3));  // no progress call after the last frame
    expect_frames(s, 3, 1001, 30000);
}

// Frames that do not compress: megabytes a frame, in many image chunks,
// every one of which must reach the file.
TEST_P(Export, LargeNoisyFramesDecodeComplete) {
    host::HostScript s = small_script(fresh_path("noise"), 2);
    s.width = 1920;
    s.height = 1080;
    s.content = host::DemoContent::Noise;
    ASSERT_TRUE(run(s));
    expect_frames(s, 2);
}

TEST_P(Export, AnExistingFileIsReplaced) {
    const host::HostScript s = small_script(fresh_path("replaced"), 2);
    test::write_file(s.output_path, Bytes(std::size_t(1) << 20, 0xAB));
    ASSERT_TRUE(run(s));
    expect_frames(s, 2);
}

// The host's path is UTF-16 and names the very file, a character outside
// the Basic Multilingual Plane (a surrogate pair) included.
TEST_P(Export, WritesToAPathBeyondAscii) {
    const std::filesystem::path path = scratch_dir("beyond-ascii") / std::u16string(u"書き出し \u00e9\U0001F3A5.png");
    const host::HostScript s = small_script(path, 2);
    ASSERT_TRUE(run(s));
    expect_frames(s, 2);
}

TEST_P(Export, StopBeforeTheFirstFrameLeavesOnlyTheTrailer) {
    host::HostScript s = small_script(fresh_path("stop0"));
    s.stop_before = 0;
    EXPECT_TRUE(run(s));
    EXPECT_EQ(log_.calls, calls_for(0, 3, true));
    expect_frames(s, 0);
}

TEST_P(Export, StopAtALaterFrameKeepsTheFramesBefore) {
    for (std::int32_t at = 1; at <= 3; ++at) {
        SCOPED_TRACE(at);
        host::HostScript s = small_script(fresh_path("stop"));
        s.stop_before = at;
        EXPECT_TRUE(run(s));
        EXPECT_EQ(log_.calls, calls_for(at, 3, at < 3)) << "a callback after the host asked to stop";
        expect_frames(s, at);
    }
}

TEST_P(Export, HugeFrameCountStoppedEarlyAnnouncesTheFramesWritten) {
    host::HostScript s = small_script(fresh_path("huge-count"), INT32_MAX);
    s.stop_before = 2;
    EXPECT_TRUE(run(s));
    EXPECT_EQ(log_.calls, calls_for(2, INT32_MAX, true));
    expect_frames(s, 2);
}

TEST_P(Export, NullFirstFrameFailsAndLeavesOnlyTheTrailer) {
    host::HostScript s = small_script(fresh_path("null0"));
    s.null_frame = 0;
    EXPECT_FALSE(run(s));
    EXPECT_EQ(log_.calls, calls_for(1, 3));
    expect_frames(s, 0);
}

TEST_P(Export, NullLaterFrameFailsAndKeepsTheFramesBefore) {
    for (std::int32_t at = 1; at < 3; ++at) {
        SCOPED_TRACE(at);
        host::HostScript s = small_script(fresh_path("null-frame"));
        s.null_frame = at;
        EXPECT_FALSE(run(s));
        EXPECT_EQ(log_.calls, calls_for(at + 1, 3)) << "the run ends at the failed frame";
        expect_frames(s, at);
    }
}

// A file that cannot be created fails the run at once: setup_hook is the
// only call the host sees, and nothing already there is touched.
TEST_P(Export, FilesThatCannotBeCreatedFailBeforeAnyFrame) {
    const std::filesystem::path dir = scratch_dir("paths");
    struct PathCase {
        const char* what;
        bool null_path;
        std::filesystem::path path;
    };
    const PathCase cases[] = {
        {"null", true, ""},
        {"empty", false, ""},
        {"a folder", false, dir},
        {"in a missing folder", false, dir / "missing" / "out.png"},
        {"under a file", false, dir / "file" / "out.png"},
#if !defined(_WIN32)
        {"in a folder that takes no new files", false, "/sys/vorlane-robust.png"},
#endif
    };
    test::write_file(dir / "file", {'k', 'e', 'e', 'p'});
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.what);
        host::HostScript s = small_script(c.path);
        s.null_path = c.null_path;
        EXPECT_FALSE(run(s));
        EXPECT_EQ(log_.calls, calls_for(0, 3));
    }
    EXPECT_EQ(test::read_file(dir / "file"), Bytes({'k', 'e', 'e', 'p'}));
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

TEST_P(Export, AReadOnlyFileIsLeftAsItWas) {
    const host::HostScript s = small_script(fresh_path("read-only"));
    test::write_file(s.output_path, {'k', 'e', 'e', 'p'});
    if (!set_read_only(s.output_path, true))
        GTEST_SKIP() << "no way to make a file read-only for this user here (as root a file mode does not stop "
                        "a write, and chattr +i is unavailable)";
    const bool ok = run(s);
    set_read_only(s.output_path, false);
    EXPECT_FALSE(ok);
    EXPECT_EQ(log_.calls, calls_for(0, 3));
    EXPECT_EQ(test::read_file(s.output_path), Bytes({'k', 'e', 'e', 'p'}));
}

TEST_P(Export, NoFramesToWriteLeavesOnlyTheTrailer) {
    for (std::int32_t count : {0, -1, INT32_MIN}) {
        SCOPED_TRACE(count);
        const host::HostScript s = small_script(fresh_path("count"), count);
        EXPECT_TRUE(run(s));
        EXPECT_EQ(log_.calls, calls_for(0, count));
        expect_frames(s, 0);
    }
}

TEST_P(Export, FrameRatesBecomeTheDelayOfEveryFrame) {
    expect_delays(std::begin(test::kFrameRates), std::end(test::kFrameRates));
}

// Zero and negative rates are not refused: the delay keeps the low 16 bits
// of whatever the signed steps give, and the file stays sound.
TEST_P(Export, ZeroAndNegativeRatesStillWriteASoundFile) {
    const Rate rates[] = {{0, 1, 1, 0},         {1, 0, 0, 1},         {0, 0, 0, 0},
                          {-30, 1, 1, 0xFFE2},  {30, -1, 0xFFFF, 30}, {-1, -1, 0xFFFF, 0xFFFF},
                          {INT32_MIN, 1, 1, 0}, {1, INT32_MIN, 0, 1}};
    expect_delays(std::begin(rates), std::end(rates));
}

// Sizes the encoder must refuse before reading a single pixel: the host's
// frame is eight guarded bytes, so any read of the pixels it describes is caught.
TEST_P(Export, SizesThatCannotBeEncodedFailFrameZeroWithoutReadingPixels) {
    const std::pair<std::int32_t, std::int32_t> sizes[] = {
        {0, 3}, {5, 0}, {-1, 3}, {5, -7}, {INT32_MIN, 1}, {INT32_MIN, INT32_MIN},
        {46341, 46341},   // 4 x 46341^2 just above 2^31 - 1
        {536870912, 1},   // 4 x 2^29 = 2^31
        {65536, 8192}, {INT32_MAX, INT32_MAX}};
    const host::GuardedBlock tiny(8);
    std::memset(tiny.data(), 0, 8);
    for (auto [w, h] : sizes) {
        SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
        host::HostScript s = small_script(fresh_path("size"));
        s.width = w;
        s.height = h;
        s.frame_override = tiny.data();
        EXPECT_FALSE(run(s));
        EXPECT_EQ(log_.calls, calls_for(1, 3));
        expect_frames(s, 0);
    }
}

#if defined(__x86_64__) || defined(_M_X64)
// The host's thread may run in another floating-point mode. Here it rounds
// toward zero and traps invalid operations, which every NaN pixel would
// raise: the words must not change, and the host gets its mode back. The
// frame is made beforehand, so the host's callbacks do no arithmetic.
TEST_P(Export, HostFloatingPointModeChangesNothing) {
    host::HostScript s = small_script(fresh_path("fp-mode"), 2);
    s.width = 64;
    s.height = 32;
    std::mt19937 random(3);
    std::vector<std::uint16_t> frame(std::size_t(s.width) * std::size_t(s.height) * 4);
    for (std::uint16_t& v : frame) v = static_cast<std::uint16_t>(random());  // NaNs included
    std::vector<std::uint32_t> words(frame.size() / 4);
    FrameConverter::convert(reinterpret_cast<const std::uint8_t*>(frame.data()), words.data(), words.size(), true);
    s.frame_override = frame.data();

    const unsigned saved = _mm_getcsr();
    const unsigned host_mode = (saved & ~0x6080u) | 0x6000u;  // toward zero; invalid unmasked
    unsigned after = 0;
    const bool ok = host::run_export([&](OutputRequest* request) {
        _mm_setcsr(host_mode);
        const bool result = module_->table()->on_output(request);
        after = _mm_getcsr();
        _mm_setcsr(saved);
        return result;
    }, s, log_);
    ASSERT_TRUE(ok);
    EXPECT_EQ(after, host_mode) << "the host's MXCSR was not given back";

    const test::DecodedApng decoded = test::decode_apng(test::read_file(s.output_path));
    ASSERT_EQ(decoded.error, "");
    ASSERT_EQ(decoded.frames.size(), 2u);
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::uint32_t w = words[i];
        const std::uint8_t want[4] = {std::uint8_t(w >> 16), std::uint8_t(w >> 8), std::uint8_t(w), std::uint8_t(w >> 24)};
        ASSERT_EQ(std::memcmp(&decoded.frames[1].rgba[i * 4], want, 4), 0) << "pixel " << i;
    }
}
#endif

INSTANTIATE_TEST_SUITE_P(Encoder, Export, ::testing::ValuesIn(encoder_backends()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace vorlane::robust
