// Exports through the real module and the platform's GDI+, checked from
// outside: the host's log of callbacks, the file's chunks, and the decoded
// frames. Every case runs with the PNGs as the encoder at hand lays them out
// and again as the encoder on Windows and its older variant do, so that under
// Wine nothing here holds only for Wine.
#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>

#include <gtest/gtest.h>
#include <xmmintrin.h>
#include <zlib.h>

#include <cstring>
#include <random>

#include "encode/frame_converter.h"
#include "encoder_layout.h"
#include "test_support.h"
#include "wine_test_support.h"

namespace vorlane::test {

// Readable parameters in failure messages.
void PrintTo(EncoderLayout layout, std::ostream* out) {
    *out << name(layout);
}

namespace {

using host::DemoContent;
using host::HostLog;
using host::HostScript;

class Export : public ::testing::TestWithParam<EncoderLayout> {
protected:
    void SetUp() override {
        module_ = load_module();
        ASSERT_TRUE(module_);
        ASSERT_TRUE(use_encoder_layout(static_cast<HMODULE>(module_->instance()), GetParam()));
    }

    HostScript script(const WorkFile& out, std::int32_t width, std::int32_t height, std::int32_t frames) {
        HostScript s;
        s.width = width;
        s.height = height;
        s.frame_count = frames;
        s.output_path = out.host_path();
        return s;
    }

    bool run(const HostScript& s) {
        log_ = {};
        return host::run_export(*module_->table(), s, log_);
    }

    // Every decoded frame is the converter's output for that demo frame.
    void expect_frames(const WorkFile& out, const HostScript& s, std::int32_t frames_in_file, bool divide) {
        const DecodedApng decoded = decode(out.path);
        ASSERT_EQ(decoded.error, "") << out.text();
        ASSERT_EQ(decoded.frames.size(), std::size_t(frames_in_file));
        for (std::int32_t i = 0; i < frames_in_file; ++i) {
            const DecodedFrame& frame = decoded.frames[std::size_t(i)];
            ASSERT_EQ(frame.width, std::uint32_t(s.width));
            ASSERT_EQ(frame.height, std::uint32_t(s.height));
            EXPECT_TRUE(frame.rgba == expected_rgba(s.content, s.width, s.height, i, s.frame_count, divide))
                << "frame " << i << " differs from the converted pixels";
        }
    }

