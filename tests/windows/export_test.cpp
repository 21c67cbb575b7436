// What only the platform's own encoder and file system show, beyond the
// export cases every backend runs (tests/robustness/export_matrix_test.cpp):
// how the encoder's chunks reach the file, large frames and the diagnostic
// copies. Each runs with the PNGs as
// the encoder at hand lays them out and again as the encoder on Windows and
// its older variant do, so that under Wine nothing here holds only for Wine.
#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <filesystem>
#include <ostream>

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

#include "apng_reader.h"
#include "demo_pixels.h"
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

class WindowsExport : public ::testing::TestWithParam<EncoderLayout> {
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
    void expect_frames(const WorkFile& out, const HostScript& s, std::int32_t frames_in_file) {
        const DecodedApng decoded = decode(out.path);
        ASSERT_EQ(decoded.error, "") << out.text();
        ASSERT_EQ(decoded.frames.size(), std::size_t(frames_in_file));
        for (std::int32_t i = 0; i < frames_in_file; ++i)
            EXPECT_TRUE(decoded.frames[std::size_t(i)].rgba == expected_rgba(s, i))
                << "frame " << i << " differs from the converted pixels";
    }

    std::unique_ptr<host::PluginModule> module_;
    HostLog log_;
};

// Frame 0's own chunks go ahead of its image data unchanged, the encoder's
// pHYs left out. While the export runs, anyone may read the file, but
// nobody else may write it.
TEST_P(WindowsExport, CopiesTheEncodersHeaderAndLetsOthersOnlyReadTheFile) {
    const WorkFile out = work_file("order.png");
    HostScript s = script(out, 23, 11, 3);
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
    EXPECT_EQ(head, kPngSignature);
    EXPECT_EQ(writer_error, DWORD(ERROR_SHARING_VIOLATION)) << "another program could write the file";

    ASSERT_EQ(encoded_frames().size(), 3u);
    std::vector<Chunk> header;
    for (const Chunk& c : read_chunks(encoded_frames()[0]).list) {
        if (c.type == "IDAT") break;
        if (c.type != "pHYs") header.push_back(c);
    }
    const Chunks chunks = read_chunks(read_file(out.path));
    ASSERT_GT(chunks.list.size(), header.size());
    for (std::size_t i = 0; i < header.size(); ++i) {
        EXPECT_EQ(chunks.list[i].type, header[i].type) << i;
        EXPECT_TRUE(chunks.list[i].data == header[i].data) << chunks.list[i].type << " changed";
    }
    EXPECT_EQ(chunks.list[header.size()].type, "acTL");
    EXPECT_EQ(chunks.count("pHYs"), 0u) << "the encoder's pHYs is left out";
    expect_frames(out, s, 3);
}

// A large frame that does not compress spans many IDAT chunks (Wine's
// encoder writes them 8 KiB each, far more than 256 a frame): every one the
// encoder wrote reaches the file. That the frames decode is an export case
// of every backend.
TEST_P(WindowsExport, LargeNoisyFramesKeepEveryImageChunk) {
    const WorkFile out = work_file("noise.png");
    HostScript s = script(out, 1920, 1080, 2);
    s.content = DemoContent::Noise;
    ASSERT_TRUE(run(s));
    ASSERT_EQ(encoded_frames().size(), 2u);
    std::vector<std::size_t> encoded_idats;
    for (const Chunk& c : read_chunks(encoded_frames()[0]).list)
        if (c.type == "IDAT") encoded_idats.push_back(c.data.size());
    const std::size_t first_frame_idats = read_chunks(read_file(out.path)).count("IDAT");
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
}

// C:/temp is the diagnostic folder. This test makes it and removes it; one
// that was there already is someone else's, and is left alone.
class DiagnosticCopies : public WindowsExport {
protected:
    static constexpr int kFrames = 4;
    void SetUp() override {
        if (GetFileAttributesW(kDiagnosticFolder.c_str()) != INVALID_FILE_ATTRIBUTES)
            GTEST_SKIP() << "C:\\temp exists on this machine: the test would mix its copies with what is there "
                            "and then remove the folder. Rename it to run this test.";
        WindowsExport::SetUp();
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

// The image data of a still PNG.
Bytes image_data(const Chunks& chunks) {
    Bytes data;
    for (const Chunk& c : chunks.list)
        if (c.type == "IDAT") data.insert(data.end(), c.data.begin(), c.data.end());
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
    Reading reading;
    EXPECT_EQ(check_apng(read_file(with.path), {21, 13, 1, 30, 3}, &reading), "");
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
        const Chunks own = read_chunks(at);
        ASSERT_FALSE(own.list.empty());
        ASSERT_EQ(reading.frame_data.size(), 3u);
        EXPECT_EQ(own.list.front().data, reading.header.front().data) << i;
        EXPECT_EQ(image_data(own), reading.frame_data[std::size_t(i)]) << i;
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
    EXPECT_TRUE(decoded.frames[0].rgba == expected_rgba(s, 1));
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
    EXPECT_TRUE(still.frames[0].rgba == expected_rgba(s, 0));

    const std::vector<Chunk> chunks = read_chunks(png).list;
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
INSTANTIATE_TEST_SUITE_P(Encoder, WindowsExport, ::testing::ValuesIn(kEncoderLayouts), layout_name);
INSTANTIATE_TEST_SUITE_P(Encoder, DiagnosticCopies, ::testing::ValuesIn(kEncoderLayouts), layout_name);

}  // namespace
}  // namespace vorlane::test
