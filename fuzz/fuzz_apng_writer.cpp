// Arbitrary bytes as the PNG streams of one run's frames, through the chunk
// scanner and the APNG writer, into a sink whose contents are then read back
// independently and must be structurally sound.
//
// Input: one flag byte, then the frames' streams separated by kSeparator.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "apng/apng_writer.h"
#include "apng_reader.h"
#include "fuzz_input.h"
#include "memory_sink.h"

namespace {

namespace test = vorlane::test;
using vorlane::fuzz::FrameStream;

// A chunk's bytes as they lie in `bytes`, CRC and all.
test::Bytes whole(const test::Bytes& bytes, const test::Chunk& c) {
    const auto start = bytes.begin() + std::ptrdiff_t(c.offset);
    return test::Bytes(start, start + std::ptrdiff_t(12 + c.data.size()));
}

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "apng writer fuzz: %s: %s\n", what, detail.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t flags = data[0];
    std::vector<FrameStream> frames = vorlane::fuzz::split_frames(data + 1, size - 1, 16);

    // Bit 0: the host asked for more frames than arrive (a stopped run).
    const std::int32_t frame_count = std::int32_t(frames.size()) + ((flags & 1) ? 3 : 0);
    const std::int32_t width = (flags & 2) ? -1 : 1 + (flags >> 4);
    const std::int32_t height = 1 + (flags >> 2);
    const vorlane::ApngLayout layout{width, height, frame_count, std::int64_t(flags) * 257 + 1, 0x12345};

    test::MemorySink sink;
    vorlane::ApngWriter writer(sink, layout);
    std::uint32_t written = 0;
    for (FrameStream& frame : frames) {
        // As in a run: a stream the writer refuses fails that frame and ends the run.
        if (!writer.accepts(frame.bytes.get(), frame.size)) break;
        writer.add_frame(std::int32_t(written), frame.bytes.get(), frame.size);
        ++written;
    }
    writer.finish();
    if (!sink.error.empty()) fail("sink", sink.error);

    const test::Expected expected{std::uint32_t(width), std::uint32_t(height), std::uint16_t(layout.delay_num),
                                  std::uint16_t(layout.delay_den), written};
    test::Reading reading;
    if (std::string err = test::check_apng(sink.bytes, expected, &reading); !err.empty()) fail("unsound file", err);

    // The image data and frame 0's header chunks arrive unchanged. A frame's
    // chunks are those the writer is meant to see: a length field above 2^30
    // ends them, as does a chunk running past the end.
    for (std::uint32_t f = 0; f < written; ++f) {
        const test::Bytes& s = frames[f].original;
        test::Bytes idat;
        std::size_t header = 0;
        bool seen_idat = false;
        for (const test::Chunk& c : test::read_chunks(s).list) {
            if (c.data.size() > 0x40000000u) break;
            if (c.type == "IDAT") {
                seen_idat = true;
                idat.insert(idat.end(), c.data.begin(), c.data.end());
            } else if (f == 0 && !seen_idat && c.type != "pHYs") {
                if (header >= reading.header.size() || whole(sink.bytes, reading.header[header]) != whole(s, c))
                    fail("header chunk", std::to_string(header));
                ++header;
            }
        }
        if (f == 0 && header != reading.header.size()) fail("header chunks", "extra chunks in the file");
        if (idat != reading.frame_data[f]) fail("image data", "frame " + std::to_string(f));
    }
    return 0;
}
