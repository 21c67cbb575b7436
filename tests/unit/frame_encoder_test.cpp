#include "encode/frame_encoder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "apng/chunk_scanner.h"
#include "apng/chunk_type.h"
#include "support/module_host.h"
#include "apng_reader.h"

namespace vorlane {
namespace {

// A frame of opaque pixels, each channel different.
std::vector<std::uint16_t> frame(std::int32_t width, std::int32_t height) {
    std::vector<std::uint16_t> px(std::size_t(width) * std::size_t(height) * 4);
    for (std::size_t i = 0; i < px.size(); i += 4) {
        px[i] = 0x3400;      // 0.25
        px[i + 1] = 0x3800;  // 0.5
        px[i + 2] = 0x0000;
        px[i + 3] = 0x3C00;  // 1
    }
    return px;
}

TEST(FrameEncoder, RefusesWhatCannotBeABitmap) {
    auto encoder = start_png_encoder();
    const auto px = frame(2, 2);
    EXPECT_FALSE(FrameEncoder::encode(nullptr, 2, 2, true, 0, *encoder));
    for (auto [w, h] : {std::pair{0, 2}, {2, 0}, {-1, 2}, {2, -5}, {-2, -2}})
        EXPECT_FALSE(FrameEncoder::encode(px.data(), w, h, true, 0, *encoder)) << w << "x" << h;
    // Over 2^31 - 1 converted bytes: refused before any allocation or any
    // read of the host's (here tiny) buffer, which ASan would catch.
    EXPECT_FALSE(FrameEncoder::encode(px.data(), 32768, 16384, true, 0, *encoder));
    EXPECT_FALSE(FrameEncoder::encode(px.data(), 2147483647, 2147483647, true, 0, *encoder));
}

TEST(FrameEncoder, YieldsOneCompletePngWithTheSameHeaderEveryFrame) {
    auto encoder = start_png_encoder();
    const auto px = frame(7, 3);
    MemoryBlock a = FrameEncoder::encode(px.data(), 7, 3, true, 0, *encoder);
    MemoryBlock b = FrameEncoder::encode(px.data(), 7, 3, false, 1, *encoder);
    ASSERT_TRUE(a);
    ASSERT_TRUE(b);
    const auto table = ChunkScanner::scan(a.data(), a.size());
    ASSERT_GE(table.size(), 3u);
    EXPECT_EQ(table.front().type, kIHDR);
    EXPECT_EQ(table.back().type, kIEND);
    EXPECT_TRUE(std::equal(a.data(), a.data() + 8 + 25, b.data()));  // signature and IHDR
}

TEST(FrameEncoder, LeavesDiagnosticCopiesWhereTheFolderExists) {
    test::ScratchDir dir;
    const auto cwd = std::filesystem::current_path();
    // "C:/temp/..." is a relative path here: give it a folder to land in.
    std::filesystem::current_path(dir.file(""));
    std::filesystem::create_directories("C:/temp");
    // Links planted under a copy's name are replaced, not written through.
    std::ofstream("victim") << 'v';
    std::filesystem::create_symlink("../../victim", "C:/temp/at007.png");
    std::filesystem::create_symlink("../../victim", "C:/temp/as007.png");
    auto encoder = start_png_encoder();
    const auto px = frame(5, 4);
    MemoryBlock png = FrameEncoder::encode(px.data(), 5, 4, true, 7, *encoder);
    MemoryBlock later = FrameEncoder::encode(px.data(), 5, 4, true, 1234, *encoder);
    const auto copy = test::read_file("C:/temp/at007.png");
    const auto victim = test::read_file("victim");
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator("C:/temp")) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    // A folder that is a link to another is not used.
    std::filesystem::rename("C:/temp", "elsewhere");
    std::filesystem::create_directory_symlink("../elsewhere", "C:/temp");
    MemoryBlock through_link = FrameEncoder::encode(px.data(), 5, 4, true, 8, *encoder);
    const bool written_through_link = std::filesystem::exists("elsewhere/at008.png");
    std::filesystem::current_path(cwd);

    ASSERT_TRUE(png);
    EXPECT_TRUE(later);
    EXPECT_TRUE(through_link);
    EXPECT_EQ(copy, test::Bytes(png.data(), png.data() + png.size()));
    EXPECT_EQ(victim, test::Bytes{'v'});
    EXPECT_EQ(names, (std::vector<std::string>{"as007.png", "as1234.png", "at007.png", "at1234.png"}));
    EXPECT_FALSE(written_through_link);
}

}  // namespace
}  // namespace vorlane
