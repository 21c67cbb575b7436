#include "apng/apng_writer.h"

#include <gtest/gtest.h>

#include "apng_reader.h"
#include "memory_sink.h"

namespace vorlane {
namespace {

using test::Bytes;

std::uint32_t u32(const Bytes& data, std::size_t at) {
    return test::be32(&data[at]);
}

struct WriterRun {
    test::MemorySink sink;
    ApngWriter writer;
    explicit WriterRun(std::int32_t frames, std::int64_t num = 1, std::int64_t den = 30)
        : writer(sink, {64, 48, frames, num, den}) {}
    test::Chunks chunks() const { return test::read_chunks(sink.bytes); }
};

TEST(ApngWriter, ThreeFrameLayoutAndSequenceNumbers) {
    WriterRun run(3, 1001, 30000);
    // Frame 1 carries two IDATs: they become fdAT 2 and 3, and frame 2's fcTL takes 4.
    Bytes f0 = test::make_png({{"IHDR", 13}, {"sRGB", 1}, {"gAMA", 4}, {"pHYs", 9}, {"IDAT", 30}, {"IDAT", 5}, {"IEND", 0}});
    Bytes f1 = test::make_png({{"IHDR", 13}, {"pHYs", 9}, {"IDAT", 40}, {"tIME", 7}, {"IDAT", 6}, {"IEND", 0}}, 0x10);
    Bytes f2 = test::make_png({{"IHDR", 13}, {"IDAT", 1}, {"IEND", 0}}, 0x30);
    const Bytes f0_copy = f0;
    const Bytes f1_idat0(f1.begin() + 8 + 25 + 21 + 8, f1.begin() + 8 + 25 + 21 + 8 + 40);
    run.writer.add_frame(0, f0.data(), f0.size());
    run.writer.add_frame(1, f1.data(), f1.size());
    run.writer.add_frame(2, f2.data(), f2.size());
    run.writer.finish();

    ASSERT_EQ(Bytes(run.sink.bytes.begin(), run.sink.bytes.begin() + 8), test::kPngSignature);
    const auto walk = run.chunks();
    ASSERT_EQ(walk.error, "");
    EXPECT_EQ(walk.types(), (std::vector<std::string>{"IHDR", "sRGB", "gAMA", "acTL", "fcTL", "IDAT", "IDAT", "fcTL",
                                                       "fdAT", "fdAT", "fcTL", "fdAT", "tEXt", "IEND"}));
    for (const auto& c : walk.list) EXPECT_TRUE(c.crc_ok) << c.type;

    // Frame 0's header chunks and IDATs go out unchanged, CRCs and all.
    EXPECT_TRUE(std::equal(run.sink.bytes.begin() + 8, run.sink.bytes.begin() + 8 + 25 + 13 + 16, f0_copy.begin() + 8));

    const auto& c = walk.list;
    EXPECT_EQ(u32(c[3].data, 0), 3u);  // acTL num_frames
    EXPECT_EQ(u32(c[3].data, 4), 0u);  // loop forever
    std::vector<std::uint32_t> sequence;
    for (const auto& chunk : c)
        if (chunk.type == "fcTL" || chunk.type == "fdAT") sequence.push_back(u32(chunk.data, 0));
    EXPECT_EQ(sequence, (std::vector<std::uint32_t>{0, 1, 2, 3, 4, 5}));

    const Bytes& fctl = c[4].data;
    ASSERT_EQ(fctl.size(), 26u);
    EXPECT_EQ(u32(fctl, 4), 64u);
    EXPECT_EQ(u32(fctl, 8), 48u);
    EXPECT_EQ(u32(fctl, 12), 0u);
    EXPECT_EQ(u32(fctl, 16), 0u);
    EXPECT_EQ((fctl[20] << 8 | fctl[21]), 1001);
    EXPECT_EQ((fctl[22] << 8 | fctl[23]), 30000);
    EXPECT_EQ(fctl[24], 0);
    EXPECT_EQ(fctl[25], 0);

    // fdAT data = sequence number + the IDAT's data, untouched.
    EXPECT_EQ(Bytes(c[8].data.begin() + 4, c[8].data.end()), f1_idat0);
    EXPECT_EQ(c[12].data, (Bytes{'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'f', 'f', 'f', 'f', 'f', 'f', 'f', 'e'}));
    EXPECT_TRUE(c[13].data.empty());
}

TEST(ApngWriter, LaterFramesAreReframedInTheirOwnBuffer) {
    WriterRun run(2);
    Bytes f0 = test::make_png({{"IHDR", 13}, {"IDAT", 3}, {"IEND", 0}});
    Bytes f1 = test::make_png({{"IHDR", 13}, {"IDAT", 3}, {"IEND", 0}});
    run.writer.add_frame(0, f0.data(), f0.size());
    run.writer.add_frame(1, f1.data(), f1.size());
    // The IHDR's CRC in front of the IDAT became the fdAT's length field.
    const std::size_t idat = 8 + 25;
    EXPECT_EQ(u32(f1, idat - 4), 7u);
    EXPECT_EQ(std::string(f1.begin() + idat, f1.begin() + idat + 4), "fdAT");
    EXPECT_EQ(u32(f1, idat + 4), 2u);
    // And exactly those 19 bytes were written after fcTL 1.
    EXPECT_TRUE(std::equal(f1.begin() + idat - 4, f1.begin() + idat + 15, run.sink.bytes.end() - 19));
}

TEST(ApngWriter, OneFrameRunHasNoFdAT) {
    WriterRun run(1);
    Bytes f0 = test::make_png({{"IHDR", 13}, {"IDAT", 10}, {"IEND", 0}});
    run.writer.add_frame(0, f0.data(), f0.size());
    run.writer.finish();
    EXPECT_EQ(run.chunks().types(), (std::vector<std::string>{"IHDR", "acTL", "fcTL", "IDAT", "tEXt", "IEND"}));
}

TEST(ApngWriter, EarlyEndRewritesTheAnnouncedFrameCount) {
    WriterRun run(50);
    Bytes f0 = test::make_png({{"IHDR", 13}, {"IDAT", 10}, {"IEND", 0}});
    Bytes f1 = test::make_png({{"IHDR", 13}, {"IDAT", 10}, {"IEND", 0}});
    run.writer.add_frame(0, f0.data(), f0.size());
    run.writer.add_frame(1, f1.data(), f1.size());
    run.writer.finish();
    const auto walk = run.chunks();
    ASSERT_EQ(walk.list[1].type, "acTL");
    EXPECT_EQ(u32(walk.list[1].data, 0), 2u);
    EXPECT_EQ(u32(walk.list[1].data, 4), 0u);
    EXPECT_TRUE(walk.list[1].crc_ok);
}

TEST(ApngWriter, NoFrameGivesTrailerOnly) {
    WriterRun run(5);
    run.writer.finish();
    const auto walk = test::read_chunks(run.sink.bytes, 0);
    EXPECT_EQ(walk.types(), (std::vector<std::string>{"tEXt", "IEND"}));
    EXPECT_EQ(run.sink.bytes.size(), 28u + 12u);
}

TEST(ApngWriter, FrameZeroWithoutImageData) {
    {
        // Empty table: signature, acTL and fcTL, nothing else.
        WriterRun run(1);
        Bytes junk = test::kPngSignature;
        junk.insert(junk.end(), {1, 2, 3});
        run.writer.add_frame(0, junk.data(), junk.size());
        EXPECT_EQ(run.chunks().types(), (std::vector<std::string>{"acTL", "fcTL"}));
    }
    {
        // No IDAT: every chunk but pHYs is copied, IEND included.
        WriterRun run(1);
        Bytes f0 = test::make_png({{"IHDR", 13}, {"pHYs", 9}, {"tEXt", 4}, {"IEND", 0}});
        run.writer.add_frame(0, f0.data(), f0.size());
        EXPECT_EQ(run.chunks().types(), (std::vector<std::string>{"IHDR", "tEXt", "IEND", "acTL", "fcTL"}));
    }
    {
        // Too short for a signature: the file still starts as a PNG.
        WriterRun run(1);
        Bytes tiny = {0x89, 'P'};
        run.writer.add_frame(0, tiny.data(), tiny.size());
        EXPECT_EQ(Bytes(run.sink.bytes.begin(), run.sink.bytes.begin() + 8), test::kPngSignature);
    }
}

TEST(ApngWriter, FramesWithHundredsOfIdatChunksStayWhole) {
    WriterRun run(2);
    std::vector<std::pair<const char*, std::size_t>> chunks = {{"IHDR", 13}};
    for (int i = 0; i < 300; ++i) chunks.push_back({"IDAT", 8});
    chunks.push_back({"IEND", 0});
    Bytes f0 = test::make_png(chunks);
    Bytes f1 = test::make_png(chunks);
    run.writer.add_frame(0, f0.data(), f0.size());
    run.writer.add_frame(1, f1.data(), f1.size());
    run.writer.finish();
    std::size_t idat = 0, fdat = 0;
    for (const auto& c : run.chunks().list) {
        idat += c.type == "IDAT";
        fdat += c.type == "fdAT";
        EXPECT_TRUE(c.crc_ok);
    }
    EXPECT_EQ(idat, 300u);
    EXPECT_EQ(fdat, 300u);
}

}  // namespace
}  // namespace vorlane
