#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "apng/chunk_scanner.h"
#include "apng/chunk_type.h"
#include "apng/chunk_writer.h"
#include "apng/crc32.h"
#include "apng_reader.h"

namespace vorlane {
namespace {

using test::Bytes;

TEST(Crc32, MatchesZlibOnRandomBuffers) {
    std::mt19937 rng(7);
    Bytes data(100003 + 8);
    for (auto& b : data) b = std::uint8_t(rng());
    // Every start offset and length around the eight-byte steps.
    for (std::size_t start = 0; start < 8; ++start)
        for (std::size_t size : {0u, 1u, 3u, 7u, 8u, 9u, 15u, 16u, 17u, 255u, 256u, 8192u, 8196u, 100003u})
            EXPECT_EQ(crc32(&data[start], size), ::crc32(0, &data[start], uInt(size))) << start << "+" << size;
    const std::uint8_t iend[] = {'I', 'E', 'N', 'D'};
    EXPECT_EQ(crc32(iend, 4), 0xAE426082u);
}

TEST(ChunkWriter, FramesLengthTypeAndCrcAroundData) {
    Bytes buffer(3 + 12 + 5, 0xEE);
    const Bytes data = {1, 2, 3, 4, 5};
    std::copy(data.begin(), data.end(), buffer.begin() + 3 + 8);
    ChunkWriter::frame(buffer.data(), 3, 17, chunk_type("abCD"));
    EXPECT_EQ(buffer[0], 0xEE);  // nothing before pos touched
    const auto read = test::read_chunks(Bytes(buffer.begin() + 3, buffer.end()), 0);
    ASSERT_EQ(read.error, "");
    ASSERT_EQ(read.list.size(), 1u);
    EXPECT_EQ(read.list[0].type, "abCD");
    EXPECT_EQ(read.list[0].data, data);
    EXPECT_TRUE(read.list[0].crc_ok);
}

std::vector<std::uint32_t> types_of(const std::vector<ChunkRecord>& table) {
    std::vector<std::uint32_t> types;
    for (const auto& r : table) types.push_back(r.type);
    return types;
}

TEST(ChunkScanner, RecordsEveryChunkInOrder) {
    const Bytes png = test::make_png({{"IHDR", 13}, {"IDAT", 100}, {"IDAT", 0}, {"IEND", 0}});
    const auto table = ChunkScanner::scan(png.data(), png.size());
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(types_of(table), (std::vector<std::uint32_t>{kIHDR, kIDAT, kIDAT, kIEND}));
    EXPECT_EQ(table[0].offset, 8);
    EXPECT_EQ(table[1].offset, 8 + 25);
    EXPECT_EQ(table[1].length, 100);
    EXPECT_EQ(table[2].offset, 8 + 25 + 112);
}

TEST(ChunkScanner, StoppingRules) {
    Bytes png = test::make_png({{"IHDR", 13}, {"IDAT", 20}, {"IEND", 0}});
    // A last chunk running past the end is not recorded.
    Bytes cut(png.begin(), png.end() - 1);
    EXPECT_EQ(ChunkScanner::scan(cut.data(), cut.size()).size(), 2u);
    // Trailing bytes too few for a chunk end the table quietly.
    Bytes tail = png;
    tail.insert(tail.end(), {0, 0, 0});
    EXPECT_EQ(ChunkScanner::scan(tail.data(), tail.size()).size(), 3u);
    // A length above 0x40000000 stops the scan, even with room to spare.
    Bytes huge = png;
    huge[8 + 25] = 0x40;
    huge[8 + 25 + 3] = 0x01;
    EXPECT_EQ(ChunkScanner::scan(huge.data(), huge.size()).size(), 1u);
    // A length of 0xFFFFFFF4 would wrap a 32-bit offset + 12 + length.
    Bytes wrap = png;
    wrap[8 + 25] = wrap[9 + 25] = wrap[10 + 25] = 0xFF;
    wrap[11 + 25] = 0xF4;
    EXPECT_EQ(ChunkScanner::scan(wrap.data(), wrap.size()).size(), 1u);
    // Shorter than a signature plus one chunk: nothing.
    EXPECT_TRUE(ChunkScanner::scan(png.data(), 19).empty());
    EXPECT_TRUE(ChunkScanner::scan(png.data(), 0).empty());
}

TEST(ChunkScanner, KeepsMoreThan256Chunks) {
    std::vector<std::pair<const char*, std::size_t>> chunks = {{"IHDR", 13}};
    for (int i = 0; i < 600; ++i) chunks.push_back({"IDAT", 7});
    chunks.push_back({"IEND", 0});
    const Bytes png = test::make_png(chunks);
    const auto table = ChunkScanner::scan(png.data(), png.size());
    ASSERT_EQ(table.size(), 602u);
    EXPECT_EQ(table.back().type, kIEND);
}

}  // namespace
}  // namespace vorlane