    std::unique_ptr<host::PluginModule> module_;
    HostLog log_;
};

std::vector<std::string> frame_calls(std::int32_t index, std::int32_t total) {
    return {"progress " + std::to_string(index) + " " + std::to_string(total), "stop? " + std::to_string(index),
            "fetch " + std::to_string(index) + " HF64"};
}

TEST_P(Export, CallsTheHostInOrderAndLaysOutTheAnimation) {
    const WorkFile out = work_file("order.png");
    HostScript s = script(out, 23, 11, 3);
    s.fps_num = 30000;
    s.fps_den = 1001;
    // While the export runs, anyone may read the file, but nobody else may write it.
    std::vector<std::uint8_t> head(8);
    DWORD head_read = 0;
    DWORD writer_error = 0;
    s.on_progress = [&](std::int32_t index, std::int32_t) {
        if (index != 1) return;
        const std::wstring path = out.path.wstring();
        const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        const HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
        if (reader != INVALID_HANDLE_VALUE) {
            ReadFile(reader, head.data(), DWORD(head.size()), &head_read, nullptr);
            CloseHandle(reader);
        }
        const HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0, nullptr);
        writer_error = writer == INVALID_HANDLE_VALUE ? GetLastError() : 0;
        if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    };
    ASSERT_TRUE(run(s));
    EXPECT_EQ(head_read, 8u) << "another program cannot read the file during the export";
    EXPECT_EQ(head, (std::vector<std::uint8_t>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
    EXPECT_EQ(writer_error, DWORD(ERROR_SHARING_VIOLATION)) << "another program could write the file";

    std::vector<std::string> want = {"setup 16 1"};
    for (std::int32_t i = 0; i < 3; ++i)
        for (const std::string& call : frame_calls(i, 3)) want.push_back(call);
    EXPECT_EQ(log_.calls, want);

    // Frame 0's own chunks ahead of its image data, pHYs left out, unchanged;
    // then the animation, whatever the encoder put in front.
    ASSERT_EQ(encoded_frames().size(), 3u);
    const std::vector<Chunk> own = read_chunks(encoded_frames()[0]);
    std::vector<Chunk> header;
    for (const Chunk& c : own) {
        if (c.type == "IDAT") break;
        if (c.type != "pHYs") header.push_back(c);
    }
    const std::vector<Chunk> chunks = read_chunks(read_file(out.path));
    ASSERT_GT(chunks.size(), header.size());
    for (std::size_t i = 0; i < header.size(); ++i) {
        EXPECT_EQ(chunks[i].type, header[i].type) << i;
        EXPECT_TRUE(chunks[i].data == header[i].data) << chunks[i].type << " changed";
    }
    std::vector<std::string> types;
    for (std::size_t i = header.size(); i < chunks.size(); ++i)
        if (types.empty() || types.back() != chunks[i].type || (chunks[i].type != "IDAT" && chunks[i].type != "fdAT"))
            types.push_back(chunks[i].type);
    // Runs of image chunks collapsed: one entry per frame's data.
    const std::vector<std::string> layout = {"acTL", "fcTL", "IDAT", "fcTL", "fdAT", "fcTL", "fdAT"};
    ASSERT_GE(types.size(), layout.size() + 2);
    EXPECT_EQ(std::vector<std::string>(types.begin(), types.begin() + std::ptrdiff_t(layout.size())), layout);
    EXPECT_EQ(types.back(), "IEND");
    for (const Chunk& c : chunks) EXPECT_NE(c.type, "pHYs") << "the encoder's pHYs is left out";

    // Sequence numbers run across fcTL and fdAT without a gap.
    std::uint32_t next = 0;
    for (const Chunk& c : chunks) {
        if (c.type == "acTL") {
            EXPECT_EQ(be32(&c.data[0]), 3u);
            EXPECT_EQ(be32(&c.data[4]), 0u) << "loops forever";
        }
        if (c.type == "fcTL" || c.type == "fdAT") {
            EXPECT_EQ(be32(&c.data[0]), next++);
        }
        if (c.type == "fcTL") {
            EXPECT_EQ(be32(&c.data[4]), 23u);
            EXPECT_EQ(be32(&c.data[8]), 11u);
            EXPECT_EQ(be16(&c.data[20]), 1001u);
            EXPECT_EQ(be16(&c.data[22]), 30000u);
        }
    }
    expect_frames(out, s, 3, true);
}

TEST_P(Export, AnExistingFileIsReplaced) {
    const WorkFile out = work_file("replaced.png");
    write_file(out.path, std::vector<std::uint8_t>(1 << 20, 0xAB));
    const HostScript s = script(out, 9, 7, 2);
    ASSERT_TRUE(run(s));
    EXPECT_LT(read_file(out.path).size(), std::size_t(1) << 20);
    expect_frames(out, s, 2, true);
}

// The host's path is UTF-16 and reaches CreateFileW as it is.
TEST_P(Export, WritesToAPathBeyondAscii) {
    const WorkFile dir = work_file("");
    const std::u16string name = u"書き出し \u00e9\U0001F3A5.png";
    HostScript s = script(dir, 6, 4, 2);
    s.output_path = dir.host_path() + name;
    ASSERT_TRUE(run(s));
    const std::filesystem::path path(std::wstring(s.output_path.begin(), s.output_path.end()));
    std::error_code ec;
    ASSERT_TRUE(std::filesystem::exists(path, ec));
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<Chunk> chunks = read_chunks(bytes);
    ASSERT_GE(chunks.size(), 2u);
    EXPECT_EQ(chunks.front().type, "IHDR");
    EXPECT_TRUE(std::any_of(chunks.begin(), chunks.end(), [](const Chunk& c) { return c.type == "acTL"; }));
    in.close();
    std::filesystem::remove(path, ec);
}

TEST_P(Export, StopBeforeTheFirstFrameLeavesOnlyTheTrailer) {
    const WorkFile out = work_file("stop0.png");
    HostScript s = script(out, 8, 8, 3);
    s.stop_before = 0;
    EXPECT_TRUE(run(s));
    EXPECT_EQ(log_.calls, (std::vector<std::string>{"setup 16 1", "progress 0 3", "stop? 0"}));
    EXPECT_TRUE(is_trailer_only(read_file(out.path)));
}

TEST_P(Export, StopMidRunKeepsTheFramesBeforeIt) {
    const WorkFile out = work_file("stop2.png");
    HostScript s = script(out, 17, 10, 5);
    s.stop_before = 2;
    EXPECT_TRUE(run(s));
    ASSERT_GE(log_.calls.size(), 2u);
    EXPECT_EQ(log_.calls.back(), "stop? 2") << "no callback after the host asked to stop";
    EXPECT_EQ(log_.frames_served, 2);
    expect_frames(out, s, 2, true);
}

TEST_P(Export, NullFrameFailsTheRun) {
    {
        const WorkFile out = work_file("null0.png");
        HostScript s = script(out, 8, 8, 3);
        s.null_frame = 0;
        EXPECT_FALSE(run(s));
        EXPECT_EQ(log_.calls.back(), "fetch 0 HF64");
        EXPECT_TRUE(is_trailer_only(read_file(out.path)));
    }
    {
        const WorkFile out = work_file("null2.png");
        HostScript s = script(out, 12, 5, 4);
        s.null_frame = 2;
        EXPECT_FALSE(run(s));
        EXPECT_EQ(log_.calls.back(), "fetch 2 HF64") << "the run ends at the failed frame";
        expect_frames(out, s, 2, true);
    }
}

TEST_P(Export, AFileThatCannotBeCreatedFailsBeforeAnyFrameCallback) {
    const WorkFile missing_dir = work_file("no-such-folder/out.png");
    const WorkFile a_folder = work_file("");  // the work folder itself
    for (const WorkFile* out : {&missing_dir, &a_folder}) {
        const HostScript s = script(*out, 8, 8, 3);
        EXPECT_FALSE(run(s)) << out->text();
        EXPECT_EQ(log_.calls, std::vector<std::string>{"setup 16 1"});
    }
    EXPECT_FALSE(file_exists(missing_dir.path));
}

TEST_P(Export, NoFramesGiveTheTrailerAndSuccess) {
    for (const std::int32_t count : {0, -1, INT32_MIN}) {
        const WorkFile out = work_file("empty" + std::to_string(count) + ".png");
        const HostScript s = script(out, 8, 8, count);
        EXPECT_TRUE(run(s)) << count;
        EXPECT_EQ(log_.calls, std::vector<std::string>{"setup 16 1"});
        EXPECT_TRUE(is_trailer_only(read_file(out.path))) << count;
    }
}

TEST_P(Export, FrameRatesReachEveryFcTLAsDelays) {
    struct Rate {
        std::int32_t fps_num, fps_den;
        std::uint16_t delay_num, delay_den;
    };
    const Rate rates[] = {
        {30, 1, 1, 30},           {30000, 1001, 1001, 30000}, {60, 2, 2, 60},
        {0, 1, 1, 0},             {70000, 1, 1, 7000},        {655360, 1, 1, 6554},
        {1, 70000, 60000, 1},     {1, 65536, 60000, 1},       {3, 100000, 60000, 2},
        {100000, 3, 1, 10000},    {200000, 100001, 10001, 20000}, {120000, 2002, 1001, 60000},
        {32767, 200000000, 60000, 10}, {1, 2147483647, 60000, 1},
    };
    for (const Rate& r : rates) {
        const WorkFile out = work_file("rate.png");
        HostScript s = script(out, 3, 2, 2);
        s.fps_num = r.fps_num;
        s.fps_den = r.fps_den;
        ASSERT_TRUE(run(s));
        int fctl = 0;
        for (const Chunk& c : read_chunks(read_file(out.path))) {
            if (c.type != "fcTL") continue;
            ++fctl;
            EXPECT_EQ(be16(&c.data[20]), r.delay_num) << r.fps_num << "/" << r.fps_den;
            EXPECT_EQ(be16(&c.data[22]), r.delay_den) << r.fps_num << "/" << r.fps_den;
        }
        EXPECT_EQ(fctl, 2);
    }
}

// A large frame that does not compress spans many IDAT chunks (Wine's
// encoder writes them 8 KiB each, far more than 256 a frame): every one must
// reach the file.
TEST_P(Export, LargeNoisyFramesDecodeComplete) {
    const WorkFile out = work_file("noise.png");
    HostScript s = script(out, 1920, 1080, 2);
    s.content = DemoContent::Noise;
    ASSERT_TRUE(run(s));
    ASSERT_EQ(encoded_frames().size(), 2u);
    std::vector<std::size_t> encoded_idats;
    for (const Chunk& c : read_chunks(encoded_frames()[0]))
        if (c.type == "IDAT") encoded_idats.push_back(c.data.size());
    std::size_t first_frame_idats = 0;
    for (const Chunk& c : read_chunks(read_file(out.path))) first_frame_idats += c.type == "IDAT";
    EXPECT_EQ(first_frame_idats, encoded_idats.size());
    if (GetParam() == EncoderLayout::AsEncoded && wine::is_wine()) {
        EXPECT_GT(first_frame_idats, 256u);  // Wine's 8 KiB chunks; Windows writes about 130 here
    }
    if (GetParam() == EncoderLayout::Windows) {
        // The layout itself: data ends on 64 KiB file offsets after the usual 83-byte header.
        ASSERT_GT(encoded_idats.size(), 100u);
        EXPECT_EQ(encoded_idats[0], 65445u);
        EXPECT_EQ(encoded_idats[1], 65524u);
    }
    expect_frames(out, s, 2, true);
}

// The host's thread may run in another floating-point mode. Here it rounds
// toward zero and traps invalid operations, which every NaN pixel would
// raise: the words must not change, and the host gets its mode back. The
// frame is made beforehand, so the host's callbacks do no arithmetic.
std::vector<std::uint16_t> g_prepared_frame;

void* VORLANE_CALL serve_prepared(std::int32_t, std::uint32_t) {
    return g_prepared_frame.data();
}

TEST_P(Export, HostFloatingPointModeChangesNothing) {
    const WorkFile out = work_file("fp-mode.png");
    const std::int32_t width = 64, height = 32;
    std::mt19937 random(3);
    g_prepared_frame.resize(std::size_t(width) * height * 4);
    for (std::uint16_t& v : g_prepared_frame) v = static_cast<std::uint16_t>(random());  // NaNs included
    std::vector<std::uint32_t> words(std::size_t(width) * height);
    FrameConverter::convert(reinterpret_cast<const std::uint8_t*>(g_prepared_frame.data()), words.data(),
                            words.size(), true);

    const std::u16string path = out.host_path();
    OutputRequest request{};
    request.width = width;
    request.height = height;
    request.fps_num = 30;
    request.fps_den = 1;
    request.frame_count = 2;
    request.output_path = path.c_str();
    request.fetch_frame = serve_prepared;
    request.should_stop = [] { return false; };
    request.report_progress = [](std::int32_t, std::int32_t) {};
    request.setup_hook = [](std::int32_t, std::int32_t) {};

    const unsigned saved = _mm_getcsr();
    const unsigned host_mode = (saved & ~0x6080u) | 0x6000u;  // toward zero; invalid unmasked
    _mm_setcsr(host_mode);
    const bool ok = module_->table()->on_output(&request);
    const unsigned after = _mm_getcsr();
    _mm_setcsr(saved);
    ASSERT_TRUE(ok);
    EXPECT_EQ(after, host_mode) << "the host's MXCSR was not given back";

    const DecodedApng decoded = decode(out.path);
    ASSERT_EQ(decoded.error, "");
    ASSERT_EQ(decoded.frames.size(), 2u);
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::uint32_t w = words[i];
        const std::uint8_t want[4] = {std::uint8_t(w >> 16), std::uint8_t(w >> 8), std::uint8_t(w), std::uint8_t(w >> 24)};
        ASSERT_EQ(std::memcmp(&decoded.frames[1].rgba[i * 4], want, 4), 0) << "pixel " << i;
    }
}

// C:/temp is the diagnostic folder. This test makes it and removes it; one
// that was there already is someone else's, and is left alone.
class DiagnosticCopies : public Export {
protected:
    static constexpr int kFrames = 4;
    void SetUp() override {
        if (GetFileAttributesW(kDiagnosticFolder.c_str()) != INVALID_FILE_ATTRIBUTES)
            GTEST_SKIP() << "C:\\temp exists on this machine: the test would mix its copies with what is there "
                            "and then remove the folder. Rename it to run this test.";
        Export::SetUp();
    }
    void TearDown() override {
        for (const std::filesystem::path& link : links_) remove_link(link);
        if (made_) remove_diagnostic_folder(kFrames);
    }
    // A link the test made, removed again however the test ends.
    bool link(const std::filesystem::path& at, const std::filesystem::path& target) {
        if (!make_link(at, target)) return false;
        links_.push_back(at);
        return true;
    }
    bool made_ = false;
    std::vector<std::filesystem::path> links_;
    static std::filesystem::path copy(const char* prefix, int index) {
        wchar_t name[32];
        std::swprintf(name, 32, L"%hs%03d.png", prefix, index);
        return kDiagnosticFolder / name;
    }
    static std::vector<std::filesystem::path> listing(const std::filesystem::path& folder) {
        std::vector<std::filesystem::path> names;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
};

// The image data of frame `index` in the APNG, fdAT sequence numbers dropped.
std::vector<std::uint8_t> frame_data(const std::vector<Chunk>& chunks, int index) {
    std::vector<std::uint8_t> data;
    int frame = -1;
    for (const Chunk& c : chunks) {
        if (c.type == "fcTL") ++frame;
        if (frame != index) continue;
        if (c.type == "IDAT") data.insert(data.end(), c.data.begin(), c.data.end());
        if (c.type == "fdAT") data.insert(data.end(), c.data.begin() + 4, c.data.end());
    }
    return data;
}

TEST_P(DiagnosticCopies, EveryFrameLeavesTwoCopiesAndTheFolderChangesNothingElse) {
    made_ = make_diagnostic_folder();
    ASSERT_TRUE(made_);
    // Links that another user planted under frame 0's copies: the copies
    // replace them, and the files they lead to stay as they were.
    const WorkFile planted_as = work_file("planted-as.txt");
    const WorkFile planted_at = work_file("planted-at.txt");
    write_file(planted_as.path, {'a', 's'});
    write_file(planted_at.path, {'a', 't'});
    const bool planted = link(copy("as", 0), planted_as.path) && link(copy("at", 0), planted_at.path);
    if (!planted) std::printf("report: diagnostic copies: no file links can be made here, so none was planted\n");

    const WorkFile with = work_file("with-temp.png");
    HostScript s = script(with, 21, 13, kFrames);
    s.null_frame = 3;
    EXPECT_FALSE(run(s));
    const std::vector<Chunk> chunks = read_chunks(read_file(with.path));
    EXPECT_EQ(read_file(planted_as.path), (std::vector<std::uint8_t>{'a', 's'})) << "written through a link";
    EXPECT_EQ(read_file(planted_at.path), (std::vector<std::uint8_t>{'a', 't'})) << "written through a link";
    // Both copies of each frame that reached the encoder, and nothing else:
    // no temporary file stays behind.
    std::vector<std::filesystem::path> names;
    for (int i = 0; i < 3; ++i)
        for (const char* prefix : {"as", "at"}) names.push_back(copy(prefix, i).filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(listing(kDiagnosticFolder), names);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(file_exists(copy("as", i))) << i;
        const std::vector<std::uint8_t> at = read_file(copy("at", i));
        ASSERT_FALSE(at.empty()) << i;
        // The copy is that frame's PNG: its IHDR is the file's, its image data
        // what the file carries for the frame.
        const std::vector<Chunk> own = read_chunks(at);
        ASSERT_FALSE(own.empty());
        EXPECT_EQ(own.front().data, chunks.front().data) << i;
        EXPECT_EQ(frame_data(own, -1), frame_data(chunks, i)) << i;
    }
    // Who may do what with a copy; Wine keeps no access control list, so
    // only Windows shows the one the module gave it.
    unsigned char security[4096];
    DWORD needed = 0;
    wchar_t* dacl = nullptr;
    if (GetFileSecurityW(copy("as", 1).c_str(), DACL_SECURITY_INFORMATION, security, sizeof security, &needed) &&
        ConvertSecurityDescriptorToStringSecurityDescriptorW(security, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                             &dacl, nullptr)) {
        std::printf("report: diagnostic copies: as001.png carries %ls\n", dacl);
        LocalFree(dacl);
    }
    // Frame 1's copy decodes, on its own, to that frame.
    const WorkFile copy1 = work_file("at001.png");
    write_file(copy1.path, read_file(copy("at", 1)));
    const DecodedApng decoded = decode(copy1.path);
    ASSERT_TRUE(decoded.error.empty() && decoded.frames.size() == 1) << decoded.error;
    EXPECT_TRUE(decoded.frames[0].rgba == expected_rgba(s.content, 21, 13, 1, 4, true));
    // The null frame never reached the encoder.
    EXPECT_FALSE(file_exists(copy("as", 3)));
    EXPECT_FALSE(file_exists(copy("at", 3)));

    for (const std::filesystem::path& planted_link : links_) remove_link(planted_link);
    links_.clear();
    remove_diagnostic_folder(kFrames);
    made_ = false;
    ASSERT_EQ(GetFileAttributesW(kDiagnosticFolder.c_str()), INVALID_FILE_ATTRIBUTES) << "C:\\temp was not removed";
    const WorkFile without = work_file("without-temp.png");
    s.output_path = without.host_path();
    EXPECT_FALSE(run(s));
    EXPECT_EQ(read_file(without.path), read_file(with.path));

    // A C:\temp that is a link to another folder is not used at all.
    const WorkFile elsewhere = work_file("elsewhere");
    std::filesystem::create_directory(elsewhere.path);
    if (!link(kDiagnosticFolder, elsewhere.path)) {
        std::printf("report: diagnostic copies: no folder link can be made here, so C:\\temp was never one\n");
        return;
    }
    const WorkFile linked = work_file("linked-temp.png");
    s.output_path = linked.host_path();
    EXPECT_FALSE(run(s));
    EXPECT_EQ(listing(elsewhere.path), std::vector<std::filesystem::path>{}) << "copies written through C:\\temp";
    EXPECT_EQ(read_file(linked.path), read_file(with.path));
}

// What the system's own encoder writes for a small frame of soft edges,
// which the module stitches as it is: printed for the test bundle's report,
// since the real encoder's layout is known here only from files it saved.
TEST(SystemEncoder, WritesAStillPngOfExactlyThePixels) {
    const auto module = load_module();
    ASSERT_TRUE(module);
    ASSERT_TRUE(use_encoder_layout(static_cast<HMODULE>(module->instance()), EncoderLayout::AsEncoded));
    const WorkFile out = work_file("system-encoder.png");
    HostScript s;
    s.width = 16;
    s.height = 8;
    s.frame_count = 1;
    s.output_path = out.host_path();
    HostLog log;
    ASSERT_TRUE(host::run_export(*module->table(), s, log));
    ASSERT_EQ(encoded_frames().size(), 1u);
    const std::vector<std::uint8_t>& png = encoded_frames()[0];
    const DecodedApng still = decode_apng(png);
    ASSERT_EQ(still.error, "");
    ASSERT_EQ(still.frames.size(), 1u);
    EXPECT_FALSE(still.animated);
    EXPECT_TRUE(still.frames[0].rgba == expected_rgba(s.content, 16, 8, 0, 1, true));

    const std::vector<Chunk> chunks = read_chunks(png);
    ASSERT_FALSE(chunks.empty());
    ASSERT_EQ(chunks[0].type, "IHDR");
    std::string list;
    std::vector<std::uint8_t> data;
    for (const Chunk& c : chunks) {
        if (!list.empty()) list += ", ";
        list += c.type;
        list += ' ';
        list += std::to_string(c.data.size());
        if (c.type == "IDAT") data.insert(data.end(), c.data.begin(), c.data.end());
    }
    const std::vector<std::uint8_t>& ihdr = chunks[0].data;
    ASSERT_EQ(ihdr.size(), 13u);
    ASSERT_GE(data.size(), 2u);
    // Bytes per pixel of the colour types a 32-bit ARGB bitmap may come out as.
    const int channels = ihdr[9] == 6 ? 4 : ihdr[9] == 2 ? 3 : ihdr[9] == 4 ? 2 : 1;
    const std::size_t stride = 1 + std::size_t(be32(&ihdr[0])) * std::size_t(channels) * ihdr[8] / 8;
    std::vector<std::uint8_t> rows(stride * be32(&ihdr[4]));
    uLongf size = uLongf(rows.size());
    ASSERT_EQ(uncompress(rows.data(), &size, data.data(), uLong(data.size())), Z_OK);
    std::string filters;
    for (std::size_t at = 0; at < size; at += stride) {
        if (!filters.empty()) filters += " ";
        filters += std::to_string(rows[at]);
    }
    char zlib_header[8];
    std::snprintf(zlib_header, sizeof zlib_header, "%02X %02X", data[0], data[1]);
    std::printf("report: system encoder, 16 x 8 frame: %zu bytes; chunks %s\n", png.size(), list.c_str());
    std::printf("report: system encoder: IHDR %u x %u, bit depth %u, colour type %u, compression %u, filter %u, "
                "interlace %u; zlib header %s; row filters %s\n",
                unsigned(be32(&ihdr[0])), unsigned(be32(&ihdr[4])), ihdr[8], ihdr[9], ihdr[10], ihdr[11], ihdr[12],
                zlib_header, filters.c_str());
    if (wine::is_wine()) std::printf("report: the encoder is Wine's (%s)\n", wine::version().c_str());
    std::fflush(stdout);
}

std::string layout_name(const ::testing::TestParamInfo<EncoderLayout>& info) {
    return name(info.param);
}
constexpr EncoderLayout kLayouts[] = {EncoderLayout::AsEncoded, EncoderLayout::Windows, EncoderLayout::OlderWindows};
INSTANTIATE_TEST_SUITE_P(Encoder, Export, ::testing::ValuesIn(kLayouts), layout_name);
INSTANTIATE_TEST_SUITE_P(Encoder, DiagnosticCopies, ::testing::ValuesIn(kLayouts), layout_name);

}  // namespace
}  // namespace vorlane::test
