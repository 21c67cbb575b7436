// Arbitrary bytes as the PNG streams of one run's frames, through the chunk
// scanner and the APNG writer, into a sink whose contents are then read back
// independently and must be structurally sound.
//
// Input: one flag byte, then the frames' streams separated by kSeparator.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <memory>
#include <vector>

#include "apng/apng_writer.h"
#include "apng_check.h"
#include "fuzz_input.h"

namespace {

using vorlane::fuzz::FrameStream;

// The frame's chunks as the writer is meant to see them, read independently:
// a chunk ends the walk when its length field exceeds 2^30 or it runs past
// the end; every complete one before that counts.
struct Walk {
    std::vector<std::pair<std::size_t, std::uint32_t>> chunks;  // offset, length
};

Walk walk(const std::vector<std::uint8_t>& s) {
    Walk w;
    std::size_t pos = 8;
    while (s.size() >= 12 && pos <= s.size() - 12) {
        const std::uint32_t length = std::uint32_t(s[pos]) << 24 | std::uint32_t(s[pos + 1]) << 16 |
                                     std::uint32_t(s[pos + 2]) << 8 | s[pos + 3];
        if (length > 0x40000000u || length > s.size() - pos - 12) break;
        w.chunks.push_back({pos, length});
        pos += std::size_t(length) + 12;
    }
    return w;
}

bool is_type(const std::vector<std::uint8_t>& s, std::size_t offset, const char* type) {
    return std::memcmp(s.data() + offset + 4, type, 4) == 0;
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

    vorlane::check::RecordingSink sink;
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

    vorlane::check::Expected expected;
    expected.width = std::uint32_t(width);
    expected.height = std::uint32_t(height);
    expected.delay_num = std::uint16_t(layout.delay_num);
    expected.delay_den = std::uint16_t(layout.delay_den);
    expected.frames_written = written;
    vorlane::check::Reading reading;
    if (std::string err = vorlane::check::check_apng(sink.bytes, expected, &reading); !err.empty())
        fail("unsound file", err);

    // The image data and frame 0's header chunks arrive unchanged.
    for (std::uint32_t f = 0; f < written; ++f) {
        const std::vector<std::uint8_t>& s = frames[f].original;
        const Walk w = walk(s);
        std::vector<std::uint8_t> idat;
        std::size_t header = 0;
        bool seen_idat = false;
        for (auto [offset, length] : w.chunks) {
            if (is_type(s, offset, "IDAT")) {
                seen_idat = true;
                idat.insert(idat.end(), s.begin() + std::ptrdiff_t(offset) + 8,
                            s.begin() + std::ptrdiff_t(offset + 8 + length));
            } else if (f == 0 && !seen_idat && !is_type(s, offset, "pHYs")) {
                if (header >= reading.header.size() || reading.header[header].length != length ||
                    std::memcmp(reading.header[header].data - 8, s.data() + offset, length + 12) != 0)
                    fail("header chunk", std::to_string(header));
                ++header;
            }
        }
        if (f == 0 && header != reading.header.size()) fail("header chunks", "extra chunks in the file");
        if (idat != reading.frame_data[f]) fail("image data", "frame " + std::to_string(f));
    }
    return 0;
}
